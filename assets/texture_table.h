// The 100 texture slots every other part refers to by number ("Image ID").
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace korvalin {

constexpr int kTextureSlotCount = 100;
constexpr int kFontSheetSlot12 = 0;
constexpr int kFontSheetSlot14 = 1;
constexpr int kFontSheetSlot18 = 2;
constexpr int kMetalSlot = 3;
constexpr int kRenderTargetSlot0 = 90;  // 256 x 256
constexpr int kRenderTargetSlot1 = 91;  // 256 x 256
constexpr int kRenderTargetSlot2 = 92;  // 512 x 512

// OpenGL texture names by slot; valid only in the context that loadTextures filled them in.
struct TextureTable {
  uint32_t names[kTextureSlotCount] = {};
};

// A decoded JPEG: rows top row first, three bytes per pixel (red, green, blue).
struct JpegImage {
  int32_t rowBytes = 0;
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> pixels;
};

// Fills the whole table from the working directory's assets; needs a current GL context.
// A missing JPEG picture ends the program with status 0, a corrupt one with status 1.
void loadTextures(TextureTable& table);
void uploadFontSheet(TextureTable& table, const char* path, int slot);
void uploadJpegTexture(TextureTable& table, const char* path, int slot);
// Decodes a JPEG to RGB; none when the file cannot be opened or is not convertible to RGB.
// A file that cannot be decoded gives none and its message on standard error; it never exits.
std::unique_ptr<JpegImage> loadJpegImage(const char* path);

// Why loadJpegImage gave no image; uploadJpegTexture decides what the program does about each.
enum class JpegStatus {
  Loaded,
  CannotOpen,   // missing or unreadable file
  Unsupported,  // decodable, but not as RGB (CMYK) or too large to hold
  Corrupt,      // the library could not decode it
};
struct JpegLoadResult {
  JpegStatus status = JpegStatus::Loaded;
  // One line: libjpeg's own text for Corrupt, as its standard error handler prints it; naming
  // the file for Unsupported; the system's reason for CannotOpen; empty for Loaded.
  std::string message;
};
// With warningsFail, data the library can only patch over (a file cut short, damaged entropy
// data) counts as Corrupt too, without a word on standard error: a reload keeps the old picture
// rather than show a grey-filled one.
std::unique_ptr<JpegImage> loadJpegImage(const char* path, JpegLoadResult& result, bool warningsFail = false);
// Builds a mipmapped texture of the image under a new name stored into the slot; the slot's
// previous name is left to the caller.
void uploadJpegImage(TextureTable& table, int slot, const JpegImage& image);

// The JPEG pictures of the asset table, slots 3 to 20 in order.
extern const char* const kJpegAssetPaths[18];

}  // namespace korvalin
