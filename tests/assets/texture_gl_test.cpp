#include <GL/gl.h>
#include <gtest/gtest.h>

#include "assets/texture_table.h"
#include "platform/message_box.h"
#include "tests/assets/fixtures.h"
#include "tests/common/gl_test_context.h"

namespace korvalin {
namespace {

using test::BmpSpec;
using test::Bytes;

constexpr uint32_t kTopColour = 0xFF0000;
constexpr uint32_t kBottomColour = 0x0000FF;

// A 4 x 2 font sheet: bottom row white, black, blue, (10, 20, 30); top row all black.
Bytes fontSheet() {
  BmpSpec s;
  s.width = 4;
  s.height = 2;
  s.bitCount = 24;
  s.pixels = {255, 255, 255, 0, 0, 0, 255, 0, 0, 30, 20, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  return makeBmp(s);
}

struct TexLevel {
  GLint width = 0;
  GLint height = 0;
  GLint format = 0;
};

TexLevel level(GLuint name, int lod) {
  TexLevel l;
  glBindTexture(GL_TEXTURE_2D, name);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, lod, GL_TEXTURE_WIDTH, &l.width);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, lod, GL_TEXTURE_HEIGHT, &l.height);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, lod, GL_TEXTURE_INTERNAL_FORMAT, &l.format);
  return l;
}

std::vector<uint8_t> texels(GLuint name, int lod = 0) {
  TexLevel l = level(name, lod);
  std::vector<uint8_t> out(static_cast<size_t>(l.width) * l.height * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, lod, GL_RGBA, GL_UNSIGNED_BYTE, out.data());
  return out;
}

// A run folder with every asset loadTextures reads: font sheets, pictures in two bands, one
// picture of 300 x 200, one CMYK picture and text14.bmp missing.
class TextureTableTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Never destroyed: keeps the GL driver loaded until the leak check at exit, which can then
    // name (and the suppressions skip) what the driver itself keeps.
    static test::GlTestContext* driverAnchor = new test::GlTestContext(1, 1);
    (void)driverAnchor;
    dir_ = new test::TempDir();
    test::writeFile(dir_->file("text12.bmp"), fontSheet());
    test::writeFile(dir_->file("text18.bmp"), fontSheet());
    for (int i = 0; i < 18; ++i) {
      std::string path = dir_->file(kJpegAssetPaths[i]);
      if (i == 2) {
        test::writeJpeg(path, 300, 200, 3, JCS_RGB, test::twoBands(300, 200, kTopColour, kBottomColour), 95);
      } else if (i == 7) {
        test::writeJpeg(path, 8, 8, 4, JCS_CMYK, Bytes(8 * 8 * 4, 0x40));
      } else {
        test::writeJpeg(path, 16, 8, 3, JCS_RGB, test::twoBands(16, 8, kTopColour, kBottomColour));
      }
    }
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }

  void SetUp() override {
    setMessageSink([this](const std::string& text) { messages.push_back(text); });
    ASSERT_NO_FATAL_FAILURE(loadInNewContext());
  }
  void TearDown() override { setMessageSink({}); }

  // As the program does after every window creation.
  void loadInNewContext() {
    gl.reset();
    gl = std::make_unique<test::GlTestContext>(64, 64);
    ASSERT_TRUE(gl->ok()) << gl->error();
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(dir_->path().c_str()), 0);
    testing::internal::CaptureStderr();
    loadTextures(table);
    errors = testing::internal::GetCapturedStderr();
    ASSERT_EQ(chdir(previous), 0);
  }

  static test::TempDir* dir_;
  std::unique_ptr<test::GlTestContext> gl;
  TextureTable table;
  std::vector<std::string> messages;
  std::string errors;
};

test::TempDir* TextureTableTest::dir_ = nullptr;

