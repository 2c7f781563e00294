#include "assets/dib_image.h"

#include <gtest/gtest.h>

#include "platform/message_box.h"
#include "tests/assets/fixtures.h"

namespace korvalin {
namespace {

using test::BmpParts;
using test::Bytes;
using Pixels = std::vector<uint32_t>;

class DibTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setMessageSink([this](const std::string& text) { messages.push_back(text); });
  }
  void TearDown() override { setMessageSink({}); }

  // The picture as 0xRRGGBB values, bottom row first; empty when refused.
  Pixels decode(const Bytes& file) {
    auto image = decodeDib(file.data(), file.size());
    Pixels out;
    if (!image) return out;
    EXPECT_EQ(image->pixels.size(), size_t{3} * image->width * image->height);
    for (size_t i = 0; i + 2 < image->pixels.size(); i += 3)
      out.push_back(uint32_t{image->pixels[i]} << 16 | image->pixels[i + 1] << 8 | image->pixels[i + 2]);
    return out;
  }
  Pixels decode(const BmpParts& s) { return decode(test::makeBmp(s)); }

  std::vector<std::string> messages;
};

// 3 x 2, 8-bit: bottom row indices 0 1 2, top row 2 1 0.
BmpParts eightBit(uint32_t headerSize = 40) {
  BmpParts s{3, 2, 8};
  s.headerSize = headerSize;
  s.palette.assign(256, 0);
  s.palette[0] = 0x102030;
  s.palette[1] = 0xFF0000;
  s.palette[2] = 0x00FF7F;
  s.pixels = {0, 1, 2, 0, 2, 1, 0, 0};
  return s;
}
const Pixels kEightBit = {0x102030, 0xFF0000, 0x00FF7F, 0x00FF7F, 0xFF0000, 0x102030};

TEST_F(DibTest, HeaderKindsTableSizesAndRowOrderAgree) {
  EXPECT_EQ(decode(eightBit(40)), kEightBit);
  EXPECT_EQ(decode(eightBit(12)), kEightBit);
  BmpParts packed = eightBit(12);
  packed.fileHeader = false;
  EXPECT_EQ(decode(packed), kEightBit);

  BmpParts topDown = eightBit();
  topDown.height = -2;
  EXPECT_EQ(decode(topDown), (Pixels{0x00FF7F, 0xFF0000, 0x102030, 0x102030, 0xFF0000, 0x00FF7F}));

  // 16 entries: the pixels start right after them; index 16 and above read as black.
  BmpParts sixteen = eightBit();
  sixteen.fileHeader = false;
  sixteen.clrUsed = 16;
  sixteen.palette.resize(16);
  sixteen.pixels = {1, 15, 16, 0, 255, 2, 1, 0};
  EXPECT_EQ(decode(sixteen), (Pixels{0xFF0000, 0, 0, 0, 0x00FF7F, 0xFF0000}));
  EXPECT_TRUE(messages.empty());
}

BmpParts bmp(int32_t w, int32_t h, uint16_t bits, Bytes pixels, std::vector<uint32_t> palette = {},
             uint32_t compression = 0, std::vector<uint32_t> masks = {}, bool fileHeader = true) {
  BmpParts s(w, h, bits, compression);
  s.pixels = std::move(pixels);
  s.palette = std::move(palette);
  s.masks = std::move(masks);
  s.fileHeader = fileHeader;
  if (bits <= 8 && s.palette.size() != (1u << bits)) s.clrUsed = static_cast<uint32_t>(s.palette.size());
  return s;
}

