#include "platform/window.h"

#include <SDL.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <cstdlib>
#include <cstring>

#include "platform/key_map.h"
#include "platform/message_box.h"

namespace korvalin {

void requestWindowPixelFormat() {
  SDL_GL_ResetAttributes();
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 1);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
}

namespace {

Uint32 gQuitEventType = 0;
Uint32 gToggleEventType = 0;

void registerPrivateEvents() {
  if (gQuitEventType != 0) return;
  const Uint32 first = SDL_RegisterEvents(2);
  if (first == static_cast<Uint32>(-1)) return;
  gQuitEventType = first;
  gToggleEventType = first + 1;
}

// SDL_Quit destroys every window left, and destroying a fullscreen window puts the desktop's
// display mode back: nothing needs to remember which window is fullscreen.
void restoreDisplayAtExit() { SDL_Quit(); }

// An exact width x height mode of the first display; fullscreen never scales.
bool findExactMode(int width, int height, SDL_DisplayMode* found) {
  const int count = SDL_GetNumDisplayModes(0);
  bool any = false;
  for (int i = 0; i < count; ++i) {
    SDL_DisplayMode mode;
    if (SDL_GetDisplayMode(0, i, &mode) != 0 || mode.w != width || mode.h != height) continue;
    // Prefer a true-colour mode, as the program asks for 32 bits per pixel.
    if (!any || SDL_BITSPERPIXEL(mode.format) >= 24) {
      *found = mode;
      any = true;
      if (SDL_BITSPERPIXEL(mode.format) >= 24) break;
    }
  }
  return any;
}

void pushEvent(Uint32 type) {
  if (type == 0) return;
  SDL_Event event;
  SDL_zero(event);
  event.type = type;
  SDL_PushEvent(&event);
}

int32_t buttonIndex(Uint8 sdlButton) {
  switch (sdlButton) {
    case SDL_BUTTON_LEFT: return 0;
    case SDL_BUTTON_MIDDLE: return 1;
    case SDL_BUTTON_RIGHT: return 2;
    default: return -1;
  }
}

}  // namespace

void installDisplayRestore() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  std::atexit(restoreDisplayAtExit);
}

uint32_t tickCount() { return SDL_GetTicks(); }

bool keyHeldNow(int32_t virtualKey) {
  const char* driver = SDL_GetCurrentVideoDriver();
  if (driver == nullptr || std::strcmp(driver, "x11") != 0) return false;
  if (virtualKey < kVkF1 || virtualKey >= kVkF1 + 24) return false;
  // A short connection of our own; it is made only when a window appears with a key down.
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return false;
  char keys[32];
  XQueryKeymap(display, keys);
  const KeyCode code = XKeysymToKeycode(display, XK_F1 + (virtualKey - kVkF1));
  XCloseDisplay(display);
  return code != 0 && (keys[code / 8] & (1 << (code % 8))) != 0;
}

std::unique_ptr<PlatformWindow> PlatformWindow::create(const WindowSettings& settings,
                                                       std::string* error) {
  SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
  // Started once and left running until exit, so that F1 does not pay for it again.
  static bool videoStarted = false;
  if (!videoStarted) {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
      *error = std::string("cannot start the video system: ") + SDL_GetError();
      return nullptr;
    }
    videoStarted = true;
  }
  registerPrivateEvents();

  bool fullscreen = settings.fullscreen;
  SDL_DisplayMode mode;
  SDL_zero(mode);
  if (fullscreen && !findExactMode(settings.width, settings.height, &mode)) {
    showErrorMessage("Mode Switch Failed.\nRunning In Windowed Mode.");
    fullscreen = false;
  }

  requestWindowPixelFormat();

  SDL_Window* window = SDL_CreateWindow(settings.title.c_str(), 0, 0, settings.width,
                                        settings.height, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  if (window == nullptr) {
    *error = std::string("cannot create the window: ") + SDL_GetError();
    return nullptr;
  }
  if (fullscreen) {
    if (SDL_SetWindowDisplayMode(window, &mode) != 0 ||
        SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN) != 0) {
      showErrorMessage("Mode Switch Failed.\nRunning In Windowed Mode.");
      SDL_SetWindowFullscreen(window, 0);
      fullscreen = false;
    }
  }

  SDL_GLContext context = SDL_GL_CreateContext(window);
  if (context == nullptr) {
    *error = std::string("cannot create the OpenGL context: ") + SDL_GetError();
    SDL_DestroyWindow(window);
    return nullptr;
  }

  SDL_ShowWindow(window);
  SDL_RaiseWindow(window);
  SDL_ShowCursor(SDL_ENABLE);

  setMessageBoxOwner(window);
  std::unique_ptr<PlatformWindow> result(new PlatformWindow());
  result->window_ = window;
  result->context_ = context;
  result->fullscreen_ = fullscreen;
  SDL_GL_GetDrawableSize(window, &result->width_, &result->height_);
  return result;
}

