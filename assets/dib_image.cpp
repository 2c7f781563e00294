// BMP reader: maps the file read-only and converts every supported encoding to 24-bit RGB.
#include "assets/dib_image.h"

#include <cstring>
#include <new>
#include <string>

#include "assets/file_mapping.h"
#include "platform/message_box.h"

namespace korvalin {
namespace {

constexpr char kUnknownFormat[] = "Unknown DIB file format.";
constexpr char kConversionError[] = "Image file conversion error.";
constexpr char kOutOfMemory[] = "Out of memory.";

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiRle8 = 1;
constexpr uint32_t kBiRle4 = 2;
constexpr uint32_t kBiBitfields = 3;

uint16_t readU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t readU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

struct Rgb {
  uint8_t r, g, b;
};

// One colour channel of a packed 16- or 32-bit pixel, scaled to the full 0-255 range.
struct Channel {
  uint32_t mask = 0;
  int shift = 0;
  uint32_t max = 0;

  explicit Channel(uint32_t m) : mask(m) {
    if (mask == 0) return;
    while (((mask >> shift) & 1u) == 0) ++shift;
    max = mask >> shift;
  }
  uint8_t extract(uint32_t pixel) const {
    if (max == 0) return 0;
    uint64_t v = (pixel & mask) >> shift;
    return static_cast<uint8_t>((v * 255 + max / 2) / max);
  }
};

// The header fields the conversion needs, whichever header kind they came from.
struct Description {
  int64_t width = 0;
  int64_t height = 0;  // may be negative: top-down
  uint32_t bitCount = 0;
  uint32_t compression = kBiRgb;
  uint32_t masks[3] = {};
  size_t pixelOffset = 0;
  std::vector<Rgb> palette;
};

class Converter {
 public:
  Converter(const Description& d, const uint8_t* data, size_t size, DibImage& out)
      : d_(d), data_(data), size_(size), out_(out), width_(d.width),
        rows_(d.height < 0 ? -d.height : d.height), topDown_(d.height < 0) {}

  bool run() {
    switch (d_.compression) {
      case kBiRgb:
      case kBiBitfields:
        return uncompressed();
      case kBiRle8:
        return d_.bitCount == 8 && rle(false);
      case kBiRle4:
        return d_.bitCount == 4 && rle(true);
      default:
        return false;
    }
  }

 private:
  // Stored row r is the bottom row of a bottom-up file and the top row of a top-down one; the
  // result is always bottom row first.
  uint8_t* outPixel(int64_t storedRow, int64_t x) {
    int64_t row = topDown_ ? rows_ - 1 - storedRow : storedRow;
    return out_.pixels.data() + (row * width_ + x) * 3;
  }
  void put(int64_t storedRow, int64_t x, Rgb c) {
    uint8_t* p = outPixel(storedRow, x);
    p[0] = c.r;
    p[1] = c.g;
    p[2] = c.b;
  }
  Rgb paletteColour(uint32_t index) const {
    return index < d_.palette.size() ? d_.palette[index] : Rgb{0, 0, 0};
  }

