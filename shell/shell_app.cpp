#include "shell/shell_app.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "assets/mesh.h"
#include "assets/texture_table.h"
#include "platform/key_map.h"
#include "platform/message_box.h"
#include "platform/music_stream.h"
#include "platform/window.h"
#include "render/demo_renderer.h"
#include "shell/editor_hooks.h"
#include "shell/frame_pass.h"
#include "shell/playback_clock.h"
#include "shell/transport.h"
#include "timeline/project_file.h"
#include "timeline/timeline.h"

namespace korvalin {
namespace {

constexpr int32_t kDemoWidth = 640;
constexpr int32_t kDemoHeight = 480;
constexpr int32_t kCanvasWidth = 1024;
constexpr int32_t kCanvasHeight = 768;

using SteadyClock = std::chrono::steady_clock;

double millisSince(SteadyClock::time_point from) {
  return std::chrono::duration<double, std::milli>(SteadyClock::now() - from).count();
}

// Timing lines for --trace-frames: time to the first frame of each window and how the
// play position moves from one pass to the next.
class FrameTrace {
 public:
  FrameTrace(bool enabled, bool everyPass) : enabled_(enabled || everyPass), everyPass_(everyPass) {}

  void windowRequested(SteadyClock::time_point at, const char* why) {
    requested_ = at;
    why_ = why;
    firstFrameSeen_ = false;
    passes_ = 0;
    haveLast_ = false;
    minStep_ = 1e9;
    maxStep_ = 0;
    sumStep_ = 0;
    standstills_ = 0;
    backwards_ = 0;
  }

  void frameDrawn(float t) {
    if (!enabled_) return;
    if (!firstFrameSeen_) {
      firstFrameSeen_ = true;
      std::fprintf(stderr, "trace: %s to first frame %.1f ms\n", why_, millisSince(requested_));
    }
    ++passes_;
    // The first pass of a window starts the music; steps are measured from the second on.
    if (haveLast_ && passes_ > 2) {
      const double step = (static_cast<double>(t) - last_) * 1000.0;
      minStep_ = std::min(minStep_, step);
      maxStep_ = std::max(maxStep_, step);
      sumStep_ += step;
      if (step == 0) ++standstills_;
      if (step < 0) ++backwards_;
      if (everyPass_) std::fprintf(stderr, "trace: pass %d at %.3f s, step %.3f ms\n", passes_, t, step);
    }
    last_ = t;
    haveLast_ = true;
  }

  // How long one start-up step took, for telling where the time to the first frame goes.
  void step(const char* what, SteadyClock::time_point since) {
    if (enabled_) std::fprintf(stderr, "trace:   %s %.1f ms\n", what, millisSince(since));
  }

  void windowClosed() {
    if (!enabled_ || passes_ < 4) return;
    const int steps = passes_ - 2;
    std::fprintf(stderr,
                 "trace: %d passes, clock step min %.3f mean %.3f max %.3f ms, "
                 "%d standing still, %d backwards\n",
                 passes_, minStep_, sumStep_ / steps, maxStep_, standstills_, backwards_);
  }

