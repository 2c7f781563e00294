#include "tools/image_files.h"

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

namespace korvalin::content {
namespace {

struct JpegErrorTrap {
  jpeg_error_mgr base;
  jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

// The library's default handler exits the process; a generator should report and carry on.
void trapJpegError(j_common_ptr cinfo) {
  auto* trap = reinterpret_cast<JpegErrorTrap*>(cinfo->err);
  trap->base.format_message(cinfo, trap->message);
  longjmp(trap->jump, 1);
}

void putLe16(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  out[at] = uint8_t(v);
  out[at + 1] = uint8_t(v >> 8);
}
void putLe32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = uint8_t(v >> (8 * i));
}

uint32_t crc32(const uint8_t* data, size_t n, uint32_t crc = 0) {
  crc = ~crc;
  for (size_t i = 0; i < n; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void put32(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(static_cast<uint8_t>(x >> 24));
  v.push_back(static_cast<uint8_t>(x >> 16));
  v.push_back(static_cast<uint8_t>(x >> 8));
  v.push_back(static_cast<uint8_t>(x));
}

void chunk(std::vector<uint8_t>& png, const char* type, const std::vector<uint8_t>& body) {
  put32(png, static_cast<uint32_t>(body.size()));
  std::vector<uint8_t> typed(type, type + 4);
  typed.insert(typed.end(), body.begin(), body.end());
  png.insert(png.end(), typed.begin(), typed.end());
  put32(png, crc32(typed.data(), typed.size()));
}

}  // namespace

bool writeJpeg(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb,
               int quality, std::string* error) {
  if (width <= 0 || height <= 0 || rgb.size() != size_t(width) * height * 3) {
    *error = path + ": picture size does not match its pixels";
    return false;
  }
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) {
    *error = path + ": cannot create: " + std::strerror(errno);
    return false;
  }
  jpeg_compress_struct cinfo;
  JpegErrorTrap trap;
  cinfo.err = jpeg_std_error(&trap.base);
  trap.base.error_exit = trapJpegError;
  if (setjmp(trap.jump)) {
    jpeg_destroy_compress(&cinfo);
    std::fclose(file);
    *error = path + ": JPEG encoder: " + trap.message;
    return false;
  }
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, file);
  cinfo.image_width = JDIMENSION(width);
  cinfo.image_height = JDIMENSION(height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  cinfo.optimize_coding = TRUE;
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(&rgb[size_t(cinfo.next_scanline) * width * 3]);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  bool ok = std::fflush(file) == 0 && !std::ferror(file);
  ok = (std::fclose(file) == 0) && ok;
  if (!ok) *error = path + ": write failed";
  return ok;
}

std::vector<uint8_t> encodeBmp24(int width, int height, const std::vector<uint8_t>& rgb) {
  const size_t rowBytes = (size_t(width) * 3 + 3) & ~size_t(3);
  const size_t dataOffset = 14 + 40;
  std::vector<uint8_t> out(dataOffset + rowBytes * height, 0);
  out[0] = 'B';
  out[1] = 'M';
  putLe32(out, 2, uint32_t(out.size()));
  putLe32(out, 10, uint32_t(dataOffset));
  putLe32(out, 14, 40);
  putLe32(out, 18, uint32_t(width));
  putLe32(out, 22, uint32_t(height));  // positive: bottom row stored first
  putLe16(out, 26, 1);
  putLe16(out, 28, 24);
  putLe32(out, 34, uint32_t(rowBytes * height));
  putLe32(out, 38, 2835);  // 72 dpi
  putLe32(out, 42, 2835);
  for (int y = 0; y < height; ++y) {
    const uint8_t* src = &rgb[size_t(height - 1 - y) * width * 3];
    uint8_t* dst = &out[dataOffset + rowBytes * y];
    for (int x = 0; x < width; ++x) {
      dst[x * 3] = src[x * 3 + 2];
      dst[x * 3 + 1] = src[x * 3 + 1];
      dst[x * 3 + 2] = src[x * 3];
    }
  }
  return out;
}

bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) {
    *error = path + ": cannot create: " + std::strerror(errno);
    return false;
  }
  // An empty vector may hold no buffer at all, which fwrite must not be given.
  bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  ok = std::fflush(file) == 0 && ok;
  ok = (std::fclose(file) == 0) && ok;
  if (!ok) *error = path + ": write failed";
  return ok;
}

bool writePng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgba) {
  if (width <= 0 || height <= 0 || rgba.size() < static_cast<size_t>(width) * height * 4) return false;
  std::vector<uint8_t> raw;
  raw.reserve(static_cast<size_t>(height) * (width * 4 + 1));
  for (int row = height - 1; row >= 0; --row) {
    raw.push_back(0);
    const uint8_t* src = rgba.data() + static_cast<size_t>(row) * width * 4;
    raw.insert(raw.end(), src, src + static_cast<size_t>(width) * 4);
  }
  std::vector<uint8_t> z = {0x78, 0x01};
  size_t pos = 0;
  do {
    size_t n = std::min<size_t>(65535, raw.size() - pos);
    z.push_back(pos + n == raw.size() ? 1 : 0);
    z.push_back(static_cast<uint8_t>(n));
    z.push_back(static_cast<uint8_t>(n >> 8));
    z.push_back(static_cast<uint8_t>(~n));
    z.push_back(static_cast<uint8_t>(~n >> 8));
    z.insert(z.end(), raw.begin() + pos, raw.begin() + pos + n);
    pos += n;
  } while (pos < raw.size());
  uint32_t a = 1, b = 0;
  for (uint8_t byte : raw) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  put32(z, (b << 16) | a);

  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> ihdr;
  put32(ihdr, static_cast<uint32_t>(width));
  put32(ihdr, static_cast<uint32_t>(height));
  ihdr.insert(ihdr.end(), {8, 6, 0, 0, 0});
  chunk(png, "IHDR", ihdr);
  chunk(png, "IDAT", z);
  chunk(png, "IEND", {});
  std::string error;
  return writeFile(path, png, &error);
}

}  // namespace korvalin::content
