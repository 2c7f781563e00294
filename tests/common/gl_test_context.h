// A hidden OpenGL window for drawing tests (Mesa llvmpipe through SDL's offscreen driver).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvalin::test {

class GlTestContext {
 public:
  // Depth 16, double buffer, alpha as the program asks for; viewport set to the whole size.
  explicit GlTestContext(int width = 640, int height = 480);
  ~GlTestContext();
  GlTestContext(const GlTestContext&) = delete;
  GlTestContext& operator=(const GlTestContext&) = delete;

  bool ok() const { return window_ != nullptr && context_ != nullptr; }
  const std::string& error() const { return error_; }

  // RGBA bytes of a rectangle in GL window coordinates (origin lower left), rows bottom first.
  std::vector<uint8_t> readPixels(int x, int y, int w, int h) const;
  void swap();

 private:
  void* window_ = nullptr;
  void* context_ = nullptr;
  std::string error_;
};

}  // namespace korvalin::test
