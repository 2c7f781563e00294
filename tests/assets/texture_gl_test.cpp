#include <GL/gl.h>
#include <gtest/gtest.h>

#include "assets/texture_table.h"
#include "tests/assets/fixtures.h"
#include "tests/common/gl_test_context.h"

namespace korvalin {
namespace {

using namespace test;

// A parameter of the texture, or of its level `lod` when that is given.
GLint query(GLuint name, GLenum what, int lod = -1) {
  GLint v = 0;
  glBindTexture(GL_TEXTURE_2D, name);
  if (lod < 0) glGetTexParameteriv(GL_TEXTURE_2D, what, &v);
  if (lod >= 0) glGetTexLevelParameteriv(GL_TEXTURE_2D, lod, what, &v);
  return v;
}

// Level 0 as RGBA, row t = 0 first.
Bytes texels(GLuint name) {
  Bytes out(size_t{4} * query(name, GL_TEXTURE_WIDTH, 0) * query(name, GL_TEXTURE_HEIGHT, 0));
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, out.data());
  return out;
}

// A run folder whose picture for slot s has its top half in its own colour (12 s, 255 - 12 s, 0)
// and its bottom half blue, except a grey one in slot 4, a 300 x 200 one in slot 5, a CMYK one in
// slot 10 and one of 17 x 17 (rows of 51 bytes) red left of blue in slot 20. The 12-point font
// sheet is 4 x 2, bottom row white, black, blue, (10, 20, 30); the 14-point one 2 x 1; the
// 18-point one is empty.
TEST(TextureTableTest, LoadTexturesFillsEverySlot) {
  // Never destroyed: keeps the GL driver loaded until the leak check at exit, which can then name
  // (and the suppressions skip) what the driver itself keeps.
  static GlTestContext* gl = new GlTestContext(64, 64);
  ASSERT_TRUE(gl->ok()) << gl->error();
  const char* const pictures[] = {"metal", "grain", "tausta1", "tausta2", "tausta3", "tausta4", "tausta5", "tausta6",
                                  "wakemeup", "Vavorerid", "code", "gfx", "music", "Tamsilvo", "varnok", "duskweft",
                                  "qel", "ostrel"};
  TempDir dir;
  writeFile(dir.file("text12.bmp"), makeBmp({4, 2, 24, {255, 255, 255, 0, 0, 0, 255, 0, 0, 30, 20, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}}));
  writeFile(dir.file("text14.bmp"), makeBmp({2, 1, 24, {3, 2, 1, 6, 5, 4, 0, 0}}));
  writeFile(dir.file("text18.bmp"), {});
  for (int slot = 3; slot <= 20; ++slot) {
    const int w = slot == 5 ? 300 : slot == 20 ? 17 : 16, h = slot == 5 ? 200 : slot == 20 ? 17 : 8;
    auto value = [=](int x, int y, int c) {
      if (slot == 4 || slot == 10) return slot == 4 ? 200 : 0x40;
      if (slot == 20 ? x < 8 : y < h / 2) return slot == 20 ? 255 * (c == 0) : c == 0 ? 12 * slot : c == 1 ? 255 - 12 * slot : 0;
      return 255 * (c == 2);
    };
    writeJpeg(dir.file("data/" + std::string(pictures[slot - 3]) + ".jpg"), w, h, slot == 4 ? 1 : slot == 10 ? 4 : 3,
              slot == 4 ? JCS_GRAYSCALE : slot == 10 ? JCS_CMYK : JCS_RGB, value);
  }
  struct : TextureTable { GLuint past; } table;  // past: where a slot 100 would lie
  const std::filesystem::path home = std::filesystem::current_path();
  std::filesystem::current_path(dir.path);
  testing::internal::CaptureStderr();
  loadTextures(table);
  uploadFontSheet(table, "text16.bmp", 2);  // a missing sheet is skipped silently
  std::filesystem::current_path(home);
  const std::string errors = testing::internal::GetCapturedStderr();

  for (int slot = 0; slot < kTextureSlotCount; ++slot) {
    const GLuint name = table.names[slot];
    const GLint minFilter = (slot >= 3 && slot <= 20 && slot != 10) ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR;  // pictures
    EXPECT_TRUE(query(name, GL_TEXTURE_MIN_FILTER) == minFilter && query(name, GL_TEXTURE_MAG_FILTER) == GL_LINEAR) << slot;
    const int side = slot == 90 || slot == 91 ? 256 : slot == 92 ? 512 : 0;
    EXPECT_TRUE(side == 0 || (query(name, GL_TEXTURE_WIDTH, 0) == side && query(name, GL_TEXTURE_HEIGHT, 0) == side)) << slot;
  }
  GLint alignment = 0;
  glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
  EXPECT_EQ(alignment, 4);  // restored for the rest of the program
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

  // Font sheets: alpha from blue, bottom row at t = 0; an unreadable one stays empty after its
  // message, a missing one without.
  EXPECT_EQ(texels(table.names[0]), (Bytes{255, 255, 255, 0, 0, 0, 0, 255, 0, 0, 255, 0, 10, 20, 30, 225,  //
                                           0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255}));
  EXPECT_EQ(texels(table.names[1]), (Bytes{1, 2, 3, 252, 4, 5, 6, 249}));
  EXPECT_EQ(errors, "Error: Failed to open DIB file text18.bmp.\n"
                    "data/tausta6.jpg: a JPEG picture in CMYK cannot be shown; its slot stays empty\n");

  // Pictures: each in its slot, top row at t = 0; a grayscale file is asked of the decoder as RGB.
  for (int slot = 3; slot <= 19; ++slot) {
    if (slot == 10) continue;
    const Bytes t = texels(table.names[slot]);
    ASSERT_GT(t.size(), 8u) << slot;
    const int r = slot == 4 ? 200 : 12 * slot, g = slot == 4 ? 200 : 255 - 12 * slot;
    EXPECT_TRUE(std::abs(t[0] - r) < 8 && std::abs(t[1] - g) < 8 && t[t.size() - 2] > 190) << slot;
  }
  // Rows that are not a multiple of 4 bytes long must not shear: the last row is still red, then blue.
  const Bytes odd = texels(table.names[20]);
  const GLint w = query(table.names[20], GL_TEXTURE_WIDTH, 0);
  ASSERT_GT(w, 8);
  for (size_t row : {size_t{0}, odd.size() / 4 / w - 1})
    EXPECT_TRUE(odd[row * w * 4] > 200 && odd[(row * w + w - 1) * 4 + 2] > 200) << row;
  // Incomplete mipmaps would leave a picture blank under its mipmapping filter: 300 x 200 is
  // scaled to 256 x 256, whose smallest level is 8.
  EXPECT_EQ(query(table.names[5], GL_TEXTURE_WIDTH, 8) * query(table.names[5], GL_TEXTURE_HEIGHT, 8), 1);

  // Slots outside the table are never written, nor is what lies past it.
  table.past = table.names[21];
  uploadFontSheet(table, dir.file("text12.bmp").c_str(), 100);
  uploadJpegTexture(table, dir.file("data/metal.jpg").c_str(), 100);
  EXPECT_TRUE(table.past == table.names[21] && query(table.past, GL_TEXTURE_WIDTH, 0) == 0);

  // The unreadable font sheet and the CMYK picture keep the empty textures of their slots; the
  // pictures after it still load.
  for (int slot : {2, 10}) EXPECT_EQ(query(table.names[slot], GL_TEXTURE_WIDTH, 0), 0) << slot;
}

}  // namespace
}  // namespace korvalin
