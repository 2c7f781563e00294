// The plain Vorbis decoder against files the tests encode: a tone whose phase tells the position
// to the frame, so that a seek landing one frame off shows.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "platform/vorbis_decoder.h"
#include "tools/music.h"

namespace korvalin {
namespace {

constexpr double kPi = 3.14159265358979323846;

// Left: a fast tone (one frame turns it by 0.43 rad at 44.1 kHz); right: a chirp, so that no two
// positions sound alike.
float tone(int64_t frame, int channel, int rate) {
  const double t = static_cast<double>(frame) / rate;
  return static_cast<float>(channel == 0 ? 0.5 * std::sin(2 * kPi * 3001 * t)
                                         : 0.5 * std::sin(2 * kPi * (150 + 100 * t) * t));
}

std::string tempPath(const std::string& name) {
  return ::testing::TempDir() + "korvalin_" + std::to_string(getpid()) + "_" + name;
}

std::string tonePath(int rate) { return tempPath("tone" + std::to_string(rate) + ".ogg"); }

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class VorbisDecoderTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    for (int rate : {44100, 22050}) {
      std::vector<float> stereo(2 * 2 * static_cast<size_t>(rate));
      for (size_t i = 0; i < stereo.size(); ++i) stereo[i] = tone(i / 2, i % 2, rate);
      std::string error;
      ASSERT_TRUE(content::writeOggVorbis(tonePath(rate), stereo, rate, 0.6f, &error, rate)) << error;
    }
  }

  // RMS difference between interleaved stereo read back and the tone from `frame` on.
  static double mismatch(const std::vector<float>& got, int64_t frame, int rate) {
    double sum = 0;
    for (size_t i = 0; i < got.size(); ++i) {
      const double d = got[i] - tone(frame + static_cast<int64_t>(i / 2), i % 2, rate);
      sum += d * d;
    }
    return std::sqrt(sum / got.size());
  }
};

TEST_F(VorbisDecoderTest, FormatLengthAndSeeksExactToTheFrame) {
  for (int rate : {44100, 22050}) {
    SCOPED_TRACE(rate);
    std::string error;
    auto decoder = VorbisDecoder::open(tonePath(rate), &error);
    ASSERT_TRUE(decoder) << error;
    EXPECT_EQ(decoder->sampleRate(), rate);
    EXPECT_EQ(decoder->channels(), 2);
    EXPECT_EQ(decoder->lengthFrames(), 2 * rate);
    EXPECT_DOUBLE_EQ(decoder->lengthSeconds(), 2.0);
    // Forwards and backwards, on and off page boundaries, up to the last frames.
    for (int64_t frame : {int64_t{rate} + 7, int64_t{0}, 2 * int64_t{rate} - 300, int64_t{1}, int64_t{12345}}) {
      SCOPED_TRACE(frame);
      ASSERT_TRUE(decoder->seek(frame));
      EXPECT_EQ(decoder->position(), frame);
      std::vector<float> samples(2 * 256);
      ASSERT_EQ(decoder->read(samples.data(), 256), 256);
      EXPECT_EQ(decoder->position(), frame + 256);
      EXPECT_LT(mismatch(samples, frame, rate), 0.03);
      EXPECT_GT(mismatch(samples, frame + 1, rate), 0.06);
    }
  }
}

TEST_F(VorbisDecoderTest, ReadsToTheEndInChunksAndNeverPastIt) {
  std::string error;
  auto decoder = VorbisDecoder::open(tonePath(44100), &error);
  ASSERT_TRUE(decoder) << error;
  const int64_t length = decoder->lengthFrames();
  ASSERT_TRUE(decoder->seek(length - 1000));
  std::vector<float> samples(2 * 300 + 1, 7.0f);  // one sentinel past the chunk
  int64_t total = 0;
  for (int64_t got; (got = decoder->read(samples.data(), 300)) != 0; total += got) {
    ASSERT_GT(got, 0);
    ASSERT_LE(got, 300);
  }
  EXPECT_EQ(total, 1000);
  EXPECT_EQ(samples.back(), 7.0f);
  EXPECT_EQ(decoder->position(), length);
  EXPECT_TRUE(decoder->seek(length));
  EXPECT_EQ(decoder->read(samples.data(), 300), 0);
  for (int64_t outside : {length + 1, int64_t{-1}}) {
    EXPECT_FALSE(decoder->seek(outside));
    EXPECT_EQ(decoder->position(), length);
  }
}

TEST_F(VorbisDecoderTest, BadFilesAreRefusedOrReadSafely) {
  std::string error;
  EXPECT_FALSE(VorbisDecoder::open(tempPath("missing.ogg"), &error));
  EXPECT_NE(error.find("missing.ogg: No such file"), std::string::npos) << error;
  const std::string junk = tempPath("junk.ogg");
  std::ofstream(junk) << std::string(5000, 'x');
  EXPECT_FALSE(VorbisDecoder::open(junk, &error));
  EXPECT_NE(error.find("junk.ogg: not Ogg Vorbis data"), std::string::npos) << error;

  // An empty stream is music of no length, not an error.
  ASSERT_TRUE(content::writeOggVorbis(tempPath("empty.ogg"), {}, 44100, 0.6f, &error)) << error;
  auto empty = VorbisDecoder::open(tempPath("empty.ogg"), &error);
  ASSERT_TRUE(empty) << error;
  EXPECT_EQ(empty->lengthFrames(), 0);

  // Two files one after the other make one chained stream, refused when its rate changes.
  const std::string bytes = readFile(tonePath(44100));
  const std::string chained = tempPath("chained.ogg");
  std::ofstream(chained, std::ios::binary) << bytes << readFile(tonePath(22050));
  EXPECT_FALSE(VorbisDecoder::open(chained, &error));
  EXPECT_NE(error.find("chained.ogg: changes sample rate or channel count part-way"), std::string::npos) << error;

  // Garbage in the middle: whatever is decoded stays inside the buffer and the file's length.
  std::string garbled = bytes;
  for (size_t i = bytes.size() / 2; i < bytes.size() / 2 + 600; ++i) garbled[i] = static_cast<char>(i * 37);
  const std::string damaged = tempPath("damaged.ogg");
  std::ofstream(damaged, std::ios::binary) << garbled;
  auto decoder = VorbisDecoder::open(damaged, &error);
  ASSERT_TRUE(decoder) << error;
  std::vector<float> samples(2 * 4096);
  int64_t total = 0;
  for (int64_t got; (got = decoder->read(samples.data(), 4096)) > 0;) total += got;
  EXPECT_LE(total, decoder->lengthFrames());
  EXPECT_GT(total, decoder->lengthFrames() / 3);
}

}  // namespace
}  // namespace korvalin
