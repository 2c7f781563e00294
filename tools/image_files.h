// Writers for the picture formats the program reads: baseline JPEG and 24-bit BMP.
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

}  // namespace korvalin::content