const uint32_t W = 0xFFFFFF, R = 0xFF0000, G = 0x00FF7F, D = 0x102030;
const std::vector<uint32_t> kPalette16 = {D, R, G, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

// Every encoding the reader converts, small enough to check pixel by pixel; also the files of
// the truncation test below.
const std::pair<BmpParts, Pixels> kEncodings[] = {
    // Width 5: 15 bytes a row plus one of padding; stored blue, green, red; bottom row first.
    {bmp(5, 2, 24, {30, 20, 0, 30, 20, 1, 30, 20, 2, 30, 20, 3, 30, 20, 4, 0xEE,  //
                     30, 20, 100, 30, 20, 101, 30, 20, 102, 30, 20, 103, 30, 20, 104, 0xEE}),
     {0x00141E, 0x01141E, 0x02141E, 0x03141E, 0x04141E, 0x64141E, 0x65141E, 0x66141E, 0x67141E, 0x68141E}},
    {bmp(10, 1, 1, {0b10110000, 0b01000000, 0, 0}, {0, W}), {W, 0, W, W, 0, 0, 0, 0, 0, W}},
    {bmp(3, 1, 4, {0x21, 0x00, 0, 0}, kPalette16), {G, R, D}},
    // 16/31, 32/63 and 16/31 of full scale each come out as 0x84, 0x82, 0x84.
    {bmp(2, 1, 16, {0xE0, 0x07, 0x10, 0x84}, {}, 3, {0xF800, 0x07E0, 0x001F}), {0x00FF00, 0x848284}},
    {bmp(2, 1, 16, {0x00, 0x7C, 0x1F, 0x00}), {R, 0x0000FF}},
    {bmp(1, 2, 32, {1, 2, 3, 99, 4, 5, 6, 99}), {0x030201, 0x060504}},
    {bmp(1, 2, 32, {1, 2, 3, 99, 4, 5, 6, 99}, {}, 3, {0xFF, 0xFF00, 0xFF0000}, false), {0x010203, 0x040506}},
    // RLE8: run of three, end of line; absolute run of three (word-padded), end of line; delta two
    // right, a run clipped at the row's end, end of bitmap. Skipped pixels stay black.
    {bmp(4, 3, 8, {3, 1, 0, 0, 0, 3, 2, 0, 1, 0, 0, 0, 0, 2, 2, 0, 9, 2, 0, 1}, kPalette16, 1),
     {R, R, R, 0, G, D, R, 0, 0, 0, G, G}},
    {bmp(4, 1, 8, {2, 1, 0}, kPalette16, 1), {R, R, 0, 0}},  // no end mark
    {bmp(4, 1, 4, {3, 0x12, 0, 3, 0x21, 0x00, 0, 1}, kPalette16, 2), {R, G, R, G}},
};

TEST_F(DibTest, OtherEncodings) {
  for (const auto& [s, expected] : kEncodings) EXPECT_EQ(decode(s), expected) << s.bitCount << " " << s.compression;
  EXPECT_TRUE(messages.empty());
}

TEST_F(DibTest, BadFilesAreRefusedWithExactlyOneMessage) {
  const std::string unknown = "Unknown DIB file format.", conversion = "Image file conversion error.";
  auto refusedWith = [&](const Bytes& file, const std::string& message) {
    messages.clear();
    return decode(file).empty() && messages == std::vector<std::string>{message};
  };
  for (uint32_t size : {108u, 124u, 64u}) {
    BmpParts s = eightBit(size);
    EXPECT_TRUE(refusedWith(test::makeBmp(s), unknown)) << size;
  }
  Bytes cutHeader = test::makeBmp(eightBit());
  cutHeader.resize(30);
  EXPECT_TRUE(refusedWith(cutHeader, unknown));

  auto variant = [](auto change) {
    BmpParts s = eightBit();
    change(s);
    return test::makeBmp(s);
  };
  EXPECT_TRUE(refusedWith(variant([](BmpParts& s) { s.width = s.height = 0x7FFFFFFF; }), conversion));
  EXPECT_TRUE(refusedWith(variant([](BmpParts& s) { s.height = INT32_MIN; }), conversion));
  EXPECT_TRUE(refusedWith(variant([](BmpParts& s) { s.height = 3; }), conversion));  // a row short
  EXPECT_TRUE(refusedWith(variant([](BmpParts& s) { s.width = 0; }), conversion));
  EXPECT_TRUE(refusedWith(variant([](BmpParts& s) { s.width = -3; }), conversion));
  EXPECT_TRUE(refusedWith(variant([](BmpParts& s) { s.clrUsed = 0x40000000; }), conversion));
  EXPECT_TRUE(refusedWith(variant([](BmpParts& s) { s.bitCount = 7; }), conversion));
  EXPECT_TRUE(refusedWith(variant([](BmpParts& s) { s.compression = 4; }), conversion));
  EXPECT_TRUE(refusedWith(variant([](BmpParts& s) { s.compression = 2; }), conversion));  // RLE4 at 8 bits

  // The last row may lack its padding, not its pixels.
  Bytes file = test::makeBmp(eightBit());
  file.pop_back();
  EXPECT_EQ(decode(file), kEightBit);
  file.pop_back();
  EXPECT_TRUE(refusedWith(file, conversion));

  // Every prefix of files of each kind: refused once or decoded, never read beyond (ASan run).
  std::vector<BmpParts> kinds = {eightBit(), eightBit(12)};
  for (const auto& encoding : kEncodings) kinds.push_back(encoding.first);
  for (const BmpParts& s : kinds) {
    Bytes whole = test::makeBmp(s);
    for (size_t n = 0; n < whole.size(); ++n) {
      messages.clear();
      if (decode(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n))).empty()) {
        EXPECT_EQ(messages.size(), 1u) << n;
      }
    }
  }
}

TEST_F(DibTest, FilesThatCannotBeMappedAreReportedWithTheirPath) {
  test::TempDir dir;
  test::writeFile(dir.file("empty.bmp"), {});
  test::writeFile(dir.file("good.bmp"), test::makeBmp(eightBit()));
  for (const std::string& path : {dir.file("empty.bmp"), dir.file("missing.bmp"), dir.path()}) {
    messages.clear();
    EXPECT_FALSE(loadDibImage(path.c_str()));
    EXPECT_EQ(messages, std::vector<std::string>{"Failed to open DIB file " + path + ".\n"});
  }
  auto image = loadDibImage(dir.file("good.bmp").c_str());
  ASSERT_TRUE(image);
  EXPECT_EQ(image->pixels[3], 0xFF);
}

}  // namespace
}  // namespace korvalin
