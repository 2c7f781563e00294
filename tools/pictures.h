// The eighteen pictures of the asset table, drawn procedurally.
#pragma once

#include <array>
#include <string>

#include "tools/raster.h"

namespace korvalin::content {

struct PictureInfo {
  int slot;              // texture slot the program loads it into
  const char* fileName;  // under data/
  int width;
  int height;
};

// Slots 3 to 20 in order.
extern const std::array<PictureInfo, 18> kPictures;

// Draws picture `index` of kPictures, rows in file order (upside down, see makePicture);
// false with `error` when a font cannot be read.
bool makePicture(int index, Image* out, std::string* error);

}  // namespace korvalin::content
