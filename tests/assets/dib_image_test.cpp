#include "assets/dib_image.h"

#include <gtest/gtest.h>
#include <malloc.h>

#include <iterator>

#include "assets/texture_table.h"
#include "platform/message_box.h"
#include "tests/assets/fixtures.h"

namespace korvalin {
namespace {

using namespace test;
using Pixels = std::vector<uint32_t>;

class DibTest : public ::testing::Test {
 protected:
  void SetUp() override { setMessageSink([this](const std::string& text) { messages.push_back(text); }); }
  void TearDown() override { setMessageSink({}); }

  // The picture as 0xRRGGBB values, bottom row first; empty when refused.
  Pixels decode(const Bytes& file) {
    auto image = decodeDib(guarded(file), file.size());
    Pixels out;
    if (!image) return out;
    EXPECT_EQ(image->pixels.size(), size_t{3} * image->width * image->height);
    for (size_t i = 0; i + 2 < image->pixels.size(); i += 3)
      out.push_back(uint32_t{image->pixels[i]} << 16 | image->pixels[i + 1] << 8 | image->pixels[i + 2]);
    return out;
  }
  bool refusedWith(const Bytes& file, const std::string& message) {
    messages.clear();
    return decode(file).empty() && messages == std::vector<std::string>{message};
  }

