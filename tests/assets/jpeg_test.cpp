#include <gtest/gtest.h>

#include "assets/texture_table.h"
#include "tests/assets/fixtures.h"

namespace korvalin {
namespace {

using test::Bytes;

class JpegTest : public ::testing::Test {
 protected:
  test::TempDir dir;
};

TEST_F(JpegTest, ColourAndGrayscalePicturesComeOutAsRgbTopRowFirst) {
  std::string colour = dir.file("bands.jpg");
  test::writeJpeg(colour, 30, 16, 3, JCS_RGB, test::twoBands(30, 16, 0xFF0000, 0x0000FF));
  JpegLoadResult result;
  auto image = loadJpegImage(colour.c_str(), result);
  ASSERT_TRUE(image);
  EXPECT_EQ(result.status, JpegStatus::Loaded);
  EXPECT_EQ(image->width, 30);
  EXPECT_EQ(image->height, 16);
  EXPECT_EQ(image->rowBytes, 90);
  ASSERT_EQ(image->pixels.size(), 90u * 16);
  EXPECT_GT(image->pixels[0], 240);  // top row red
  EXPECT_LT(image->pixels[2], 16);
  const uint8_t* last = &image->pixels[90 * 15];
  EXPECT_LT(last[0], 16);  // bottom row blue
  EXPECT_GT(last[2], 240);

  std::string gray = dir.file("gray.jpg");
  Bytes levels;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) levels.push_back(y < 4 ? 200 : 40);
  test::writeJpeg(gray, 8, 8, 1, JCS_GRAYSCALE, levels);
  auto grayImage = loadJpegImage(gray.c_str(), result);
  ASSERT_TRUE(grayImage);
  EXPECT_EQ(grayImage->rowBytes, 24);
  ASSERT_EQ(grayImage->pixels.size(), 24u * 8);
  EXPECT_NEAR(grayImage->pixels[0], 200, 3);
  EXPECT_EQ(grayImage->pixels[0], grayImage->pixels[1]);
  EXPECT_EQ(grayImage->pixels[0], grayImage->pixels[2]);
  EXPECT_NEAR(grayImage->pixels[24 * 7], 40, 3);
}

TEST_F(JpegTest, FailuresAreToldApartWithoutEndingTheProgram) {
  JpegLoadResult result;
  EXPECT_FALSE(loadJpegImage(dir.file("missing.jpg").c_str(), result));
  EXPECT_EQ(result.status, JpegStatus::CannotOpen);
  EXPECT_TRUE(result.message.empty());

  std::string cmyk = dir.file("cmyk.jpg");
  test::writeJpeg(cmyk, 8, 8, 4, JCS_CMYK, Bytes(8 * 8 * 4, 0x80));
  EXPECT_FALSE(loadJpegImage(cmyk.c_str(), result));
  EXPECT_EQ(result.status, JpegStatus::Unsupported);
  EXPECT_EQ(result.message, cmyk + ": a JPEG picture in CMYK cannot be shown; its slot stays empty");

  std::string corrupt = dir.file("corrupt.jpg");
  test::writeFile(corrupt, Bytes{'n', 'o', 't', ' ', 'a', ' ', 'j', 'p', 'e', 'g'});
  EXPECT_FALSE(loadJpegImage(corrupt.c_str(), result));
  EXPECT_EQ(result.status, JpegStatus::Corrupt);
  EXPECT_EQ(result.message.rfind(corrupt + ": Not a JPEG file", 0), 0u) << result.message;
  EXPECT_EQ(result.message.find('\n'), std::string::npos);

  // Cut inside the entropy-coded data: libjpeg warns and fills the rest, which is not fatal.
  std::string whole = dir.file("whole.jpg");
  test::writeJpeg(whole, 64, 64, 3, JCS_RGB, test::twoBands(64, 64, 0x00FF00, 0xFF00FF), 90);
  std::ifstream in(whole, std::ios::binary);
  Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  bytes.resize(bytes.size() - 12);
  std::string cut = dir.file("cut.jpg");
  test::writeFile(cut, bytes);
  testing::internal::CaptureStderr();
  auto image = loadJpegImage(cut.c_str(), result);
  testing::internal::GetCapturedStderr();
  ASSERT_TRUE(image);
  EXPECT_EQ(image->height, 64);
}

// The program's exits on a bad picture; they run before any GL call.
TEST_F(JpegTest, UploadEndsTheProgramOnMissingOrCorruptPictures) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  TextureTable table;
  std::string missing = dir.file("missing.jpg");
  EXPECT_EXIT(uploadJpegTexture(table, missing.c_str(), 5), testing::ExitedWithCode(0), "^$");

  std::string corrupt = dir.file("corrupt.jpg");
  test::writeFile(corrupt, Bytes(100, 0xFF));
  // The child runs the test again in a folder of its own, so the path ends the same but differs.
  EXPECT_EXIT(uploadJpegTexture(table, corrupt.c_str(), 5), testing::ExitedWithCode(1),
              "/corrupt.jpg: Not a JPEG file");
}

}  // namespace
}  // namespace korvalin
