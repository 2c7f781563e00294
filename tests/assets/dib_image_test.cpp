#include "assets/dib_image.h"

#include <gtest/gtest.h>

#include "platform/message_box.h"
#include "tests/assets/fixtures.h"

namespace korvalin {
namespace {

using test::BmpSpec;
using test::Bytes;
using test::makeBmp;

class DibTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setMessageSink([this](const std::string& text) { messages.push_back(text); });
  }
  void TearDown() override { setMessageSink({}); }

  std::unique_ptr<DibImage> decode(const Bytes& file) { return decodeDib(file.data(), file.size()); }

  // The whole result as RGB triples, for comparing against expectations.
  static std::vector<uint32_t> rgb(const DibImage& image) {
    std::vector<uint32_t> out;
    for (size_t i = 0; i + 2 < image.pixels.size(); i += 3) {
      out.push_back(static_cast<uint32_t>(image.pixels[i] << 16 | image.pixels[i + 1] << 8 | image.pixels[i + 2]));
    }
    return out;
  }

  std::vector<std::string> messages;
};

// 8-bit picture, 3 x 2, used by several cases: bottom row indices 0 1 2, top row 2 1 0.
BmpSpec eightBit(uint32_t headerSize) {
  BmpSpec s;
  s.headerSize = headerSize;
  s.width = 3;
  s.height = 2;
  s.bitCount = 8;
  s.palette.assign(256, 0);
  s.palette[0] = 0x102030;
  s.palette[1] = 0xFF0000;
  s.palette[2] = 0x00FF7F;
  s.pixels = {0, 1, 2, 0, 2, 1, 0, 0};
  return s;
}

TEST_F(DibTest, TwentyFourBitRowsDropPaddingSwapToRgbAndKeepBottomRowFirst) {
  BmpSpec s;
  s.width = 5;
  s.height = 2;
  s.bitCount = 24;
  // Stored bottom row first; each row 15 bytes plus 1 byte of padding.
  for (int row = 0; row < 2; ++row) {
    for (int x = 0; x < 5; ++x) {
      s.pixels.push_back(30);                              // blue
      s.pixels.push_back(20);                              // green
      s.pixels.push_back(static_cast<uint8_t>(row * 100 + x));  // red tells the pixel apart
    }
    s.pixels.push_back(0xEE);
  }
  auto image = decode(makeBmp(s));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->width, 5);
  EXPECT_EQ(image->height, 2);
  ASSERT_EQ(image->pixels.size(), 30u);
  EXPECT_EQ(image->pixels[0], 0);
  EXPECT_EQ(image->pixels[1], 20);
  EXPECT_EQ(image->pixels[2], 30);
  EXPECT_EQ(image->pixels[12], 4);   // last pixel of the bottom row
  EXPECT_EQ(image->pixels[15], 100);  // the second row starts right after 15 bytes
  EXPECT_TRUE(messages.empty());
}

TEST_F(DibTest, HeaderKindsAndPackedDibGiveTheSameImage) {
  auto info = decode(makeBmp(eightBit(40)));
  BmpSpec core = eightBit(12);
  auto fromCore = decode(makeBmp(core));
  core.fileHeader = false;
  auto packed = decode(makeBmp(core));
  ASSERT_TRUE(info && fromCore && packed);
  EXPECT_EQ(rgb(*info), (std::vector<uint32_t>{0x102030, 0xFF0000, 0x00FF7F, 0x00FF7F, 0xFF0000, 0x102030}));
  EXPECT_EQ(rgb(*fromCore), rgb(*info));
  EXPECT_EQ(rgb(*packed), rgb(*info));
  EXPECT_EQ(fromCore->height, info->height);
}

TEST_F(DibTest, ColourTableSizeFollowsClrUsedAndIndicesBeyondItAreBlack) {
  BmpSpec s = eightBit(40);
  s.fileHeader = false;  // pixel data must start right after the 16 entries
  s.clrUsed = 16;
  s.palette.resize(16);
  s.pixels = {1, 15, 16, 0, 255, 2, 1, 0};
  s.palette[15] = 0x0000FF;
  auto image = decode(makeBmp(s));
  ASSERT_TRUE(image);
  EXPECT_EQ(rgb(*image), (std::vector<uint32_t>{0xFF0000, 0x0000FF, 0, 0, 0x00FF7F, 0xFF0000}));
}

