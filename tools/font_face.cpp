#include "tools/font_face.h"

#include <ft2build.h>
#include FT_FREETYPE_H

namespace korvalin::content {
namespace {
FT_Library lib(void* p) { return static_cast<FT_Library>(p); }
FT_Face face(void* p) { return static_cast<FT_Face>(p); }
}  // namespace

FontFace::FontFace() {
  FT_Library l = nullptr;
  if (FT_Init_FreeType(&l) == 0) library_ = l;
}

FontFace::~FontFace() {
  if (face_) FT_Done_Face(face(face_));
  if (library_) FT_Done_FreeType(lib(library_));
}

bool FontFace::open(const std::string& path, std::string* error) {
  if (!library_) {
    *error = "FreeType could not be initialised";
    return false;
  }
  FT_Face f = nullptr;
  if (FT_New_Face(lib(library_), path.c_str(), 0, &f) != 0) {
    *error = path + ": cannot open the font (is fonts-dejavu-core installed?)";
    return false;
  }
  if (face_) FT_Done_Face(face(face_));
  face_ = f;
  return true;
}

void FontFace::setSize64(int size64) { FT_Set_Char_Size(face(face_), 0, size64, 72, 72); }

void FontFace::setSqueeze(double factor) {
  FT_Matrix m;
  m.xx = FT_Fixed(factor * 65536.0);
  m.xy = 0;
  m.yx = 0;
  m.yy = 0x10000;
  FT_Set_Transform(face(face_), factor == 1.0 ? nullptr : &m, nullptr);
}

bool FontFace::render(unsigned char c) {
  // Hinting is off so that a glyph scales smoothly with the fitted size.
  return FT_Load_Char(face(face_), c, FT_LOAD_RENDER | FT_LOAD_NO_HINTING) == 0;
}

InkBox FontFace::measureChar(unsigned char c) {
  InkBox box;
  if (!render(c)) return box;
  FT_GlyphSlot g = face(face_)->glyph;
  box.advance = int((g->advance.x + 32) >> 6);
  if (g->bitmap.width == 0 || g->bitmap.rows == 0) return box;
  box.left = g->bitmap_left;
  box.right = g->bitmap_left + int(g->bitmap.width);
  box.top = g->bitmap_top;
  box.bottom = g->bitmap_top - int(g->bitmap.rows);
  return box;
}

InkBox FontFace::measureText(const std::string& text) {
  InkBox total;
  bool any = false;
  int pen = 0;
  for (unsigned char c : text) {
    InkBox b = measureChar(c);
    if (!b.empty()) {
      if (!any) {
        total.left = pen + b.left;
        total.right = pen + b.right;
        total.top = b.top;
        total.bottom = b.bottom;
        any = true;
      } else {
        total.left = std::min(total.left, pen + b.left);
        total.right = std::max(total.right, pen + b.right);
        total.top = std::max(total.top, b.top);
        total.bottom = std::min(total.bottom, b.bottom);
      }
    }
    pen += b.advance;
  }
  total.advance = pen;
  return total;
}

int FontFace::drawChar(Image& image, unsigned char c, int x, int baselineY, const Rgb& colour) {
  if (!render(c)) return 0;
  FT_GlyphSlot g = face(face_)->glyph;
  const FT_Bitmap& bm = g->bitmap;
  for (unsigned row = 0; row < bm.rows; ++row) {
    for (unsigned col = 0; col < bm.width; ++col) {
      uint8_t v = bm.buffer[row * bm.pitch + col];
      if (v == 0) continue;
      image.blend(x + g->bitmap_left + int(col), baselineY - g->bitmap_top + int(row), colour,
                  v / 255.0f);
    }
  }
  return int((g->advance.x + 32) >> 6);
}

void FontFace::drawText(Image& image, const std::string& text, int x, int baselineY,
                        const Rgb& colour) {
  int pen = x;
  for (unsigned char c : text) pen += drawChar(image, c, pen, baselineY, colour);
}

}  // namespace korvalin::content
