// JPEG decoding through libjpeg's published interface, always to RGB.
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>

#include <jpeglib.h>

#include "assets/texture_table.h"

namespace korvalin {
namespace {

// Far beyond any picture the demo ships; a header claiming more is broken, not a picture.
constexpr uint64_t kMaxPixelBytes = 256u << 20;

// libjpeg's standard error manager, except that a fatal error comes back here instead of
// ending the process: the caller decides what a corrupt picture means for the program.
struct ErrorManager {
  jpeg_error_mgr standard;
  std::jmp_buf jump;
};

[[noreturn]] void returnToLoader(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

// A warning made fatal: the decode ends at once through returnToLoader, quietly.
void warningsAreErrors(j_common_ptr cinfo, int level) {
  if (level < 0) returnToLoader(cinfo);
}

// Everything the decoder touches lives here, on the heap, so that nothing in the setjmp frame
// changes between setjmp and a longjmp.
struct Decode {
  jpeg_decompress_struct cinfo{};
  ErrorManager errors{};
  FILE* file = nullptr;
  std::unique_ptr<JpegImage> image;
  std::vector<JSAMPROW> rows;
  std::string failure;
  bool created = false;

  ~Decode() {
    if (created) jpeg_destroy_decompress(&cinfo);
    if (file != nullptr) std::fclose(file);
  }
};

bool convertibleToRgb(J_COLOR_SPACE space) {
  return space == JCS_GRAYSCALE || space == JCS_RGB || space == JCS_YCbCr;
}

const char* colourSpaceName(J_COLOR_SPACE space) {
  switch (space) {
    case JCS_CMYK:
      return "CMYK";
    case JCS_YCCK:
      return "YCCK";
    default:
      return "an unknown colour space";
  }
}

}  // namespace

std::unique_ptr<JpegImage> loadJpegImage(const char* path, JpegLoadResult& result, bool warningsFail) {
  result = JpegLoadResult{};
  auto d = std::make_unique<Decode>();
  d->file = std::fopen(path, "rb");
  if (d->file == nullptr) {
    result.status = JpegStatus::CannotOpen;
    result.message = std::strerror(errno);
    return nullptr;
  }
  d->cinfo.err = jpeg_std_error(&d->errors.standard);
  d->errors.standard.error_exit = returnToLoader;
  if (warningsFail) d->errors.standard.emit_message = warningsAreErrors;
  if (setjmp(d->errors.jump) != 0) {
    char text[JMSG_LENGTH_MAX];
    (*d->cinfo.err->format_message)(reinterpret_cast<j_common_ptr>(&d->cinfo), text);
    result.status = JpegStatus::Corrupt;
    result.message = text;
    return nullptr;
  }
  jpeg_create_decompress(&d->cinfo);
  d->created = true;
  jpeg_stdio_src(&d->cinfo, d->file);
  jpeg_read_header(&d->cinfo, TRUE);

  jpeg_decompress_struct& cinfo = d->cinfo;
  if (!convertibleToRgb(cinfo.jpeg_color_space)) {
    result.status = JpegStatus::Unsupported;
    result.message = std::string(path) + ": a JPEG picture in " + colourSpaceName(cinfo.jpeg_color_space) +
                     " cannot be shown; its slot stays empty";
    return nullptr;
  }
  uint64_t bytes = static_cast<uint64_t>(cinfo.image_width) * cinfo.image_height * 3;
  if (bytes > kMaxPixelBytes) {
    result.status = JpegStatus::Unsupported;
    result.message = std::string(path) + ": a JPEG picture of " + std::to_string(cinfo.image_width) + " x " +
                     std::to_string(cinfo.image_height) + " pixels is too large; its slot stays empty";
    return nullptr;
  }
  // Grayscale pictures come out as RGB too, so the upload always gets three bytes per pixel.
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);

  d->image = std::make_unique<JpegImage>();
  JpegImage& image = *d->image;
  image.width = static_cast<int32_t>(cinfo.output_width);
  image.height = static_cast<int32_t>(cinfo.output_height);
  image.rowBytes = static_cast<int32_t>(cinfo.output_components * cinfo.output_width);
  // gluBuild2DMipmaps reads a few bytes past the last row when it scales some sizes (16 x 20, for
  // one); a spare row of capacity keeps those reads inside the allocation.
  image.pixels.reserve(static_cast<size_t>(image.rowBytes) * (image.height + 1));
  image.pixels.resize(static_cast<size_t>(image.rowBytes) * image.height);
  d->rows.resize(image.height);
  for (int32_t i = 0; i < image.height; ++i) d->rows[i] = image.pixels.data() + static_cast<size_t>(i) * image.rowBytes;

  while (cinfo.output_scanline < cinfo.output_height) {
    JDIMENSION done = cinfo.output_scanline;
    jpeg_read_scanlines(&cinfo, d->rows.data() + done, cinfo.output_height - done);
  }
  jpeg_finish_decompress(&cinfo);
  return std::move(d->image);
}

std::unique_ptr<JpegImage> loadJpegImage(const char* path) {
  JpegLoadResult result;
  std::unique_ptr<JpegImage> image = loadJpegImage(path, result);
  if (!result.message.empty()) std::fprintf(stderr, "%s\n", result.message.c_str());
  return image;
}

}  // namespace korvalin