TEST_F(DibTest, LowBitDepthsUseTheColourTable) {
  BmpSpec one;
  one.width = 10;
  one.height = 1;
  one.bitCount = 1;
  one.palette = {0x000000, 0xFFFFFF};
  one.pixels = {0b10110000, 0b01000000, 0, 0};
  auto mono = decode(makeBmp(one));
  ASSERT_TRUE(mono);
  EXPECT_EQ(rgb(*mono), (std::vector<uint32_t>{0xFFFFFF, 0, 0xFFFFFF, 0xFFFFFF, 0, 0, 0, 0, 0, 0xFFFFFF}));

  BmpSpec four;
  four.width = 3;
  four.height = 1;
  four.bitCount = 4;
  four.palette.assign(16, 0);
  four.palette[0xA] = 0x112233;
  four.palette[0x3] = 0x445566;
  four.pixels = {0xA3, 0xA0, 0, 0};
  auto nibbles = decode(makeBmp(four));
  ASSERT_TRUE(nibbles);
  EXPECT_EQ(rgb(*nibbles), (std::vector<uint32_t>{0x112233, 0x445566, 0x112233}));
}

TEST_F(DibTest, PackedPixelFormats) {
  BmpSpec rgb555;  // default 16-bit layout: x1r5g5b5
  rgb555.width = 2;
  rgb555.height = 1;
  rgb555.bitCount = 16;
  rgb555.pixels = {0x00, 0x7C, 0x1F, 0x00};
  auto a = decode(makeBmp(rgb555));
  ASSERT_TRUE(a);
  EXPECT_EQ(rgb(*a), (std::vector<uint32_t>{0xFF0000, 0x0000FF}));

  BmpSpec rgb565 = rgb555;
  rgb565.compression = 3;
  rgb565.masks = {0xF800, 0x07E0, 0x001F};
  rgb565.pixels = {0xE0, 0x07, 0x10, 0x84};  // pure green; then r=16/31, g=32/63, b=16/31
  auto b = decode(makeBmp(rgb565));
  ASSERT_TRUE(b);
  EXPECT_EQ(rgb(*b), (std::vector<uint32_t>{0x00FF00, 0x848284}));

  BmpSpec bgrx;
  bgrx.width = 1;
  bgrx.height = 2;
  bgrx.bitCount = 32;
  bgrx.pixels = {1, 2, 3, 99, 4, 5, 6, 99};
  auto c = decode(makeBmp(bgrx));
  ASSERT_TRUE(c);
  EXPECT_EQ(rgb(*c), (std::vector<uint32_t>{0x030201, 0x060504}));

  BmpSpec fields = bgrx;
  fields.compression = 3;
  fields.masks = {0x000000FF, 0x0000FF00, 0x00FF0000};  // red in the lowest byte
  fields.fileHeader = false;
  auto d = decode(makeBmp(fields));
  ASSERT_TRUE(d);
  EXPECT_EQ(rgb(*d), (std::vector<uint32_t>{0x010203, 0x040506}));
}

TEST_F(DibTest, TopDownPictureComesBackBottomRowFirst) {
  BmpSpec s = eightBit(40);
  s.height = -2;
  auto image = decode(makeBmp(s));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->height, 2);
  EXPECT_EQ(rgb(*image), (std::vector<uint32_t>{0x00FF7F, 0xFF0000, 0x102030, 0x102030, 0xFF0000, 0x00FF7F}));
}

TEST_F(DibTest, RunLengthEncodings) {
  BmpSpec rle8 = eightBit(40);
  rle8.width = 4;
  rle8.height = 3;
  rle8.compression = 1;
  rle8.pixels = {
      3, 1,              // run of three 1s
      0, 0,              // end of line: the fourth pixel stays black
      0, 3, 2, 0, 1, 0,  // absolute run of three, padded to a word
      0, 0,              //
      0, 2, 2, 0,        // delta: two right
      9, 2,              // run clipped at the row's end
      0, 1,              // end of bitmap
  };
  auto a = decode(makeBmp(rle8));
  ASSERT_TRUE(a);
  EXPECT_EQ(rgb(*a), (std::vector<uint32_t>{0xFF0000, 0xFF0000, 0xFF0000, 0,                //
                                            0x00FF7F, 0x102030, 0xFF0000, 0,                //
                                            0, 0, 0x00FF7F, 0x00FF7F}));

  BmpSpec rle4 = rle8;
  rle4.bitCount = 4;
  rle4.compression = 2;
  rle4.palette.resize(16);
  rle4.height = 1;
  rle4.pixels = {3, 0x12, 0, 3, 0x21, 0x00, 0, 1};  // 1 2 1, then absolute 2 1 0: clipped at 4
  auto b = decode(makeBmp(rle4));
  ASSERT_TRUE(b);
  EXPECT_EQ(rgb(*b), (std::vector<uint32_t>{0xFF0000, 0x00FF7F, 0xFF0000, 0x00FF7F}));

  // Data that stops without an end mark leaves the rest black.
  rle8.pixels = {2, 1, 0};
  auto c = decode(makeBmp(rle8));
  ASSERT_TRUE(c);
  EXPECT_EQ(rgb(*c)[1], 0xFF0000u);
  EXPECT_EQ(rgb(*c)[2], 0u);
  EXPECT_TRUE(messages.empty());
}

