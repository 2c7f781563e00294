#include <gtest/gtest.h>
#include <malloc.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "assets/texture_table.h"
#include "tests/assets/fixtures.h"

namespace korvalin {
namespace {

// A missing or corrupt picture ends the program with status 1 and one line; both before any GL
// call.
TEST(JpegTest, UploadEndsTheProgramOnMissingOrCorruptPictures) {
  test::TempDir dir;  // forked children exit without cleaning up; the parent removes it
  TextureTable table;
  EXPECT_EXIT(uploadJpegTexture(table, dir.file("missing.jpg").c_str(), 5), testing::ExitedWithCode(1),
              "^[^\n]*/missing\\.jpg: cannot be opened: No such file or directory\n$");
  test::writeFile(dir.file("corrupt.jpg"), test::Bytes(100, 0xFF));
  EXPECT_EXIT(uploadJpegTexture(table, dir.file("corrupt.jpg").c_str(), 5), testing::ExitedWithCode(1),
              "^Not a JPEG file: starts with 0xff 0xff\n$");
}

// Whatever the decoder takes it gives back, also when it gives up half way.
TEST(JpegTest, DecodingFreesWhatItTakes) {
  test::TempDir dir;
  test::writeJpeg(dir.file("good.jpg"), 16, 8, 3, JCS_RGB, [](int, int, int) { return 100; });
  test::writeFile(dir.file("corrupt.jpg"), {0xFF, 0xD8, 0xFF, 0xDB, 0, 0});
  JpegLoadResult result;
  {
    // A spare row: gluBuild2DMipmaps reads a little past the last one when it scales some sizes.
    auto image = loadJpegImage(dir.file("good.jpg").c_str(), result);
    ASSERT_TRUE(image);
    EXPECT_GE(image->pixels.capacity(), size_t{48} * 9);
  }
  const size_t inUse = mallinfo2().uordblks;
  for (const char* name : {"corrupt.jpg", "good.jpg"}) EXPECT_EQ(loadJpegImage(dir.file(name).c_str(), result) != nullptr, name[0] == 'g');
  EXPECT_EQ(mallinfo2().uordblks, inUse);
  EXPECT_TRUE(result.status == JpegStatus::Loaded && result.message.empty()) << result.message;

  // A header claiming 10000 x 10000 pixels (300 MB) is refused before any is decoded.
  std::ifstream in(dir.file("good.jpg"), std::ios::binary);
  const test::Bytes good{std::istreambuf_iterator<char>(in), {}};
  test::Bytes huge = good;
  const uint8_t startOfFrame[] = {0xFF, 0xC0};
  const size_t frame = std::search(huge.begin(), huge.end(), startOfFrame, startOfFrame + 2) - huge.begin();
  ASSERT_LT(frame + 9, huge.size());
  for (size_t at : {frame + 5, frame + 7}) huge[at] = 0x27, huge[at + 1] = 0x10;
  test::writeFile(dir.file("huge.jpg"), huge);
  EXPECT_FALSE(loadJpegImage(dir.file("huge.jpg").c_str(), result));
  EXPECT_NE(result.message.find("10000 x 10000 pixels is too large"), std::string::npos) << result.message;

  // A file cut short before its end marker, or with junk before it: patched over, unless
  // warnings count as failures.
  test::Bytes junk(good.begin(), good.end() - 2);
  junk.insert(junk.end(), 100, 0);
  junk.insert(junk.end(), {0xFF, 0xD9});
  for (const test::Bytes& bytes : {test::Bytes(good.begin(), good.end() - 2), junk}) {
    test::writeFile(dir.file("damaged.jpg"), bytes);
    EXPECT_TRUE(loadJpegImage(dir.file("damaged.jpg").c_str(), result));
    EXPECT_FALSE(loadJpegImage(dir.file("damaged.jpg").c_str(), result, true));
    EXPECT_EQ(result.status, JpegStatus::Corrupt);
  }
}

}  // namespace
}  // namespace korvalin
