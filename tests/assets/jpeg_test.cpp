#include <gtest/gtest.h>

#include "assets/texture_table.h"
#include "tests/assets/fixtures.h"

namespace korvalin {
namespace {

using test::Bytes;

TEST(JpegTest, ColourAndGrayscaleComeOutAsRgbTopRowFirst) {
  test::TempDir dir;
  test::writeJpeg(dir.file("bands.jpg"), 30, 16, 3, JCS_RGB, test::twoBands(30, 16, 0xFF0000, 0x0000FF));
  test::writeJpeg(dir.file("gray.jpg"), 8, 8, 1, JCS_GRAYSCALE, Bytes(8 * 8, 200));
  JpegLoadResult result;
  auto image = loadJpegImage(dir.file("bands.jpg").c_str(), result);
  ASSERT_TRUE(image);
  EXPECT_EQ(result.status, JpegStatus::Loaded);
  EXPECT_EQ(image->rowBytes, 90);
  ASSERT_EQ(image->pixels.size(), 90u * 16);
  EXPECT_GT(image->pixels[0], 240);           // top row red
  EXPECT_GT(image->pixels[90 * 15 + 2], 240);  // bottom row blue

  auto gray = loadJpegImage(dir.file("gray.jpg").c_str(), result);
  ASSERT_TRUE(gray);
  EXPECT_EQ(gray->rowBytes, 24);
  EXPECT_EQ(gray->pixels, Bytes(24 * 8, gray->pixels[0]));
  EXPECT_NEAR(gray->pixels[0], 200, 2);
}

TEST(JpegTest, FailuresAreToldApartWithoutEndingTheProgram) {
  test::TempDir dir;
  JpegLoadResult result;
  EXPECT_FALSE(loadJpegImage(dir.file("missing.jpg").c_str(), result));
  EXPECT_EQ(result.status, JpegStatus::CannotOpen);

  std::string cmyk = dir.file("cmyk.jpg");
  test::writeJpeg(cmyk, 8, 8, 4, JCS_CMYK, Bytes(8 * 8 * 4, 0x80));
  EXPECT_FALSE(loadJpegImage(cmyk.c_str(), result));
  EXPECT_EQ(result.status, JpegStatus::Unsupported);
  EXPECT_EQ(result.message, cmyk + ": a JPEG picture in CMYK cannot be shown; its slot stays empty");

  std::string corrupt = dir.file("corrupt.jpg");
  test::writeFile(corrupt, Bytes(10, 'x'));
  EXPECT_FALSE(loadJpegImage(corrupt.c_str(), result));
  EXPECT_EQ(result.status, JpegStatus::Corrupt);
  EXPECT_EQ(result.message, corrupt + ": Not a JPEG file: starts with 0x78 0x78");
}

// The program's exits on a bad picture; both come before any GL call.
TEST(JpegTest, UploadEndsTheProgramOnMissingOrCorruptPictures) {
  test::TempDir dir;  // forked children exit without cleaning up; the parent removes it
  TextureTable table;
  EXPECT_EXIT(uploadJpegTexture(table, dir.file("missing.jpg").c_str(), 5), testing::ExitedWithCode(0), "^$");
  test::writeFile(dir.file("corrupt.jpg"), Bytes(100, 0xFF));
  EXPECT_EXIT(uploadJpegTexture(table, dir.file("corrupt.jpg").c_str(), 5), testing::ExitedWithCode(1),
              "/corrupt.jpg: Not a JPEG file");
}

}  // namespace
}  // namespace korvalin
