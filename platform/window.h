// The one OpenGL window and its events, over SDL2. Nothing here knows the demo.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace korvalin {

// The pixel format of every GL surface the demo draws on (RGBA, alpha >= 1, depth 16, double
// buffer), asked of SDL before the next window is made.
void requestWindowPixelFormat();

struct WindowSettings {
  std::string title;
  int32_t width = 640;
  int32_t height = 480;
  bool fullscreen = true;
};

enum class EventKind {
  kQuitPosted,        // postQuit: the inner loop ends here
  kToggleRequested,   // postFullscreenToggle
  kCloseRequested,    // the window's close button
  kTerminated,        // SIGTERM or SIGINT: the program must end now, asking no one
  kKeyDown,           // virtualKey set (0: a key without a virtual-key code)
  kKeyUp,
  kButtonDown,        // button: 0 left, 1 middle, 2 right
  kButtonUp,
  kWheel,             // wheelStep: +1 away from the user, -1 towards
  kMouseMove,
  kMinimized,
  kRestored,          // shown again or resized; width and height are the client size
  kOther,
};

struct WindowEvent {
  EventKind kind = EventKind::kOther;
  int32_t virtualKey = 0;
  bool repeat = false;  // a key-down sent again while the key is held
  bool ctrl = false;    // key events: Ctrl was held
  bool shift = false;   // key events: Shift was held
  int32_t button = -1;
  int32_t wheelStep = 0;
  int32_t width = 0;
  int32_t height = 0;
};

class PlatformWindow {
 public:
  // Window, pixel format (RGBA, alpha >= 1, depth 16, double buffer) and a current
  // compatibility GL context. Fullscreen needs an exact display mode of the requested size;
  // without one the "Mode Switch Failed" message is shown and the window is windowed.
  // Returns nullptr with `error` set when no window or context can be made.
  static std::unique_ptr<PlatformWindow> create(const WindowSettings& settings, std::string* error);
  ~PlatformWindow();
  PlatformWindow(const PlatformWindow&) = delete;
  PlatformWindow& operator=(const PlatformWindow&) = delete;

  bool fullscreen() const { return fullscreen_; }
  int32_t width() const { return width_; }
  int32_t height() const { return height_; }

  // Takes the next event without waiting; false when none is queued.
  bool pollEvent(WindowEvent& event);
  // Blocks until an event is queued, leaving it there.
  void waitEvent();
  void postQuit();
  void postFullscreenToggle();

  // Cursor in client coordinates (origin top left).
  void mousePosition(int32_t& x, int32_t& y) const;
  void warpMouse(int32_t x, int32_t y);
  void swapBuffers();
  void setTitle(const std::string& title);

 private:
  PlatformWindow() = default;
  void* window_ = nullptr;
  void* context_ = nullptr;
  bool fullscreen_ = false;
  int32_t width_ = 0;
  int32_t height_ = 0;
};

// Whether the function key (F1 to F24) of a virtual-key code is held down right now, asked of
// the window system itself rather than of the events seen so far. False for other keys and where
// it cannot be told (not on X11): the function keys are the ones whose presses re-create windows.
bool keyHeldNow(int32_t virtualKey);

// Milliseconds since start-up, wrapping at 2^32 like GetTickCount and timeGetTime.
uint32_t tickCount();

// Installs, once, the exit handler that puts the desktop's display mode back and shuts SDL
// down, so that every way out (std::exit included) leaves the display as it was.
void installDisplayRestore();

}  // namespace korvalin
