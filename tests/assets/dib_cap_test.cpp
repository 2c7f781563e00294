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

TEST(DibCapTest, PicturesLargerThanTheCapAreRefusedOnce) {
  std::vector<std::string> messages;
  setMessageSink([&](const std::string& text) { messages.push_back(text); });
  const std::pair<Bytes, uint64_t> accepted[] = {
      {claimRle8(4096, 5461), kDibMaxPixelBytes},  // 67,104,768 bytes, 4 KiB under 64 MiB
      {claimRle8(4, 3), 36},
  };
  for (const auto& [file, cap] : accepted) {
    auto image = decodeDib(file.data(), file.size(), cap);
    ASSERT_TRUE(image) << cap;
    EXPECT_EQ(image->pixels.size(), cap == 36 ? 36u : 67104768u);
  }
  EXPECT_TRUE(messages.empty());
  for (const auto& [file, cap] : {std::pair<Bytes, uint64_t>{claimRle8(4096, 5462), kDibMaxPixelBytes},
                                  {claimRle8(4, 3), 35}, {claimRle8(1024, 1366), 4u << 20}}) {
    messages.clear();
    EXPECT_FALSE(decodeDib(file.data(), file.size(), cap)) << cap;
    EXPECT_EQ(messages, std::vector<std::string>{"Image file conversion error."});
  }
  // The program's own reader keeps the large cap.
  const Bytes big = claimRle8(4096, 5461);
  EXPECT_TRUE(decodeDib(big.data(), big.size()));
  setMessageSink({});
}

}  // namespace
}  // namespace korvalin