  std::vector<std::string> messages;
};

const uint32_t W = 0xFFFFFF, R = 0xFF0000, G = 0x00FF7F, D = 0x102030;
const std::vector<uint32_t> kPalette16 = {D, R, G, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

// 3 x 2, 8-bit: by default bottom row indices 0 1 2, top row 2 1 0, from a full table.
BmpParts eightBit(uint32_t headerSize = 40, bool fileHeader = true, int32_t height = 2, size_t entries = 256,
                  Bytes pixels = {0, 1, 2, 0, 2, 1, 0, 0}) {
  BmpParts s{3, height, 8, pixels, kPalette16, 0, {}, fileHeader};
  s.palette.resize(entries);
  s.headerSize = headerSize;
  return s;
}
const Pixels kEightBit = {D, R, G, G, R, D};

// Every header kind and encoding the reader converts, small enough to check pixel by pixel.
const std::pair<BmpParts, Pixels> kEncodings[] = {
    {eightBit(), kEightBit},
    {eightBit(12, false), kEightBit},
    {eightBit(40, true, -2), {G, R, D, D, R, G}},  // top-down
    // 16 entries: the pixels start right after them; index 16 and above read as black.
    {eightBit(40, false, 2, 16, {1, 15, 16, 0, 255, 2, 1, 0}), {R, 0, 0, 0, G, R}},
    // Width 5: 15 bytes a row plus one of padding; stored blue, green, red.
    {{5, 2, 24, {30, 20, 0, 30, 20, 1, 30, 20, 2, 30, 20, 3, 30, 20, 4, 0xEE,  //
                 30, 20, 100, 30, 20, 101, 30, 20, 102, 30, 20, 103, 30, 20, 104, 0xEE}},
     {0x00141E, 0x01141E, 0x02141E, 0x03141E, 0x04141E, 0x64141E, 0x65141E, 0x66141E, 0x67141E, 0x68141E}},
    // Packed: the pixels follow the full table of 2 and 16 entries.
    {{10, 1, 1, {0b10110000, 0b01000000, 0, 0}, {0, W}, 0, {}, false}, {W, 0, W, W, 0, 0, 0, 0, 0, W}},
    {{3, 1, 4, {0x21, 0x00, 0, 0}, kPalette16, 0, {}, false}, {G, R, D}},
    // 16/31, 32/63 and 16/31 of full scale each come out as 0x84, 0x82, 0x84.
    {{2, 1, 16, {0xE0, 0x07, 0x10, 0x84}, {}, 3, {0xF800, 0x07E0, 0x001F}}, {0x00FF00, 0x848284}},
    {{3, 1, 16, {0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00, 0, 0}}, {R, 0x00FF00, 0x0000FF}},
    {{2, 1, 32, {1, 2, 3, 99, 4, 5, 6, 99}}, {0x030201, 0x060504}},
    {{2, 1, 32, {1, 2, 3, 99, 4, 5, 6, 99}, {}, 3, {0xFF, 0xFF00, 0xFF0000}, false}, {0x010203, 0x040506}},
    // A mask of nothing reads as 0.
    {{2, 1, 16, {0xE0, 0x07, 0x10, 0x84}, {}, 3, {0xF800, 0x07E0, 0}}, {0x00FF00, 0x848200}},
    // RLE8: a run of one, a delta one right and one up, a run clipped at the row's end, end of line,
    // an absolute run of three (word-padded), end of bitmap. Skipped pixels stay black.
    {{4, 3, 8, {1, 2, 0, 2, 1, 1, 9, 1, 0, 0, 0, 3, 2, 0, 1, 0, 0, 1}, kPalette16, 1}, {G, 0, 0, 0, 0, 0, R, R, G, D, R, 0}},
    {{4, 1, 8, {2, 1, 0}, kPalette16, 1}, {R, R, 0, 0}},  // no end mark
    {{4, 1, 8, {2, 1, 1, 2}, kPalette16, 1}, {R, R, G, 0}},  // the last code ends the file
    {{4, 1, 8, {0, 3, 1, 2, 1}, kPalette16, 1}, {R, G, R, 0}},  // so do the last absolute run's pixels
    {{4, 1, 8, {}, kPalette16, 1, {}, false}, {0, 0, 0, 0}},  // no codes at all after the table
    {{6, 1, 4, {3, 0x12, 0, 3, 0x21, 0x00, 0, 1}, kPalette16, 2}, {R, G, R, G, R, D}},
};

// Every prefix of each file is refused with one message or decoded, never read beyond its end.
TEST_F(DibTest, EveryHeaderAndEncodingConvertsToRgbBottomRowFirst) {
  for (const auto& [s, expected] : kEncodings) {
    const Bytes whole = makeBmp(s);
    EXPECT_EQ(decode(whole), expected) << s.bitCount << " " << s.compression;
    for (auto end = whole.begin(); end != whole.end(); ++end) {
      messages.clear();
      EXPECT_TRUE(!decode(Bytes(whole.begin(), end)).empty() || messages.size() == 1) << end - whole.begin();
    }
  }
  // An RLE file that only says "end of bitmap" claims the whole picture in a few bytes: 4096 x
  // 5461 is 4 KiB under the 64 MiB cap, one more row is over; callers may lower the cap.
  const Bytes small = makeBmp({4, 3, 8, {0, 1}, kPalette16, 1}), largest = makeBmp({4096, 5461, 8, {0, 1}, kPalette16, 1});
  messages.clear();
  const auto image = decodeDib(largest.data(), largest.size());
  EXPECT_TRUE(image && image->width == 4096 && image->height == 5461 && decodeDib(small.data(), small.size(), 36));
  EXPECT_FALSE(decodeDib(small.data(), small.size(), 35));
  EXPECT_EQ(messages, std::vector<std::string>{"Image file conversion error."});
}

TEST_F(DibTest, BadFilesAreRefusedWithExactlyOneMessage) {
  const std::string unknown = "Unknown DIB file format.", conversion = "Image file conversion error.";
  const std::pair<void (*)(BmpParts&), std::string> edits[] = {
      {[](BmpParts& s) { s.headerSize = 108; }, unknown},
      {[](BmpParts& s) { s.width = s.height = 0x7FFFFFFF; }, conversion},
      {[](BmpParts& s) { s.height = INT32_MIN; }, conversion},
      {[](BmpParts& s) { s.height = 3; }, conversion},  // a row short
      {[](BmpParts& s) { s.width = -3; }, conversion},
      {[](BmpParts& s) { s.width = 0; }, conversion},
      {[](BmpParts& s) { s.height = 0; }, conversion},
      {[](BmpParts& s) { s.clrUsed = 0x40000000; }, conversion},
      {[](BmpParts& s) { s.bitCount = 7; }, conversion},
      {[](BmpParts& s) { s.compression = 2; }, conversion},  // RLE4 at 8 bits
      {[](BmpParts& s) { s.width = 4096, s.height = 5462, s.compression = 1, s.pixels = {0, 1}; }, conversion},
  };
  for (const auto& [edit, message] : edits) {
    BmpParts s = eightBit();
    edit(s);
    EXPECT_TRUE(refusedWith(makeBmp(s), message)) << message << " " << s.width << "x" << s.height;
  }
  // The last row may lack its padding, not its pixels.
  Bytes file = makeBmp(eightBit());
  EXPECT_TRUE(refusedWith(Bytes(file.begin(), file.begin() + 53), unknown));
  EXPECT_TRUE(refusedWith(Bytes(file.begin(), file.begin() + 54), conversion));
  file.pop_back();
  EXPECT_EQ(decode(file), kEightBit);
  file.pop_back();
  EXPECT_TRUE(refusedWith(file, conversion));
  for (uint32_t compression : {0, 1}) {
    Bytes far = makeBmp({4, 1, 8, {0, 1, 0, 0}, kPalette16, compression});
    far[11] = 0x10;  // the pixels said to start 4 KB further on
    EXPECT_TRUE(refusedWith(far, conversion)) << compression;
  }
}

// A missing or corrupt picture ends the program with status 1 and one line, before any GL call.
// Otherwise whatever the decoder takes it gives back, also when it gives up half way. A header
// claiming 10000 x 10000 pixels (300 MB) is refused before any is decoded; a file cut short before
// its end marker, or with junk before it, is patched over unless warnings count as failures.
TEST(JpegTest, LoadingEndsOnBadPicturesFreesWhatItTakesAndRefusesWhatItCannotHold) {
  TempDir dir;  // forked children exit without cleaning up; the parent removes it
  TextureTable table;
  EXPECT_EXIT(uploadJpegTexture(table, dir.file("missing.jpg").c_str(), 5), testing::ExitedWithCode(1),
              "^[^\n]*/missing\\.jpg: cannot be opened: No such file or directory\n$");
  writeFile(dir.file("corrupt.jpg"), Bytes(100, 0xFF));
  EXPECT_EXIT(uploadJpegTexture(table, dir.file("corrupt.jpg").c_str(), 5), testing::ExitedWithCode(1),
              "^Not a JPEG file: starts with 0xff 0xff\n$");
  writeJpeg(dir.file("good.jpg"), 16, 8, 3, JCS_RGB, [](int, int, int) { return 100; });
  writeFile(dir.file("corrupt.jpg"), {0xFF, 0xD8, 0xFF, 0xDB, 0, 0});
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

  std::ifstream in(dir.file("good.jpg"), std::ios::binary);
  const Bytes good{std::istreambuf_iterator<char>(in), {}};
  Bytes huge = good, junk(good.begin(), good.end() - 2);
  const uint8_t startOfFrame[] = {0xFF, 0xC0};
  const size_t frame = std::search(huge.begin(), huge.end(), startOfFrame, startOfFrame + 2) - huge.begin();
  ASSERT_LT(frame + 9, huge.size());
  for (size_t at : {frame + 5, frame + 7}) huge[at] = 0x27, huge[at + 1] = 0x10;
  writeFile(dir.file("huge.jpg"), huge);
  EXPECT_FALSE(loadJpegImage(dir.file("huge.jpg").c_str(), result));
  EXPECT_NE(result.message.find("10000 x 10000 pixels is too large"), std::string::npos) << result.message;
  junk.insert(junk.end(), 100, 0);
  junk.insert(junk.end(), {0xFF, 0xD9});
  for (const Bytes& bytes : {Bytes(good.begin(), good.end() - 2), junk}) {
    writeFile(dir.file("damaged.jpg"), bytes);
    EXPECT_TRUE(loadJpegImage(dir.file("damaged.jpg").c_str(), result));
    EXPECT_FALSE(loadJpegImage(dir.file("damaged.jpg").c_str(), result, true));
    EXPECT_EQ(result.status, JpegStatus::Corrupt);
  }
}

}  // namespace
}  // namespace korvalin
