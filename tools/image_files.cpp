#include "tools/image_files.h"

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
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  ok = std::fflush(file) == 0 && ok;
  ok = (std::fclose(file) == 0) && ok;
  if (!ok) *error = path + ": write failed";
  return ok;
}

}  // namespace korvalin::content