PlatformWindow::~PlatformWindow() {
  SDL_Window* window = static_cast<SDL_Window*>(window_);
  SDL_GL_MakeCurrent(window, nullptr);
  SDL_GL_DeleteContext(static_cast<SDL_GLContext>(context_));
  setMessageBoxOwner(nullptr);
  SDL_DestroyWindow(window);
  // A key held while the window goes never sees its release; without a reset SDL would take
  // the next real press of it for a repeat.
  SDL_ResetKeyboard();
  // Whatever this window still had queued (key releases, a second quit) belongs to it alone.
  SDL_PumpEvents();
  SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
}

bool PlatformWindow::pollEvent(WindowEvent& out) {
  SDL_Event event;
  if (SDL_PollEvent(&event) == 0) return false;
  out = WindowEvent();
  if (event.type == gQuitEventType && gQuitEventType != 0) {
    out.kind = EventKind::kQuitPosted;
    return true;
  }
  if (event.type == gToggleEventType && gToggleEventType != 0) {
    out.kind = EventKind::kToggleRequested;
    return true;
  }
  switch (event.type) {
    case SDL_QUIT:  // with quit-on-last-window-close off, only SDL's SIGTERM and SIGINT handlers
      out.kind = EventKind::kTerminated;
      break;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      out.kind = event.type == SDL_KEYDOWN ? EventKind::kKeyDown : EventKind::kKeyUp;
      out.virtualKey = virtualKeyFromSdl(event.key.keysym.sym);
      out.repeat = event.key.repeat != 0;
      out.ctrl = (event.key.keysym.mod & KMOD_CTRL) != 0;
      out.shift = (event.key.keysym.mod & KMOD_SHIFT) != 0;
      break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
      out.button = buttonIndex(event.button.button);
      if (out.button >= 0) {
        out.kind = event.type == SDL_MOUSEBUTTONDOWN ? EventKind::kButtonDown : EventKind::kButtonUp;
      }
      break;
    case SDL_MOUSEWHEEL: {
      int32_t y = event.wheel.y;
      if (event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) y = -y;
      out.wheelStep = (y > 0) - (y < 0);
      if (out.wheelStep != 0) out.kind = EventKind::kWheel;
      break;
    }
    case SDL_MOUSEMOTION:
      out.kind = EventKind::kMouseMove;
      break;
    case SDL_WINDOWEVENT:
      switch (event.window.event) {
        case SDL_WINDOWEVENT_CLOSE:
          out.kind = EventKind::kCloseRequested;
          break;
        case SDL_WINDOWEVENT_MINIMIZED:
          out.kind = EventKind::kMinimized;
          break;
        case SDL_WINDOWEVENT_RESTORED:
        case SDL_WINDOWEVENT_MAXIMIZED:
        case SDL_WINDOWEVENT_SIZE_CHANGED:
          out.kind = EventKind::kRestored;
          SDL_GL_GetDrawableSize(static_cast<SDL_Window*>(window_), &out.width, &out.height);
          width_ = out.width;
          height_ = out.height;
          break;
        default:
          break;
      }
      break;
    default:
      break;
  }
  return true;
}

void PlatformWindow::waitEvent() { SDL_WaitEvent(nullptr); }

void PlatformWindow::postQuit() { pushEvent(gQuitEventType); }

void PlatformWindow::postFullscreenToggle() { pushEvent(gToggleEventType); }

void PlatformWindow::mousePosition(int32_t& x, int32_t& y) const {
  int mx = 0;
  int my = 0;
  SDL_GetMouseState(&mx, &my);
  x = mx;
  y = my;
}

void PlatformWindow::warpMouse(int32_t x, int32_t y) {
  SDL_WarpMouseInWindow(static_cast<SDL_Window*>(window_), x, y);
}

void PlatformWindow::swapBuffers() { SDL_GL_SwapWindow(static_cast<SDL_Window*>(window_)); }

void PlatformWindow::setTitle(const std::string& title) {
  SDL_SetWindowTitle(static_cast<SDL_Window*>(window_), title.c_str());
}

}  // namespace korvalin
