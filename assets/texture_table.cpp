// The texture table: render targets, font sheets and the JPEG pictures, uploaded into the
// current GL context.
#include "assets/texture_table.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cstdio>
#include <cstdlib>

#include "assets/dib_image.h"

namespace korvalin {

const char* const kJpegAssetPaths[18] = {
    "data/metal.jpg",   "data/grain.jpg",     "data/tausta1.jpg", "data/tausta2.jpg", "data/tausta3.jpg",
    "data/tausta4.jpg", "data/tausta5.jpg",   "data/tausta6.jpg", "data/wakemeup.jpg", "data/Vavorerid.jpg",
    "data/code.jpg",    "data/gfx.jpg",       "data/music.jpg",   "data/Tamsilvo.jpg", "data/varnok.jpg",
    "data/duskweft.jpg", "data/qel.jpg",      "data/ostrel.jpg",
};

namespace {

constexpr int kFirstJpegSlot = kMetalSlot;

bool validSlot(int slot) { return slot >= 0 && slot < kTextureSlotCount; }

// Tightly packed rows upload right at any width; the rest of the program keeps GL's default.
class TightUnpack {
 public:
  TightUnpack() {
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &previous_);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  }
  ~TightUnpack() { glPixelStorei(GL_UNPACK_ALIGNMENT, previous_); }
  TightUnpack(const TightUnpack&) = delete;
  TightUnpack& operator=(const TightUnpack&) = delete;

 private:
  GLint previous_ = 4;
};

void setLinearFilters(GLenum minFilter) {
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, static_cast<GLint>(minFilter));
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
}

// Storage only: the content is undefined until a render-to-texture pass copies into it.
void allocateRenderTarget(const TextureTable& table, int slot, int size) {
  glBindTexture(GL_TEXTURE_2D, table.names[slot]);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, size, size, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
}

}  // namespace

void loadTextures(TextureTable& table) {
  glGenTextures(kTextureSlotCount, table.names);
  for (GLuint name : table.names) {
    glBindTexture(GL_TEXTURE_2D, name);
    setLinearFilters(GL_LINEAR);
  }
  allocateRenderTarget(table, kRenderTargetSlot0, 256);
  allocateRenderTarget(table, kRenderTargetSlot1, 256);
  allocateRenderTarget(table, kRenderTargetSlot2, 512);

  uploadFontSheet(table, "text12.bmp", kFontSheetSlot12);
  uploadFontSheet(table, "text14.bmp", kFontSheetSlot14);
  uploadFontSheet(table, "text18.bmp", kFontSheetSlot18);

  for (int i = 0; i < 18; ++i) uploadJpegTexture(table, kJpegAssetPaths[i], kFirstJpegSlot + i);
}

// White is see-through and black opaque (alpha = 255 - blue), so the sheet draws as ink.
void uploadFontSheet(TextureTable& table, const char* path, int slot) {
  if (!validSlot(slot)) return;
  // A missing sheet is skipped silently; one that exists but is unreadable gets the reader's message.
  FILE* probe = std::fopen(path, "rb");
  if (probe == nullptr) return;
  std::fclose(probe);

  std::unique_ptr<DibImage> image = loadDibImage(path);
  if (!image) return;

  const size_t pixelCount = static_cast<size_t>(image->width) * static_cast<size_t>(image->height);
  std::vector<uint8_t> rgba(pixelCount * 4);
  const uint8_t* src = image->pixels.data();
  for (size_t i = 0; i < pixelCount; ++i) {
    rgba[i * 4 + 0] = src[i * 3 + 0];
    rgba[i * 4 + 1] = src[i * 3 + 1];
    rgba[i * 4 + 2] = src[i * 3 + 2];
    rgba[i * 4 + 3] = static_cast<uint8_t>(255 - src[i * 3 + 2]);
  }

  TightUnpack unpack;
  glBindTexture(GL_TEXTURE_2D, table.names[slot]);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, image->width, image->height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
               rgba.data());
  setLinearFilters(GL_LINEAR);
}

void uploadJpegTexture(TextureTable& table, const char* path, int slot) {
  if (!validSlot(slot)) return;
  JpegLoadResult result;
  std::unique_ptr<JpegImage> image = loadJpegImage(path, result);

  // The program's only exits on a bad picture, both before the first frame:
  //   missing or unreadable JPEG  -> one line naming it, status 1 (a demo missing a picture
  //                                  cannot be shown as made, and must not pass for success);
  //   JPEG the library rejects    -> libjpeg's message on standard error, status 1.
  // The shell's exit handler puts the display mode back.
  switch (result.status) {
    case JpegStatus::Loaded:
      break;
    case JpegStatus::CannotOpen:
      std::fprintf(stderr, "%s: cannot be opened: %s\n", path, result.message.c_str());
      std::exit(1);
    case JpegStatus::Corrupt:
      std::fprintf(stderr, "%s\n", result.message.c_str());
      std::exit(1);
    case JpegStatus::Unsupported:
      // Shown as the empty texture loadTextures made, like a font sheet that cannot be read.
      std::fprintf(stderr, "%s\n", result.message.c_str());
      return;
  }

  uploadJpegImage(table, slot, *image);
}

void uploadJpegImage(TextureTable& table, int slot, const JpegImage& image) {
  if (!validSlot(slot)) return;
  GLuint name{};
  glGenTextures(1, &name);
  table.names[slot] = name;
  glBindTexture(GL_TEXTURE_2D, name);
  TightUnpack unpack;
  gluBuild2DMipmaps(GL_TEXTURE_2D, GL_RGB8, image.width, image.height, GL_RGB, GL_UNSIGNED_BYTE,
                    image.pixels.data());
  setLinearFilters(GL_LINEAR_MIPMAP_LINEAR);
}

}  // namespace korvalin
