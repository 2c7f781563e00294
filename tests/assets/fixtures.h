// Small asset files made in code: BMP headers and rows, 3DS chunk trees, JPEG pictures.
#pragma once

#include <stdlib.h>
#include <sys/mman.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <jpeglib.h>  // after <cstdio>, which it needs

namespace korvalin::test {

using Bytes = std::vector<uint8_t>;

inline void put(Bytes& b, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline void append(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }

// A copy of `bytes` that ends where a page no one may read begins, so that any read past the end
// crashes the test, with or without the sanitizer. Valid until the next call.
inline const uint8_t* guarded(const Bytes& bytes) {
  constexpr size_t kSize = size_t{1} << 20;
  static uint8_t* const pages = [] {
    auto* p = static_cast<uint8_t*>(::mmap(nullptr, 2 * kSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ::mprotect(p + kSize, kSize, PROT_NONE);
    return p;
  }();
  if (bytes.size() > kSize) std::abort();  // a test file this large needs a larger guard
  return std::copy(bytes.begin(), bytes.end(), pages + kSize - bytes.size()) - bytes.size();
}

// A BMP file (or packed DIB) from its parts; sizes and offsets are filled in. clrUsed 0 stands for
// the palette's size when that is short of the full table.
struct BmpParts {
  int32_t width = 1, height = 1;
  uint16_t bitCount = 24;
  Bytes pixels{};                   // as stored, rows padded by the caller
  std::vector<uint32_t> palette{};  // 0xRRGGBB
  uint32_t compression = 0;
  std::vector<uint32_t> masks{};  // follow a 40-byte header when present
  bool fileHeader = true;
  uint32_t headerSize = 40, clrUsed = 0;
};

inline Bytes makeBmp(const BmpParts& s) {
  const bool core = s.headerSize == 12;
  uint32_t used = s.clrUsed;
  if (!used && s.bitCount <= 8 && s.palette.size() != (1u << s.bitCount)) used = static_cast<uint32_t>(s.palette.size());
  Bytes h;
  put(h, s.headerSize, 4);
  for (int32_t side : {s.width, s.height}) put(h, static_cast<uint32_t>(side), core ? 2 : 4);
  for (uint32_t v : {1u, uint32_t{s.bitCount}}) put(h, v, 2);  // planes, bits per pixel
  if (!core) {
    for (uint32_t v : {s.compression, static_cast<uint32_t>(s.pixels.size()), 2835u, 2835u, used, 0u}) put(h, v, 4);
    h.resize(s.headerSize);
    for (uint32_t m : s.masks) put(h, m, 4);
  }
  for (uint32_t c : s.palette) put(h, c & 0xFFFFFF, core ? 3 : 4);
  Bytes out;
  if (s.fileHeader) {
    out = {'B', 'M'};
    for (size_t v : {14 + h.size() + s.pixels.size(), size_t{0}, 14 + h.size()}) put(out, static_cast<uint32_t>(v), 4);
  }
  append(out, h);
  append(out, s.pixels);
  return out;
}

// One 3DS chunk: id, whole length (plus `wrong`, to make a malformed one), then the payload
// (values and sub-chunks).
inline Bytes chunk(uint16_t id, const std::vector<Bytes>& parts, int wrong = 0) {
  Bytes body, out;
  for (const Bytes& p : parts) append(body, p);
  put(out, id, 2);
  put(out, static_cast<uint32_t>(6 + body.size() + wrong), 4);
  append(out, body);
  return out;
}

using V3 = std::array<float, 3>;
using Face = std::array<uint16_t, 3>;
using UV = std::array<float, 2>;

// A counted list: the entry count, then each entry's values; faces carry the usual edge flags 7.
template <typename T, size_t N>
Bytes countedList(uint16_t id, const std::vector<std::array<T, N>>& entries, const Bytes& subChunks = {}, int wrong = 0) {
  Bytes b;
  put(b, static_cast<uint32_t>(entries.size()), 2);
  for (const auto& entry : entries) {
    for (T v : entry) b.insert(b.end(), reinterpret_cast<const uint8_t*>(&v), reinterpret_cast<const uint8_t*>(&v) + sizeof v);
    if (id == 0x4120) put(b, 7, 2);
  }
  return chunk(id, {b, subChunks}, wrong);
}
inline Bytes vertexList(const std::vector<V3>& vs, int wrong = 0) { return countedList(0x4110, vs, {}, wrong); }
inline Bytes faceList(const std::vector<Face>& fs, const Bytes& subChunks = {}) { return countedList(0x4120, fs, subChunks); }
inline Bytes mappingList(const std::vector<UV>& uvs, int wrong = 0) { return countedList(0x4140, uvs, {}, wrong); }
inline Bytes cString(const std::string& s) { return Bytes(s.c_str(), s.c_str() + s.size() + 1); }

// Main chunk > editor chunk > one named triangle mesh made of `meshParts`.
inline Bytes model(const std::string& name, const std::vector<Bytes>& meshParts) {
  return chunk(0x4D4D, {chunk(0x3D3D, {chunk(0x4000, {cString(name), chunk(0x4100, meshParts)})})});
}

// A fresh folder under /tmp, removed at the end.
struct TempDir {
  std::string path = ::mkdtemp(std::string("/tmp/korvalin-assets-XXXXXX").data());
  ~TempDir() { std::filesystem::remove_all(path); }
  std::string file(const std::string& name) const { return path + "/" + name; }
};

inline void writeFile(const std::string& path, const Bytes& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A picture whose component c of pixel (x, y), counted from the top row, is `value(x, y, c)`.
template <typename F>
void writeJpeg(const std::string& path, int width, int height, int components, J_COLOR_SPACE space, F value) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  FILE* file = std::fopen(path.c_str(), "wb");
  jpeg_compress_struct cinfo;
  jpeg_error_mgr errors;
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, file);
  cinfo.image_width = width;
  cinfo.image_height = height;
  cinfo.input_components = components;
  cinfo.in_color_space = space;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 95, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  for (Bytes row; cinfo.next_scanline < cinfo.image_height; row.clear()) {
    for (int i = 0; i < width * components; ++i) row.push_back(value(i / components, cinfo.next_scanline, i % components));
    JSAMPROW rows[] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::fclose(file);
}

}  // namespace korvalin::test
