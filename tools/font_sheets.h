// The three bitmap font sheets: black glyphs on white in the editor's fixed cell grid.
#pragma once

#include <array>
#include <string>

#include "tools/raster.h"

namespace korvalin::content {

struct FontSheetLayout {
  int textSize;     // 12, 14 or 18
  const char* fileName;
  const char* fontPath;
  double cellWidth;   // texture units, as the text renderer samples them
  double cellHeight;
  int width;          // pixels; chosen so that cells land on (nearly) whole pixels
  int height;
};

extern const std::array<FontSheetLayout, 3> kFontSheets;

constexpr int kSheetColumns = 32;
constexpr int kSheetRows = 3;
constexpr int kFirstChar = 32;
constexpr int kLastChar = 127;

// Pixel rectangle of a cell, top-down, half-open; only whole pixels that lie inside the cell.
struct PixelRect {
  int x0, y0, x1, y1;
};
PixelRect cellPixels(const FontSheetLayout& layout, int cellIndex);

// Draws all cells; ink keeps one pixel clear of every cell edge so linear filtering never
// pulls a neighbour's ink in. Returns false with `error` when the font cannot be read.
bool makeFontSheet(const FontSheetLayout& layout, Image* sheet, std::string* error);

}  // namespace korvalin::content