 private:
  bool enabled_;
  bool everyPass_;
  SteadyClock::time_point requested_;
  const char* why_ = "start";
  bool firstFrameSeen_ = false;
  int passes_ = 0;
  bool haveLast_ = false;
  double last_ = 0;
  double minStep_ = 1e9;
  double maxStep_ = 0;
  double sumStep_ = 0;
  int standstills_ = 0;
  int backwards_ = 0;
};

// Viewport and the default projection every demo frame starts from.
void resizeGLScene(int32_t width, int32_t height) {
  if (height <= 0) height = 1;  // a zero-height window would divide by zero
  glViewport(0, 0, width, height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(90.0, static_cast<double>(width) / height, 0.1, 2000.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

// The process-wide objects, made in start-up order and handed to whoever needs them.
struct Program {
  explicit Program(const ShellOptions& opts)
      : options(opts),
        clock(tickCount),
        transport(clock, music),
        services{timeline, clock, transport, textures, kProjectFileName, opts.editorMode, opts.autosaveSeconds},
        hooks(makeEditorHooks(services)),
        renderer(timeline, textures, meshes),
        trace(opts.traceFrames, opts.tracePasses) {
    state.fullscreenWanted = opts.fullscreen;
    state.editorMode = opts.editorMode;
    if (opts.editorMode) {
      demoX = 0;
      demoY = kCanvasHeight - kDemoHeight;
    }
    renderer.setDemoOrigin(demoX, demoY);
  }

  void initDemo(const PlatformWindow& window);
  void requestQuit(PlatformWindow& window);
  void runWindow(PlatformWindow& window);
  void drawDemo(float t);

  ShellOptions options;
  Timeline timeline;
  PlaybackClock clock;
  MusicStream music;
  Transport transport;
  TextureTable textures;
  MeshTable meshes;
  ShellServices services;
  std::unique_ptr<EditorHooks> hooks;
  DemoRenderer renderer;
  ShellState state;
  FrameTrace trace;
  bool titleShowsUnsaved = false;
  int32_t demoX = 0;
  int32_t demoY = 0;
  SteadyClock::time_point toggledAt;
};

void Program::initDemo(const PlatformWindow& window) {
  transport.stopClock();
  SteadyClock::time_point at = SteadyClock::now();
  loadMeshes(meshes);
  trace.step("models", at);
  at = SteadyClock::now();
  music.init();
  music.open(kMusicPath);
  music.playPaused();
  trace.step("music", at);
  hooks->editorStartup();
  glViewport(0, 0, window.width(), window.height());
  at = SteadyClock::now();
  loadTextures(textures);
  trace.step("textures", at);
  resizeGLScene(window.width(), window.height());
  glEnable(GL_DEPTH_TEST);
  glDisable(GL_TEXTURE_2D);
  glShadeModel(GL_SMOOTH);
  glClearColor(199.0f / 255.0f, 193.0f / 255.0f, 184.0f / 255.0f, 0.5f);
}

void Program::requestQuit(PlatformWindow& window) {
  const bool go = confirmQuit(*hooks, options.editorMode, [] {
    return askSaveDiscardCancel(kWindowTitle, "The project has unsaved changes. Save them to " +
                                                  std::string(kProjectFileName) + " before quitting?");
  });
  if (!go) {
    // The question took the key's release; without this it would be asked again every pass.
    state.keyState[kVkEscape] = 0;
    return;
  }
  hooks->editorQuitting();
  window.postQuit();
  state.running = false;
}

void Program::drawDemo(float t) {
  glEnable(GL_SCISSOR_TEST);
  glScissor(demoX, demoY, kDemoWidth, kDemoHeight);
  glClearColor(0.0f, 0.0f, 0.0f, 0.5f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  renderer.renderDemoFrame(t);
  glDisable(GL_SCISSOR_TEST);
  glFlush();
  trace.frameDrawn(t);
}

void Program::runWindow(PlatformWindow& window) {
  for (;;) {
    WindowEvent event;
    if (window.pollEvent(event)) {
      state.lastWasMouseMove = event.kind == EventKind::kMouseMove;
      switch (applyWindowEvent(event, state)) {
        case EventAction::kLeaveLoop:
          return;
        case EventAction::kQuitRequested:
          requestQuit(window);
          break;
        case EventAction::kToggleRequested:
          toggledAt = SteadyClock::now();
          window.postQuit();
          break;
        case EventAction::kResize:
          resizeGLScene(event.width, event.height);
          break;
        case EventAction::kNone:
          break;
      }
      continue;
    }
    if (state.lastWasMouseMove) {
      window.mousePosition(state.input.mouseX, state.input.mouseY);
      const int32_t wrapY = cursorWrapTarget(state.input.mouseY, window.height());
      if (wrapY >= 0) window.warpMouse(state.input.mouseX, wrapY);
    }
    if (!state.active) {
      window.waitEvent();
      continue;
    }
    const PassRequests requests = updateFrame(state, *hooks, transport, timeline);
    if (requests.quit) requestQuit(window);
    if (requests.toggleFullscreen) window.postFullscreenToggle();
    const FrameEnd end =
        drawFrame(*hooks, transport, options.editorMode, [this](float t) { drawDemo(t); });
    if (end == FrameEnd::kMusicEnded) {
      trace.windowClosed();
      // The exit handler puts the desktop's display mode back.
      std::exit(0);
    }
    if (hooks->showsUnsaved() != titleShowsUnsaved) {
      titleShowsUnsaved = !titleShowsUnsaved;
      window.setTitle(titleShowsUnsaved ? std::string(kWindowTitle) + " *" : kWindowTitle);
    }
    window.swapBuffers();
  }
}

}  // namespace

int runShell(const ShellOptions& options) {
  installDisplayRestore();
  auto program = std::make_unique<Program>(options);
  program->trace.windowRequested(options.started, "start");
  const int32_t width = options.editorMode ? kCanvasWidth : kDemoWidth;
  const int32_t height = options.editorMode ? kCanvasHeight : kDemoHeight;
  while (program->state.running) {
    WindowSettings settings;
    settings.title = kWindowTitle;
    settings.width = width;
    settings.height = height;
    settings.fullscreen = program->state.fullscreenWanted;
    std::string error;
    const SteadyClock::time_point creating = SteadyClock::now();
    std::unique_ptr<PlatformWindow> window = PlatformWindow::create(settings, &error);
    program->trace.step("window", creating);
    if (!window) {
      std::fprintf(stderr, "korvalin: %s\n", error.c_str());
      showErrorMessage("Error Creating OpenGL Window");
      // Without a window nothing was shown: that is a failure, not a normal end.
      return 1;
    }
    startWindowInput(program->state, keyHeldNow);
    program->titleShowsUnsaved = false;  // a new window starts with the plain title
    program->state.active = true;
    program->state.lastWasMouseMove = false;
    resizeGLScene(window->width(), window->height());
    program->initDemo(*window);
    program->runWindow(*window);
    program->trace.windowClosed();
    program->trace.windowRequested(program->toggledAt, "F1");
  }
  return 0;
}

}  // namespace korvalin
