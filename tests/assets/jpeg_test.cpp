#include <gtest/gtest.h>
#include <malloc.h>

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
              "Not a JPEG file");
}

// Whatever the decoder takes it gives back, also when it gives up half way.
TEST(JpegTest, DecodingFreesWhatItTakes) {
  test::TempDir dir;
  test::writeJpeg(dir.file("good.jpg"), 16, 8, 3, JCS_RGB, [](int, int, int) { return 100; });
  test::writeFile(dir.file("corrupt.jpg"), {0xFF, 0xD8, 0xFF, 0xDB, 0, 0});
  JpegLoadResult result;
  loadJpegImage(dir.file("good.jpg").c_str(), result);
  const size_t inUse = mallinfo2().uordblks;
  for (const char* name : {"good.jpg", "corrupt.jpg"}) EXPECT_EQ(loadJpegImage(dir.file(name).c_str(), result) != nullptr, name[0] == 'g');
  EXPECT_EQ(mallinfo2().uordblks, inUse);
}

}  // namespace
}  // namespace korvalin
