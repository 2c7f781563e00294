#include "tools/font_sheets.h"

#include <cmath>

#include "tools/font_face.h"

namespace korvalin::content {

// Widths 991 / 1024 / 991 make the cells 14.00 / 17.02 / 20.99 pixels wide; the height of
// 128 keeps each cell's shape equal to the glyph quad the editor draws (about 1.9x its size).
const std::array<FontSheetLayout, 3> kFontSheets = {{
    {12, "text12.bmp", kFontMono, 0.014122916385531425, 0.23, 991, 128},
    {14, "text14.bmp", kFontMono, 0.016625, 0.269, 1024, 128},
    {18, "text18.bmp", kFontMonoBold, 0.021184375509619713, 0.3333, 991, 128},
}};

PixelRect cellPixels(const FontSheetLayout& layout, int cellIndex) {
  const int col = cellIndex % kSheetColumns;
  const int row = cellIndex / kSheetColumns;
  const double w = layout.cellWidth * layout.width;
  const double h = layout.cellHeight * layout.height;
  // The small tolerance keeps an edge that is whole up to rounding error on that pixel.
  PixelRect r;
  r.x0 = int(std::ceil(col * w - 1e-6));
  r.x1 = int(std::floor((col + 1) * w + 1e-6));
  r.y0 = int(std::ceil(row * h - 1e-6));
  r.y1 = int(std::floor((row + 1) * h + 1e-6));
  return r;
}

namespace {

struct Fit {
  int size64 = 0;
  double squeeze = 1.0;
  int descent = 0;
};

// Largest size whose glyphs, squeezed by at most 15 %, fit the smallest cell's ink area.
Fit fitFont(FontFace& font, int inkWidth, int inkHeight) {
  Fit best;
  for (int size64 = 64 * 64; size64 >= 6 * 64; size64 -= 16) {
    font.setSqueeze(1.0);
    font.setSize64(size64);
    int widest = 0, top = 0, descent = 0;
    for (int c = kFirstChar; c < kLastChar; ++c) {
      InkBox b = font.measureChar(static_cast<unsigned char>(c));
      if (b.empty()) continue;
      widest = std::max(widest, b.right - b.left);
      top = std::max(top, b.top);
      descent = std::max(descent, -b.bottom);
    }
    if (top + descent > inkHeight) continue;
    double squeeze = widest > inkWidth ? double(inkWidth) / widest : 1.0;
    if (squeeze < 0.85) continue;
    best.size64 = size64;
    best.squeeze = squeeze;
    best.descent = descent;
    return best;
  }
  return best;
}

}  // namespace

bool makeFontSheet(const FontSheetLayout& layout, Image* sheet, std::string* error) {
  FontFace font;
  if (!font.open(layout.fontPath, error)) return false;
  *sheet = Image(layout.width, layout.height);
  for (int y = 0; y < layout.height; ++y)
    for (int x = 0; x < layout.width; ++x) sheet->at(x, y) = {1, 1, 1};

  int inkWidth = 1 << 20, inkHeight = 1 << 20;
  for (int i = 0; i < kLastChar - kFirstChar + 1; ++i) {
    PixelRect r = cellPixels(layout, i);
    inkWidth = std::min(inkWidth, r.x1 - r.x0 - 2);
    inkHeight = std::min(inkHeight, r.y1 - r.y0 - 2);
  }
  Fit fit = fitFont(font, inkWidth, inkHeight);
  if (fit.size64 == 0) {
    *error = std::string(layout.fileName) + ": no font size fits the cells";
    return false;
  }
  font.setSize64(fit.size64);
  font.setSqueeze(fit.squeeze);

  const Rgb black{0, 0, 0};
  for (int c = kFirstChar; c < kLastChar; ++c) {
    PixelRect r = cellPixels(layout, c - kFirstChar);
    const int left = r.x0 + 1, right = r.x1 - 1;
    // Baseline as low as the deepest descender allows: the editor stands glyphs on the
    // cell's bottom edge, so this keeps text where its layout expects it.
    const int baseline = r.y1 - 1 - fit.descent;
    InkBox b = font.measureChar(static_cast<unsigned char>(c));
    if (b.empty()) continue;
    int pen = left + ((right - left) - (b.right - b.left)) / 2 - b.left;
    font.drawChar(*sheet, static_cast<unsigned char>(c), pen, baseline, black);
  }
  return true;
}

}  // namespace korvalin::content
