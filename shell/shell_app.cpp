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
#include "shell/asset_watch.h"
#include "shell/editor_hooks.h"
#include "shell/frame_pass.h"
#include "shell/frame_trace.h"
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
    if (opts.editorMode) assetWatch = std::make_unique<AssetWatch>();
  }

  void initDemo(const PlatformWindow& window);
  void requestQuit(PlatformWindow& window);
  void terminate(PlatformWindow& window);
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
  bool titleShowsUnsaved = false;  // set again with each new window's plain title
  int32_t demoX = 0;
  int32_t demoY = 0;
  std::unique_ptr<AssetWatch> assetWatch;  // --editor mode: pictures and models reloaded live
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
  at = SteadyClock::now();
  loadTextures(textures);
  trace.step("textures", at);
  setUpDemoGl(window.width(), window.height());
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

// A signal is no answer to "save?": the box would keep the program from ending, and a save
// would replace the project no one chose to replace. Unsaved work goes beside it instead.
void Program::terminate(PlatformWindow& window) {
  if (options.editorMode && hooks->hasUnsavedChanges()) {
    const std::string aside = std::string(kProjectFileName) + ".unsaved";
    std::string error;
    if (saveProject(timeline, aside, &error)) {
      std::fprintf(stderr, "korvalin: ended by a signal; the unsaved changes are kept in %s\n", aside.c_str());
    } else {
      std::fprintf(stderr, "korvalin: ended by a signal; the unsaved changes are lost: %s\n", error.c_str());
    }
  }
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
        case EventAction::kTerminate:
          terminate(window);
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
    forgetReleasedKeys(state, keyHeldNow);
    if (assetWatch) assetWatch->poll(textures, meshes);
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

void resizeGLScene(int32_t width, int32_t height) {
  if (height <= 0) height = 1;  // a zero-height window would divide by zero
  glViewport(0, 0, width, height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(90.0, static_cast<double>(width) / height, 0.1, 2000.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

void setUpDemoGl(int32_t width, int32_t height) {
  resizeGLScene(width, height);
  glEnable(GL_DEPTH_TEST);
  glDisable(GL_TEXTURE_2D);
  glShadeModel(GL_SMOOTH);
}

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
    // The mode the window got, so that a run can tell how many windows it made, and which.
    program->trace.step(!window ? "window" : window->fullscreen() ? "window fullscreen" : "window windowed", creating);
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
