// Windows bitmap (BMP or packed DIB) reader: any supported encoding to 24-bit RGB.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace korvalin {

// Bottom row first (a top-down file is turned over, so height is always the positive row count),
// rows tightly packed, red, green, blue per pixel.
struct DibImage {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> pixels;
};

// Reads the file through a read-only mapping. On failure reports one message through the
// platform's message box and returns none. Converts 1-, 4-, 8-, 24-bit, 16- and 32-bit (plain or
// with colour masks) and RLE8/RLE4 data; colour indices beyond the table read as black.
std::unique_ptr<DibImage> loadDibImage(const char* path);

// Font sheets are 1024 x 256; a picture beyond 4096 x 5461 is a broken header, and an RLE file
// can claim one in a few bytes.
constexpr uint64_t kDibMaxPixelBytes = 64u << 20;

// The same conversion over a whole file already in memory (`size` bytes at `data`); reports
// like loadDibImage except for the open failure, which only the file path can have. A picture
// whose RGB pixels would take more than `maxPixelBytes` is refused as a conversion error.
std::unique_ptr<DibImage> decodeDib(const uint8_t* data, size_t size,
                                    uint64_t maxPixelBytes = kDibMaxPixelBytes);

}  // namespace korvalin
