// Writers for the picture formats the program reads (baseline JPEG, 24-bit BMP) and for PNG
// snapshots of rendered frames.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvalin::content {

// Three-component JPEG of `rgb` (rows top first). On failure returns false with one line in `error`.
bool writeJpeg(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb,
               int quality, std::string* error);

// BMP with a 40-byte header, 24 bits, bottom-up as readers expect; `rgb` rows top first.
std::vector<uint8_t> encodeBmp24(int width, int height, const std::vector<uint8_t>& rgb);

// Writes `bytes` to `path` whole, or returns false with one line in `error`.
bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error);

// PNG of RGBA pixels given rows bottom first, as glReadPixels returns them. Stored uncompressed:
// the pictures are small and meant to be looked at.
bool writePng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgbaBottomUp);

}  // namespace korvalin::content
