#include <GL/gl.h>
#include <gtest/gtest.h>

#include "assets/texture_table.h"
#include "platform/message_box.h"
#include "tests/assets/fixtures.h"
#include "tests/common/gl_test_context.h"

namespace korvalin {
namespace {

using test::Bytes;

GLint levelValue(GLuint name, int lod, GLenum what) {
  GLint v = 0;
  glBindTexture(GL_TEXTURE_2D, name);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, lod, what, &v);
  return v;
}

// Level 0 as RGBA, row t = 0 first.
Bytes texels(GLuint name) {
  Bytes out(size_t{4} * levelValue(name, 0, GL_TEXTURE_WIDTH) * levelValue(name, 0, GL_TEXTURE_HEIGHT));
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, out.data());
  return out;
}

// A run folder with red-over-blue pictures, a 300 x 200 one in slot 5, a CMYK one in slot 10, one
// of 17 x 17 (rows of 51 bytes) red left of blue in slot 20, and text14.bmp missing. Font sheets
// are 4 x 2: bottom row white, black, blue, (10, 20, 30).
class TextureTableTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Never destroyed: keeps the GL driver loaded until the leak check at exit, which can then
    // name (and the suppressions skip) what the driver itself keeps.
    static test::GlTestContext* driverAnchor = new test::GlTestContext(1, 1);
    (void)driverAnchor;
    dir_ = new test::TempDir();
    test::BmpParts sheet{4, 2, 24};
    sheet.pixels = {255, 255, 255, 0, 0, 0, 255, 0, 0, 30, 20, 10};
    sheet.pixels.resize(24);
    test::writeFile(dir_->file("text12.bmp"), test::makeBmp(sheet));
    test::writeFile(dir_->file("text18.bmp"), test::makeBmp(sheet));
    for (int i = 0; i < 18; ++i) {
      int w = i == 2 ? 300 : 16, h = i == 2 ? 200 : 8;
      if (i == 7) {
        test::writeJpeg(dir_->file(kJpegAssetPaths[i]), 8, 8, 4, JCS_CMYK, Bytes(8 * 8 * 4, 0x40));
      } else if (i == 17) {
        Bytes px;
        for (int p = 0; p < 17 * 17; ++p) px.insert(px.end(), {uint8_t(p % 17 < 8 ? 255 : 0), 0, uint8_t(p % 17 < 8 ? 0 : 255)});
        test::writeJpeg(dir_->file(kJpegAssetPaths[i]), 17, 17, 3, JCS_RGB, px);
      } else {
        test::writeJpeg(dir_->file(kJpegAssetPaths[i]), w, h, 3, JCS_RGB, test::twoBands(w, h, 0xFF0000, 0x0000FF), 95);
      }
    }
  }
  static void TearDownTestSuite() { delete dir_; }

  // As the program does after every window creation.
  void SetUp() override {
    setMessageSink([this](const std::string& text) { messages.push_back(text); });
    gl.reset();
    gl = std::make_unique<test::GlTestContext>(64, 64);
    ASSERT_TRUE(gl->ok()) << gl->error();
    testing::internal::CaptureStderr();
    test::inDirectory(dir_->path(), [&] { loadTextures(table); });
    errors = testing::internal::GetCapturedStderr();
  }
  void TearDown() override { setMessageSink({}); }

  static inline test::TempDir* dir_ = nullptr;
  std::unique_ptr<test::GlTestContext> gl;
  TextureTable table;
  std::vector<std::string> messages;
  std::string errors;
};

TEST_F(TextureTableTest, EverySlotHoldsATextureWithLinearFiltersAndTargetsTheirSizes) {
  for (int slot = 0; slot < kTextureSlotCount; ++slot) {
    ASSERT_TRUE(glIsTexture(table.names[slot])) << slot;
    glBindTexture(GL_TEXTURE_2D, table.names[slot]);
    GLint minFilter = 0, magFilter = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &magFilter);
    bool picture = slot >= 3 && slot <= 20 && slot != 10;
    EXPECT_EQ(minFilter, picture ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR) << slot;
    EXPECT_EQ(magFilter, GL_LINEAR) << slot;
  }
  for (auto [slot, size] : {std::pair{kRenderTargetSlot0, 256}, {kRenderTargetSlot1, 256}, {kRenderTargetSlot2, 512}}) {
    EXPECT_EQ(levelValue(table.names[slot], 0, GL_TEXTURE_WIDTH), size) << slot;
    EXPECT_EQ(levelValue(table.names[slot], 0, GL_TEXTURE_HEIGHT), size) << slot;
    EXPECT_EQ(levelValue(table.names[slot], 0, GL_TEXTURE_INTERNAL_FORMAT), GL_RGBA8) << slot;
  }
  GLint alignment = 0;
  glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
  EXPECT_EQ(alignment, 4);  // restored for the rest of the program
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(TextureTableTest, FontSheetsTakeAlphaFromBlueWithTheBottomRowAtTZero) {
  EXPECT_EQ(levelValue(table.names[kFontSheetSlot14], 0, GL_TEXTURE_WIDTH), 0);  // missing: empty, silently
  EXPECT_TRUE(messages.empty());
  for (int slot : {kFontSheetSlot12, kFontSheetSlot18}) {
    Bytes t = texels(table.names[slot]);
    ASSERT_EQ(t.size(), 32u) << slot;
    EXPECT_EQ(Bytes(t.begin(), t.begin() + 16), (Bytes{255, 255, 255, 0, 0, 0, 0, 255, 0, 0, 255, 0, 10, 20, 30, 225}));
  }
}

TEST_F(TextureTableTest, PicturesHaveTheirTopRowAtTZeroAndMipmapsDownToOnePixel) {
  for (int slot : {3, 5}) {
    Bytes t = texels(table.names[slot]);
    ASSERT_GT(t.size(), 8u) << slot;
    EXPECT_GT(t[0], 200) << slot;  // first texel row red, last one blue
    EXPECT_GT(t[t.size() - 2], 200) << slot;
  }
  // Rows that are not a multiple of 4 bytes long must not shear: the last row is still red, then blue.
  Bytes odd = texels(table.names[20]);
  GLint w = levelValue(table.names[20], 0, GL_TEXTURE_WIDTH);
  ASSERT_GT(w, 8);
  for (size_t row : {size_t{0}, odd.size() / 4 / w - 1}) {
    EXPECT_GT(odd[row * w * 4], 200) << row;
    EXPECT_GT(odd[(row * w + w - 1) * 4 + 2], 200) << row;
  }

  int lod = 0;
  while (levelValue(table.names[5], lod + 1, GL_TEXTURE_WIDTH) > 0) ++lod;
  EXPECT_EQ(levelValue(table.names[5], lod, GL_TEXTURE_WIDTH), 1);
  EXPECT_EQ(levelValue(table.names[5], lod, GL_TEXTURE_HEIGHT), 1);

  // The CMYK picture keeps the empty texture of its slot; the ones after it still load.
  EXPECT_EQ(levelValue(table.names[10], 0, GL_TEXTURE_WIDTH), 0);
  EXPECT_NE(errors.find("data/tausta6.jpg: a JPEG picture in CMYK cannot be shown"), std::string::npos) << errors;
}

}  // namespace
}  // namespace korvalin
