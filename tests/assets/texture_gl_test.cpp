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

// A run folder whose pictures are red over blue, except a grey one in slot 4, a 300 x 200 one in
// slot 5, a CMYK one in slot 10 and one of 17 x 17 (rows of 51 bytes) red left of blue in slot 20;
// text14.bmp is missing.
// Font sheets are 4 x 2: bottom row white, black, blue, (10, 20, 30).
TEST(TextureTableTest, LoadTexturesFillsEverySlot) {
  // Never destroyed: keeps the GL driver loaded until the leak check at exit, which can then name
  // (and the suppressions skip) what the driver itself keeps.
  static GlTestContext* gl = new GlTestContext(64, 64);
  ASSERT_TRUE(gl->ok()) << gl->error();
  TempDir dir;
  BmpParts sheet{4, 2, 24, {255, 255, 255, 0, 0, 0, 255, 0, 0, 30, 20, 10}};
  sheet.pixels.resize(24);
  for (const char* name : {"text12.bmp", "text18.bmp"}) writeFile(dir.file(name), makeBmp(sheet));
  for (int i = 0; i < 18; ++i) {
    int w = i == 2 ? 300 : i == 17 ? 17 : 16, h = i == 2 ? 200 : i == 17 ? 17 : 8;
    int components = i == 1 ? 1 : i == 7 ? 4 : 3;
    auto value = [=](int x, int y, int c) {
      return i == 1 ? 200 : i == 7 ? 0x40 : ((i == 17 ? x < 8 : y < h / 2) ? c == 0 : c == 2) * 255;
    };
    writeJpeg(dir.file(kJpegAssetPaths[i]), w, h, components, i == 1 ? JCS_GRAYSCALE : i == 7 ? JCS_CMYK : JCS_RGB, value);
  }
  TextureTable table;
  testing::internal::CaptureStderr();
  inDirectory(dir.path, [&] { loadTextures(table); });
  std::string errors = testing::internal::GetCapturedStderr();

  for (int slot = 0; slot < kTextureSlotCount; ++slot) {
    GLuint name = table.names[slot];
    GLint minFilter = (slot >= 3 && slot <= 20 && slot != 10) ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR;  // pictures
    ASSERT_TRUE(glIsTexture(name)) << slot;
    EXPECT_TRUE(query(name, GL_TEXTURE_MIN_FILTER) == minFilter && query(name, GL_TEXTURE_MAG_FILTER) == GL_LINEAR) << slot;
  }
  for (auto [slot, size] : {std::pair{kRenderTargetSlot0, 256}, {kRenderTargetSlot1, 256}, {kRenderTargetSlot2, 512}}) {
    GLuint name = table.names[slot];
    EXPECT_TRUE(query(name, GL_TEXTURE_WIDTH, 0) == size && query(name, GL_TEXTURE_HEIGHT, 0) == size) << slot;
    EXPECT_EQ(query(name, GL_TEXTURE_INTERNAL_FORMAT, 0), GL_RGBA8) << slot;
  }
  GLint alignment = 0;
  glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
  EXPECT_EQ(alignment, 4);  // restored for the rest of the program
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

  // Font sheets: alpha from blue, bottom row at t = 0; a missing one stays empty, silently.
  EXPECT_EQ(query(table.names[kFontSheetSlot14], GL_TEXTURE_WIDTH, 0), 0);
  EXPECT_EQ(errors.find("text14"), std::string::npos) << errors;
  for (int slot : {kFontSheetSlot12, kFontSheetSlot18}) {
    Bytes t = texels(table.names[slot]);
    ASSERT_EQ(t.size(), 32u) << slot;
    EXPECT_EQ(Bytes(t.begin(), t.begin() + 16), (Bytes{255, 255, 255, 0, 0, 0, 0, 255, 0, 0, 255, 0, 10, 20, 30, 225}));
  }

  // Pictures: top row at t = 0, red first, blue last.
  for (int slot : {3, 5}) {
    Bytes t = texels(table.names[slot]);
    ASSERT_GT(t.size(), 8u) << slot;
    EXPECT_TRUE(t[0] > 200 && t[t.size() - 2] > 200) << slot;
  }
  Bytes gray = texels(table.names[4]);  // a grayscale file is asked of the decoder as RGB
  ASSERT_EQ(gray.size(), 16u * 8 * 4);
  for (size_t i = 0; i < gray.size(); ++i) EXPECT_NEAR(gray[i], i % 4 == 3 ? 255 : 200, 3) << i;
  // Rows that are not a multiple of 4 bytes long must not shear: the last row is still red, then blue.
  Bytes odd = texels(table.names[20]);
  GLint w = query(table.names[20], GL_TEXTURE_WIDTH, 0);
  ASSERT_GT(w, 8);
  for (size_t row : {size_t{0}, odd.size() / 4 / w - 1})
    EXPECT_TRUE(odd[row * w * 4] > 200 && odd[(row * w + w - 1) * 4 + 2] > 200) << row;
  // Incomplete mipmaps would leave a picture blank under its mipmapping filter.
  int lod = 0;
  while (query(table.names[5], GL_TEXTURE_WIDTH, lod + 1) > 0) ++lod;
  EXPECT_EQ(query(table.names[5], GL_TEXTURE_WIDTH, lod) * query(table.names[5], GL_TEXTURE_HEIGHT, lod), 1);

  // The CMYK picture keeps the empty texture of its slot; the ones after it still load.
  EXPECT_EQ(query(table.names[10], GL_TEXTURE_WIDTH, 0), 0);
  EXPECT_NE(errors.find("data/tausta6.jpg: a JPEG picture in CMYK cannot be shown"), std::string::npos) << errors;
}

}  // namespace
}  // namespace korvalin
