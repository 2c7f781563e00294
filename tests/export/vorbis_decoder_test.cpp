// The plain Vorbis decoder against files the tests encode, where a read one frame off shows.
#include <algorithm>
#include <string>
#include <vector>

#include "platform/vorbis_decoder.h"
#include "tests/export/export_fixture.h"

namespace korvalin {
namespace {

using namespace test;

// RMS difference between what was read and the tone from `frame` on.
double mismatch(const std::vector<float>& got, int64_t frame, int rate, int channels) {
  double sum = 0;
  for (size_t i = 0; i < got.size(); ++i) {
    const double d = got[i] - tone(frame + static_cast<int64_t>(i / channels), i % channels, rate);
    sum += d * d;
  }
  return std::sqrt(sum / got.size());
}

TEST(VorbisDecoder, FormatLengthAndSeeksExactToTheFrame) {
  for (const auto& [rate, channels] : {std::pair{44100, 2}, {22050, 1}}) {
    SCOPED_TRACE(rate);
    std::string error;
    auto decoder = VorbisDecoder::open(writeTone("seek.ogg", rate, channels), &error);
    ASSERT_TRUE(decoder) << error;
    EXPECT_TRUE(decoder->sampleRate() == rate && decoder->channels() == channels);
    EXPECT_EQ(decoder->lengthFrames(), 2 * rate);
    EXPECT_DOUBLE_EQ(decoder->lengthSeconds(), 2.0);
    // Forwards and backwards, on and off page boundaries, up to the end.
    for (int64_t frame : {int64_t{rate} + 7, int64_t{0}, int64_t{12345}, int64_t{1}, 2 * int64_t{rate} - 300}) {
      ASSERT_TRUE(decoder->seek(frame));
      std::vector<float> samples(300 * channels + 1, 7.0f);  // a sentinel past the frames asked for
      ASSERT_EQ(decoder->read(samples.data(), 300), 300) << frame;
      EXPECT_EQ(samples.back(), 7.0f);
      samples.pop_back();
      EXPECT_EQ(decoder->position(), frame + 300);
      EXPECT_LT(mismatch(samples, frame, rate, channels), 0.03) << frame;
      EXPECT_GT(mismatch(samples, frame + 1, rate, channels), 0.06) << frame;
    }
    EXPECT_EQ(decoder->read(std::vector<float>(600 * channels).data(), 600), 0);
    EXPECT_EQ(decoder->damagedAt(), -1);
    for (int64_t outside : {2 * int64_t{rate} + 1, int64_t{-1}}) EXPECT_FALSE(decoder->seek(outside));
    EXPECT_EQ(decoder->position(), 2 * rate);
  }
}

// Links that agree play as one stream. Bad files are refused through the export
// (export_run_test.cpp), all but a missing one, which the export takes for no music.
TEST(VorbisDecoder, ChainsEmptyAndMissingFiles) {
  std::ofstream(tempPath("chain.ogg")) << readFile(writeTone("a.ogg", 22050, 1, 1)) << readFile(writeTone("b.ogg", 22050, 1, 1, 2));
  std::string error;
  auto decoder = VorbisDecoder::open(tempPath("chain.ogg"), &error);
  ASSERT_TRUE(decoder) << error;
  EXPECT_EQ(decoder->lengthFrames(), 2 * 22050);
  // An empty stream is music of no length, not an error.
  decoder = VorbisDecoder::open(writeTone("empty.ogg", 44100, 2, 0), &error);
  EXPECT_TRUE(decoder && decoder->lengthFrames() == 0) << error;
  EXPECT_FALSE(VorbisDecoder::open(tempPath("missing.ogg"), &error));
  EXPECT_EQ(error, tempPath("missing.ogg") + ": No such file or directory");
}

// Data lost reads as silence of its length: the music after it keeps its time. The first
// damage is the one reported.
TEST(VorbisDecoder, DamageInTheMiddleBecomesSilence) {
  std::string error;
  auto decoder = VorbisDecoder::open(writeDamaged("damaged.ogg"), &error);
  ASSERT_TRUE(decoder) << error;
  ASSERT_EQ(decoder->lengthFrames(), 6 * 44100);
  std::vector<float> all(2 * 6 * 44100 + 2, 7.0f);
  EXPECT_EQ(decoder->read(all.data(), 6 * 44100 + 1), 6 * 44100);
  EXPECT_EQ(std::count(all.begin(), all.end(), 7.0f), 2);
  const int64_t at = decoder->damagedAt();
  EXPECT_LT(std::abs(at - 2 * 44100), 44100 / 2) << "at " << at;
  EXPECT_EQ(all[2 * at], 0.0f);
  const std::vector<float> tail(all.end() - 2 - 2 * 4000, all.end() - 2);
  EXPECT_LT(mismatch(tail, 6 * 44100 - 4000, 44100, 2), 0.03);
  // A seek from inside the silence lands on the music itself.
  ASSERT_TRUE(decoder->seek(at - 10) && decoder->read(all.data(), 20) == 20 && decoder->seek(100));
  EXPECT_EQ(decoder->damagedAt(), -1);
  std::vector<float> after(2 * 300);
  ASSERT_EQ(decoder->read(after.data(), 300), 300);
  EXPECT_LT(mismatch(after, 100, 44100, 2), 0.03);
}

}  // namespace
}  // namespace korvalin