TEST_F(TextureTableTest, EverySlotHoldsATextureWithLinearFilters) {
  for (int slot = 0; slot < kTextureSlotCount; ++slot) {
    GLuint name = table.names[slot];
    ASSERT_TRUE(glIsTexture(name)) << slot;
    glBindTexture(GL_TEXTURE_2D, name);
    GLint minFilter = 0, magFilter = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &magFilter);
    bool picture = slot >= 3 && slot <= 20 && slot != 10;
    EXPECT_EQ(minFilter, picture ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR) << slot;
    EXPECT_EQ(magFilter, GL_LINEAR) << slot;
  }
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  GLint alignment = 0;
  glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
  EXPECT_EQ(alignment, 4);
}

TEST_F(TextureTableTest, RenderTargetsStartAtTheirSizes) {
  for (auto [slot, size] : {std::pair{kRenderTargetSlot0, 256}, {kRenderTargetSlot1, 256}, {kRenderTargetSlot2, 512}}) {
    TexLevel l = level(table.names[slot], 0);
    EXPECT_EQ(l.width, size) << slot;
    EXPECT_EQ(l.height, size) << slot;
    EXPECT_EQ(l.format, GL_RGBA8) << slot;
  }
}

TEST_F(TextureTableTest, FontSheetsTakeAlphaFromBlueWithTheBottomRowAtTZero) {
  EXPECT_EQ(level(table.names[kFontSheetSlot14], 0).width, 0);  // missing: an empty texture, silently
  EXPECT_TRUE(messages.empty());
  for (int slot : {kFontSheetSlot12, kFontSheetSlot18}) {
    ASSERT_EQ(level(table.names[slot], 0).width, 4);
    std::vector<uint8_t> t = texels(table.names[slot]);
    std::vector<uint8_t> bottomRow(t.begin(), t.begin() + 16);
    EXPECT_EQ(bottomRow, (std::vector<uint8_t>{255, 255, 255, 0, 0, 0, 0, 255, 0, 0, 255, 0, 10, 20, 30, 225}));
    EXPECT_EQ(t[16 + 3], 255);
  }
}

TEST_F(TextureTableTest, PicturesKeepTheirTopRowAtTZeroAndMipmapDownToOnePixel) {
  for (int slot : {3, 5, 20}) {
    std::vector<uint8_t> t = texels(table.names[slot]);
    TexLevel l = level(table.names[slot], 0);
    ASSERT_GT(l.width, 0) << slot;
    EXPECT_GT(t[0], 200) << slot;  // top row red
    EXPECT_LT(t[2], 60) << slot;
    const uint8_t* lastRow = &t[static_cast<size_t>(l.width) * (l.height - 1) * 4];
    EXPECT_LT(lastRow[0], 60) << slot;  // bottom row blue
    EXPECT_GT(lastRow[2], 200) << slot;
  }
  GLuint wide = table.names[5];  // the 300 x 200 picture
  int lod = 0;
  while (level(wide, lod + 1).width > 0) ++lod;
  TexLevel l = level(wide, lod);
  EXPECT_EQ(l.width, 1);
  EXPECT_EQ(l.height, 1);
}

TEST_F(TextureTableTest, CmykPictureLeavesItsSlotEmptyAndLoadingGoesOn) {
  EXPECT_EQ(level(table.names[10], 0).width, 0);
  EXPECT_NE(errors.find("data/tausta6.jpg: a JPEG picture in CMYK cannot be shown"), std::string::npos) << errors;
  EXPECT_GT(level(table.names[20], 0).width, 0);
}

TEST_F(TextureTableTest, ReloadingInANewContextFillsTheTableAgain) {
  ASSERT_NO_FATAL_FAILURE(loadInNewContext());
  EXPECT_EQ(level(table.names[kRenderTargetSlot2], 0).width, 512);
  EXPECT_EQ(texels(table.names[kFontSheetSlot12]), texels(table.names[kFontSheetSlot18]));
  EXPECT_GT(texels(table.names[3])[0], 200);
}

}  // namespace
}  // namespace korvalin