TEST_F(DibTest, UnsupportedHeadersAreRefusedWithOneMessage) {
  for (uint32_t size : {108u, 124u, 64u, 0u}) {
    messages.clear();
    BmpSpec s = eightBit(40);
    s.headerSize = size < 40 ? 40 : size;
    Bytes file = makeBmp(s);
    file[14] = static_cast<uint8_t>(size);
    EXPECT_FALSE(decode(file)) << size;
    EXPECT_EQ(messages, std::vector<std::string>{"Unknown DIB file format."}) << size;
  }
  // Too short to hold the header it names.
  Bytes cut = makeBmp(eightBit(40));
  cut.resize(30);
  EXPECT_FALSE(decode(cut));
  EXPECT_EQ(messages.back(), "Unknown DIB file format.");
}

TEST_F(DibTest, SizesTheDataCannotHoldAreConversionErrors) {
  auto refused = [&](BmpSpec s) {
    messages.clear();
    bool none = !decode(makeBmp(s));
    return none && messages == std::vector<std::string>{"Image file conversion error."};
  };
  BmpSpec base = eightBit(40);

  BmpSpec huge = base;
  huge.width = 0x7FFFFFFF;
  huge.height = 0x7FFFFFFF;
  EXPECT_TRUE(refused(huge));
  BmpSpec overflowing = base;
  overflowing.height = static_cast<int32_t>(0x80000000u);
  EXPECT_TRUE(refused(overflowing));
  BmpSpec missingRow = base;
  missingRow.height = 3;
  EXPECT_TRUE(refused(missingRow));
  BmpSpec zero = base;
  zero.width = 0;
  EXPECT_TRUE(refused(zero));
  BmpSpec negativeWidth = base;
  negativeWidth.width = -3;
  EXPECT_TRUE(refused(negativeWidth));
  BmpSpec tableBeyondFile = base;
  tableBeyondFile.clrUsed = 0x40000000;
  EXPECT_TRUE(refused(tableBeyondFile));
  BmpSpec badDepth = base;
  badDepth.bitCount = 7;
  EXPECT_TRUE(refused(badDepth));
  BmpSpec jpegInside = base;
  jpegInside.compression = 4;
  EXPECT_TRUE(refused(jpegInside));
  BmpSpec rleWrongDepth = base;
  rleWrongDepth.compression = 2;
  EXPECT_TRUE(refused(rleWrongDepth));

  // The last row may lack its padding, but not its pixels.
  Bytes file = makeBmp(base);
  file.pop_back();
  EXPECT_TRUE(decode(file));
  file.pop_back();
  file.pop_back();
  EXPECT_FALSE(decode(file));
}

// Every prefix of valid files of each kind: refused or decoded, never read beyond (ASan run).
TEST_F(DibTest, TruncatedFilesStayInsideTheData) {
  BmpSpec rle = eightBit(40);
  rle.compression = 1;
  rle.pixels = {3, 1, 0, 0, 0, 3, 2, 0, 1, 0, 0, 2, 1, 1, 0, 1};
  BmpSpec fields;
  fields.bitCount = 32;
  fields.compression = 3;
  fields.masks = {0xFF, 0xFF00, 0xFF0000};
  fields.pixels = {1, 2, 3, 4};
  for (const BmpSpec& s : {eightBit(40), eightBit(12), rle, fields}) {
    Bytes whole = makeBmp(s);
    for (size_t n = 0; n < whole.size(); ++n) {
      Bytes prefix(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
      messages.clear();
      auto image = decode(prefix);
      if (!image) {
        EXPECT_EQ(messages.size(), 1u) << n;
      }
    }
  }
}

TEST_F(DibTest, FilesThatCannotBeMappedAreReportedWithTheirPath) {
  test::TempDir dir;
  std::string empty = dir.file("empty.bmp");
  test::writeFile(empty, {});
  EXPECT_FALSE(loadDibImage(empty.c_str()));
  EXPECT_FALSE(loadDibImage(dir.file("missing.bmp").c_str()));
  EXPECT_FALSE(loadDibImage(dir.path().c_str()));
  EXPECT_EQ(messages, (std::vector<std::string>{"Failed to open DIB file " + empty + ".\n",
                                                "Failed to open DIB file " + dir.file("missing.bmp") + ".\n",
                                                "Failed to open DIB file " + dir.path() + ".\n"}));

  std::string good = dir.file("good.bmp");
  test::writeFile(good, makeBmp(eightBit(40)));
  auto image = loadDibImage(good.c_str());
  ASSERT_TRUE(image);
  EXPECT_EQ(rgb(*image)[1], 0xFF0000u);
  EXPECT_EQ(messages.size(), 3u);
}

}  // namespace
}  // namespace korvalin
