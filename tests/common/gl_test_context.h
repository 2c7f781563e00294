// A hidden OpenGL window for drawing tests (Mesa llvmpipe through SDL's offscreen driver).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/image_files.h"

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
  int width() const { return width_; }
  int height() const { return height_; }

  // RGBA bytes of a rectangle in GL window coordinates (origin lower left), rows bottom first.
  std::vector<uint8_t> readPixels(int x, int y, int w, int h) const;
  // One pixel, RGBA.
  std::vector<uint8_t> pixel(int x, int y) const { return readPixels(x, y, 1, 1); }
  void swap();

 private:
  void* window_ = nullptr;
  void* context_ = nullptr;
  int width_;
  int height_;
  std::string error_;
};

// Makes three 512 x 256 font sheet textures with ink in half of every cell and stores their
// names in names[0..2] (the font sheet slots of a texture table).
void makePatternFontSheets(uint32_t names[3]);

using content::writePng;

// Folder for images that tests keep for a person to look at (created on demand).
std::string artifactDir();

}  // namespace korvalin::test
