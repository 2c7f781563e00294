// FreeType face for drawing glyphs and captions into an Image.
#pragma once

#include <string>

#include "tools/raster.h"

namespace korvalin::content {

constexpr const char* kFontSans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr const char* kFontSansBold = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";
constexpr const char* kFontMono = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";
constexpr const char* kFontMonoBold = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf";

// Ink box of a rendered glyph or string relative to the pen origin on the baseline; y up.
struct InkBox {
  int left = 0;
  int right = 0;   // exclusive
  int top = 0;     // pixels above the baseline
  int bottom = 0;  // pixels above the baseline of the lowest ink row (negative below)
  int advance = 0;
  bool empty() const { return right <= left; }
};

class FontFace {
 public:
  FontFace();
  ~FontFace();
  FontFace(const FontFace&) = delete;
  FontFace& operator=(const FontFace&) = delete;

  bool open(const std::string& path, std::string* error);
  // Size in 1/64 pixels of the em, so sizes between whole pixels can be fitted.
  void setSize64(int size64);
  // Horizontal squeeze (1 = none) for glyphs that would not fit their cell otherwise.
  void setSqueeze(double factor);

  InkBox measureChar(unsigned char c);
  InkBox measureText(const std::string& text);
  // Draws with anti-aliased coverage; pen at (x, baselineY) in the image's top-down pixels.
  // Returns the advance, 0 for a character the font cannot render.
  int drawChar(Image& image, unsigned char c, int x, int baselineY, const Rgb& colour);
  void drawText(Image& image, const std::string& text, int x, int baselineY, const Rgb& colour);

 private:
  bool render(unsigned char c);
  void* library_ = nullptr;
  void* face_ = nullptr;
};

}  // namespace korvalin::content
