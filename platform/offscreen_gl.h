// An OpenGL context that shows nothing: SDL's offscreen video driver (EGL; Mesa's llvmpipe where
// there is no GPU). For drawing without a display, such as the video export.
#pragma once

#include <memory>
#include <string>

namespace korvalin {

class OffscreenGl {
 public:
  // A current compatibility context with the window's pixel format (RGBA, alpha >= 1, depth 16,
  // double buffer) on a hidden width x height surface. nullptr with `error` set when none can
  // be made. Opens no audio device.
  static std::unique_ptr<OffscreenGl> create(int width, int height, std::string* error);
  ~OffscreenGl();
  OffscreenGl(const OffscreenGl&) = delete;
  OffscreenGl& operator=(const OffscreenGl&) = delete;

  // Ends a frame as the window's buffer swap does.
  void swapBuffers();

 private:
  OffscreenGl() = default;
  void* window_ = nullptr;
  void* context_ = nullptr;
};

}  // namespace korvalin
