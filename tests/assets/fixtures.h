// Small asset files made in code: BMP headers and rows, 3DS chunk trees, JPEG pictures.
#pragma once

#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace korvalin::test {

using Bytes = std::vector<uint8_t>;

inline void put(Bytes& b, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline void putFloat(Bytes& b, float f) {
  uint32_t v;
  std::memcpy(&v, &f, 4);
  put(b, v, 4);
}
inline void append(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }

// A BMP file (or packed DIB) from its parts; sizes and offsets are filled in.
struct BmpParts {
  explicit BmpParts(int32_t w = 1, int32_t h = 1, uint16_t bits = 24, uint32_t compressionKind = 0)
      : width(w), height(h), bitCount(bits), compression(compressionKind) {}
  int32_t width, height;
  uint16_t bitCount;
  uint32_t compression, clrUsed = 0, headerSize = 40;
  bool fileHeader = true;
  std::vector<uint32_t> palette;  // 0xRRGGBB
  std::vector<uint32_t> masks;    // follow a 40-byte header when present
  Bytes pixels;                   // as stored, rows padded by the caller
};

inline Bytes makeBmp(const BmpParts& s) {
  Bytes h;
  put(h, s.headerSize, 4);
  int side = s.headerSize == 12 ? 2 : 4;
  put(h, static_cast<uint32_t>(s.width), side);
  put(h, static_cast<uint32_t>(s.height), side);
  put(h, 1, 2);
  put(h, s.bitCount, 2);
  if (s.headerSize != 12) {
    for (uint32_t v : {s.compression, static_cast<uint32_t>(s.pixels.size()), 2835u, 2835u, s.clrUsed, 0u}) put(h, v, 4);
    h.resize(s.headerSize);
    for (uint32_t m : s.masks) put(h, m, 4);
  }
  for (uint32_t c : s.palette) put(h, c & 0xFFFFFF, s.headerSize == 12 ? 3 : 4);
  Bytes out;
  if (s.fileHeader) {
    out = {'B', 'M'};
    put(out, 14 + h.size() + s.pixels.size(), 4);
    put(out, 0, 4);
    put(out, 14 + h.size(), 4);
  }
  append(out, h);
  append(out, s.pixels);
  return out;
}

// One 3DS chunk: id, whole length, then the payload (values and sub-chunks).
inline Bytes chunk(uint16_t id, const std::vector<Bytes>& parts) {
  Bytes out;
  put(out, id, 2);
  put(out, 6, 4);
  for (const Bytes& p : parts) append(out, p);
  uint32_t length = static_cast<uint32_t>(out.size());
  std::memcpy(&out[2], &length, 4);
  return out;
}

struct V3 {
  float x, y, z;
};
using Face = std::array<uint16_t, 3>;

inline Bytes vertexList(const std::vector<V3>& vs) {
  Bytes b;
  put(b, static_cast<uint32_t>(vs.size()), 2);
  for (const V3& v : vs)
    for (float f : {v.x, v.y, v.z}) putFloat(b, f);
  return chunk(0x4110, {b});
}

inline Bytes faceList(const std::vector<Face>& fs, const Bytes& subChunks = {}) {
  Bytes b;
  put(b, static_cast<uint32_t>(fs.size()), 2);
  for (const Face& f : fs)
    for (uint32_t v : {f[0], f[1], f[2], uint16_t{7}}) put(b, v, 2);
  return chunk(0x4120, {b, subChunks});
}

inline Bytes mappingList(const std::vector<std::array<float, 2>>& uvs) {
  Bytes b;
  put(b, static_cast<uint32_t>(uvs.size()), 2);
  for (const auto& uv : uvs) {
    putFloat(b, uv[0]);
    putFloat(b, uv[1]);
  }
  return chunk(0x4140, {b});
}

inline Bytes cString(const std::string& s) { return Bytes(s.c_str(), s.c_str() + s.size() + 1); }

// Main chunk > editor chunk > one named triangle mesh made of `meshParts`.
inline Bytes model(const std::string& name, const std::vector<Bytes>& meshParts) {
  return chunk(0x4D4D, {chunk(0x3D3D, {chunk(0x4000, {cString(name), chunk(0x4100, meshParts)})})});
}

// A fresh folder under /tmp, removed at the end.
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
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Runs `f` with `dir` as the working directory, as the program runs in its run folder.
template <typename F>
void inDirectory(const std::string& dir, F f) {
  char previous[4096];
  if (getcwd(previous, sizeof previous) == nullptr || chdir(dir.c_str()) != 0) std::abort();
  f();
  if (chdir(previous) != 0) std::abort();
}

// `pixels` holds `components` bytes per pixel, top row first.
inline void writeJpeg(const std::string& path, int width, int height, int components, J_COLOR_SPACE space,
                      const Bytes& pixels, int quality = 100) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  FILE* file = std::fopen(path.c_str(), "wb");
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
    JSAMPROW row = const_cast<uint8_t*>(&pixels[size_t{cinfo.next_scanline} * width * components]);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::fclose(file);
}

// An RGB picture whose top half is `top` and bottom half `bottom` (0xRRGGBB).
inline Bytes twoBands(int width, int height, uint32_t top, uint32_t bottom) {
  Bytes px;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) put(px, __builtin_bswap32(y < height / 2 ? top : bottom) >> 8, 3);
  return px;
}

}  // namespace korvalin::test
