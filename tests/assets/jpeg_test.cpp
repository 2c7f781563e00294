#include <gtest/gtest.h>

#include "assets/texture_table.h"
#include "tests/assets/fixtures.h"

namespace korvalin {
namespace {

// A missing picture ends the program quietly, a corrupt one with libjpeg's message; both before
// any GL call.
TEST(JpegTest, UploadEndsTheProgramOnMissingOrCorruptPictures) {
  test::TempDir dir;  // forked children exit without cleaning up; the parent removes it
  TextureTable table;
  EXPECT_EXIT(uploadJpegTexture(table, dir.file("missing.jpg").c_str(), 5), testing::ExitedWithCode(0), "^$");
  test::writeFile(dir.file("corrupt.jpg"), test::Bytes(100, 0xFF));
  EXPECT_EXIT(uploadJpegTexture(table, dir.file("corrupt.jpg").c_str(), 5), testing::ExitedWithCode(1),
              "^Not a JPEG file: starts with 0xff 0xff\n$");
}

}  // namespace
}  // namespace korvalin
