// The picture size cap: the program keeps its 64 MiB, callers such as the fuzz target may lower it.
#include <gtest/gtest.h>

#include "assets/dib_image.h"
#include "platform/message_box.h"
#include "tests/assets/fixtures.h"

namespace korvalin {
namespace {

using namespace test;

// An RLE8 file that only says "end of bitmap": a few bytes claim the whole picture.
Bytes claimRle8(int32_t width, int32_t height) { return makeBmp(BmpParts(width, height, 8, {0, 1}, {0xFFFFFF}, 1)); }

TEST(DibCapTest, PicturesLargerThanTheCapAreRefusedWithOneMessage) {
  std::vector<std::string> messages;
  setMessageSink([&](const std::string& text) { messages.push_back(text); });
  // 4 x 3 is 36 bytes of RGB; 4096 x 5461 is 4 KiB under 64 MiB, one more row is over.
  const Bytes small = claimRle8(4, 3), largest = claimRle8(4096, 5461), tooLarge = claimRle8(4096, 5462);
  EXPECT_TRUE(decodeDib(small.data(), small.size(), 36));
  EXPECT_TRUE(decodeDib(largest.data(), largest.size()));
  EXPECT_TRUE(messages.empty());
  EXPECT_FALSE(decodeDib(small.data(), small.size(), 35));
  EXPECT_FALSE(decodeDib(tooLarge.data(), tooLarge.size()));
  EXPECT_EQ(messages, std::vector<std::string>(2, "Image file conversion error."));
  setMessageSink({});
}

}  // namespace
}  // namespace korvalin
