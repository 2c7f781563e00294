// Small asset files made in code: BMP headers and rows, 3DS chunk trees, JPEG pictures.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace korvalin::test {

using Bytes = std::vector<uint8_t>;

inline void put16(Bytes& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
inline void put32(Bytes& b, uint32_t v) {
  put16(b, v & 0xFFFF);
  put16(b, v >> 16);
}
inline void putFloat(Bytes& b, float f) {
  uint32_t v;
  std::memcpy(&v, &f, 4);
  put32(b, v);
}
inline void append(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }

// A BMP file (or packed DIB) from its parts; sizes and offsets are filled in.
struct BmpSpec {
  bool fileHeader = true;
  uint32_t headerSize = 40;
  int32_t width = 1;
  int32_t height = 1;
  uint16_t bitCount = 24;
  uint32_t compression = 0;
  uint32_t clrUsed = 0;
  std::vector<uint32_t> palette;  // 0xRRGGBB
  std::vector<uint32_t> masks;    // written right after a 40-byte header when present
  Bytes pixels;                   // as stored, rows padded by the caller
};

inline Bytes makeBmp(const BmpSpec& s) {
  Bytes info;
  put32(info, s.headerSize);
  if (s.headerSize == 12) {
    put16(info, static_cast<uint32_t>(s.width));
    put16(info, static_cast<uint32_t>(s.height));
    put16(info, 1);
    put16(info, s.bitCount);
  } else {
    put32(info, static_cast<uint32_t>(s.width));
    put32(info, static_cast<uint32_t>(s.height));
    put16(info, 1);
    put16(info, s.bitCount);
    put32(info, s.compression);
    put32(info, static_cast<uint32_t>(s.pixels.size()));
    put32(info, 2835);
    put32(info, 2835);
    put32(info, s.clrUsed);
    put32(info, 0);
    while (info.size() < s.headerSize) info.push_back(0);
    for (uint32_t m : s.masks) put32(info, m);
  }
  for (uint32_t c : s.palette) {
    info.push_back(static_cast<uint8_t>(c));
    info.push_back(static_cast<uint8_t>(c >> 8));
    info.push_back(static_cast<uint8_t>(c >> 16));
    if (s.headerSize != 12) info.push_back(0);
  }
  Bytes out;
  if (s.fileHeader) {
    uint32_t offBits = 14 + static_cast<uint32_t>(info.size());
    out.push_back('B');
    out.push_back('M');
    put32(out, offBits + static_cast<uint32_t>(s.pixels.size()));
    put32(out, 0);
    put32(out, offBits);
  }
  append(out, info);
  append(out, s.pixels);
  return out;
}

// One 3DS chunk: id, whole length, then the payload (values and sub-chunks).
inline Bytes chunk(uint16_t id, std::initializer_list<Bytes> parts) {
  Bytes body;
  for (const Bytes& p : parts) append(body, p);
  Bytes out;
  put16(out, id);
  put32(out, static_cast<uint32_t>(body.size() + 6));
  append(out, body);
  return out;
}

struct V3 {
  float x, y, z;
};

inline Bytes vertexList(const std::vector<V3>& vs) {
  Bytes b;
  put16(b, static_cast<uint32_t>(vs.size()));
  for (const V3& v : vs) {
    putFloat(b, v.x);
    putFloat(b, v.y);
    putFloat(b, v.z);
  }
  return chunk(0x4110, {b});
}

inline Bytes faceList(const std::vector<std::array<uint16_t, 3>>& fs, std::initializer_list<Bytes> sub = {}) {
  Bytes b;
  put16(b, static_cast<uint32_t>(fs.size()));
  for (const auto& f : fs) {
    put16(b, f[0]);
    put16(b, f[1]);
    put16(b, f[2]);
    put16(b, 7);
  }
  for (const Bytes& s : sub) append(b, s);
  return chunk(0x4120, {b});
}

inline Bytes mappingList(const std::vector<std::array<float, 2>>& uvs) {
  Bytes b;
  put16(b, static_cast<uint32_t>(uvs.size()));
  for (const auto& uv : uvs) {
    putFloat(b, uv[0]);
    putFloat(b, uv[1]);
  }
  return chunk(0x4140, {b});
}

inline Bytes nameBytes(const std::string& name) {
  Bytes b(name.begin(), name.end());
  b.push_back(0);
  return b;
}

// Main chunk > editor chunk > one named triangle mesh made of `meshParts`.
inline Bytes model(const std::string& name, std::initializer_list<Bytes> meshParts) {
  Bytes mesh;
  for (const Bytes& p : meshParts) append(mesh, p);
  return chunk(0x4D4D, {chunk(0x3D3D, {chunk(0x4000, {nameBytes(name), chunk(0x4100, {mesh})})})});
}

// A fresh folder under the system's temporary folder, removed at the end.
class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/korvalin-assets-XXXXXX";
    path_ = ::mkdtemp(pattern);
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

inline void writeFile(const std::string& path, const Bytes& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Writes a JPEG with libjpeg's compressor. `pixels` holds `components` bytes per pixel, top row first.
inline void writeJpeg(const std::string& path, int width, int height, int components, J_COLOR_SPACE space,
                      const Bytes& pixels, int quality = 100) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr) << path;
  jpeg_compress_struct cinfo;
  jpeg_error_mgr errors;
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, file);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = components;
  cinfo.in_color_space = space;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<uint8_t*>(pixels.data()) + static_cast<size_t>(cinfo.next_scanline) * width * components;
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::fclose(file);
}

// An RGB picture whose top half is `top` and bottom half `bottom` (0xRRGGBB).
inline Bytes twoBands(int width, int height, uint32_t top, uint32_t bottom) {
  Bytes px;
  for (int y = 0; y < height; ++y) {
    uint32_t c = y < height / 2 ? top : bottom;
    for (int x = 0; x < width; ++x) {
      px.push_back(static_cast<uint8_t>(c >> 16));
      px.push_back(static_cast<uint8_t>(c >> 8));
      px.push_back(static_cast<uint8_t>(c));
    }
  }
  return px;
}

}  // namespace korvalin::test