  bool uncompressed() {
    uint32_t bits = d_.bitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
    if (d_.compression == kBiBitfields && bits != 16 && bits != 32) return false;

    uint64_t stride = ((static_cast<uint64_t>(width_) * bits + 31) / 32) * 4;
    uint64_t usedBytes = (static_cast<uint64_t>(width_) * bits + 7) / 8;
    // The last row's padding may be missing from the file; the bytes it really uses may not.
    if (d_.pixelOffset > size_) return false;
    uint64_t available = size_ - d_.pixelOffset;
    if (stride * (rows_ - 1) + usedBytes > available) return false;

    uint32_t masks[3] = {d_.masks[0], d_.masks[1], d_.masks[2]};
    if (d_.compression == kBiRgb) {
      if (bits == 16) {
        masks[0] = 0x7C00;
        masks[1] = 0x03E0;
        masks[2] = 0x001F;
      } else {
        masks[0] = 0xFF0000;
        masks[1] = 0x00FF00;
        masks[2] = 0x0000FF;
      }
    }
    const Channel red(masks[0]), green(masks[1]), blue(masks[2]);

    for (int64_t r = 0; r < rows_; ++r) {
      const uint8_t* row = data_ + d_.pixelOffset + r * stride;
      for (int64_t x = 0; x < width_; ++x) {
        switch (bits) {
          case 1:
            put(r, x, paletteColour((row[x >> 3] >> (7 - (x & 7))) & 1u));
            break;
          case 4:
            put(r, x, paletteColour((x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4));
            break;
          case 8:
            put(r, x, paletteColour(row[x]));
            break;
          case 24: {
            const uint8_t* p = row + x * 3;
            put(r, x, Rgb{p[2], p[1], p[0]});
            break;
          }
          case 16: {
            uint32_t v = readU16(row + x * 2);
            put(r, x, Rgb{red.extract(v), green.extract(v), blue.extract(v)});
            break;
          }
          case 32: {
            uint32_t v = readU32(row + x * 4);
            put(r, x, Rgb{red.extract(v), green.extract(v), blue.extract(v)});
            break;
          }
        }
      }
    }
    return true;
  }

  // RLE8 and RLE4. Pixels the data skips (deltas, early line ends) stay black; runs past the
  // row's end are clipped; data that ends without an end-of-bitmap mark ends the picture.
  bool rle(bool nibbles) {
    if (d_.pixelOffset > size_) return false;
    size_t pos = d_.pixelOffset;
    int64_t row = 0;
    int64_t x = 0;
    auto emit = [&](uint32_t index) {
      if (row < rows_ && x < width_) put(row, x, paletteColour(index));
      ++x;
    };
    while (pos + 2 <= size_ && row < rows_) {
      uint8_t count = data_[pos];
      uint8_t value = data_[pos + 1];
      pos += 2;
      if (count > 0) {
        for (int i = 0; i < count; ++i) {
          emit(nibbles ? ((i & 1) ? value & 0x0F : value >> 4) : value);
        }
        continue;
      }
      if (value == 0) {
        ++row;
        x = 0;
      } else if (value == 1) {
        break;
      } else if (value == 2) {
        if (pos + 2 > size_) break;
        x += data_[pos];
        row += data_[pos + 1];
        pos += 2;
      } else {
        size_t bytes = nibbles ? (value + 1u) / 2 : value;
        if (pos + bytes > size_) break;
        for (int i = 0; i < value; ++i) {
          uint8_t b = data_[pos + (nibbles ? i / 2 : i)];
          emit(nibbles ? ((i & 1) ? b & 0x0F : b >> 4) : b);
        }
        pos += (bytes + 1) & ~static_cast<size_t>(1);
      }
    }
    return true;
  }

  const Description& d_;
  const uint8_t* data_;
  size_t size_;
  DibImage& out_;
  int64_t width_;
  int64_t rows_;
  bool topDown_;
};

// Reads the header and colour table into `d`; returns the message to report, or nullptr.
const char* describe(const uint8_t* data, size_t size, uint64_t maxPixelBytes, Description& d) {
  size_t headerOffset = 0;
  bool fileHeader = size >= 2 && readU16(data) == 0x4D42;
  if (fileHeader) {
    if (size < 14) return kUnknownFormat;
    headerOffset = 14;
  }
  if (size < headerOffset + 4) return kUnknownFormat;
  const uint8_t* h = data + headerOffset;
  uint32_t headerSize = readU32(h);
  if (headerSize != 12 && headerSize != 40) return kUnknownFormat;
  if (size < headerOffset + headerSize) return kUnknownFormat;

  size_t entrySize;
  uint32_t clrUsed = 0;
  size_t tableOffset = headerOffset + headerSize;
  if (headerSize == 12) {
    d.width = readU16(h + 4);
    d.height = readU16(h + 6);
    d.bitCount = readU16(h + 10);
    entrySize = 3;
  } else {
    d.width = static_cast<int32_t>(readU32(h + 4));
    d.height = static_cast<int32_t>(readU32(h + 8));
    d.bitCount = readU16(h + 14);
    d.compression = readU32(h + 16);
    clrUsed = readU32(h + 32);
    entrySize = 4;
    if (d.compression == kBiBitfields) {
      if (size < tableOffset + 12) return kConversionError;
      for (int i = 0; i < 3; ++i) d.masks[i] = readU32(data + tableOffset + 4 * i);
      tableOffset += 12;
    }
  }

  uint64_t entries = clrUsed;
  if (entries == 0) {
    entries = d.bitCount == 1 ? 2 : d.bitCount == 4 ? 16 : d.bitCount == 8 ? 256 : 0;
  }
  uint64_t tableEnd = tableOffset + entries * entrySize;
  if (tableEnd > size) return kConversionError;
  d.palette.resize(entries);
  for (uint64_t i = 0; i < entries; ++i) {
    const uint8_t* e = data + tableOffset + i * entrySize;
    d.palette[i] = Rgb{e[2], e[1], e[0]};
  }

  d.pixelOffset = fileHeader ? readU32(data + 10) : tableEnd;

  int64_t rows = d.height < 0 ? -d.height : d.height;
  if (d.width <= 0 || rows == 0) return kConversionError;
  if (static_cast<uint64_t>(d.width) * static_cast<uint64_t>(rows) * 3 > maxPixelBytes) {
    return kConversionError;
  }
  return nullptr;
}

}  // namespace

std::unique_ptr<DibImage> decodeDib(const uint8_t* data, size_t size, uint64_t maxPixelBytes) {
  Description d;
  if (const char* problem = describe(data, size, maxPixelBytes, d)) {
    showErrorMessage(problem);
    return nullptr;
  }
  std::unique_ptr<DibImage> image(new (std::nothrow) DibImage);
  if (!image) {
    showErrorMessage(kOutOfMemory);
    return nullptr;
  }
  int64_t rows = d.height < 0 ? -d.height : d.height;
  image->width = static_cast<int32_t>(d.width);
  image->height = static_cast<int32_t>(rows);
  try {
    image->pixels.assign(static_cast<size_t>(d.width * rows * 3), 0);
  } catch (const std::bad_alloc&) {
    showErrorMessage(kOutOfMemory);
    return nullptr;
  }
  if (!Converter(d, data, size, *image).run()) {
    showErrorMessage(kConversionError);
    return nullptr;
  }
  return image;
}

std::unique_ptr<DibImage> loadDibImage(const char* path) {
  FileMapping file(path);
  if (file.data() == nullptr) {
    showErrorMessage(std::string("Failed to open DIB file ") + path + ".\n");
    return nullptr;
  }
  return decodeDib(file.data(), file.size());
}

}  // namespace korvalin
