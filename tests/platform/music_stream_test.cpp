// The music stream on SDL's dummy audio driver, against Ogg files the tests encode themselves.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "platform/music_stream.h"
#include "tests/platform/sine_ogg.h"

namespace korvalin {
namespace {

using WallClock = std::chrono::steady_clock;

std::string tempPath(const std::string& name) {
  return ::testing::TempDir() + "korvalin_music_" + name;
}

double millisSince(WallClock::time_point from) {
  return std::chrono::duration<double, std::milli>(WallClock::now() - from).count();
}

class MusicStreamTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(test::writeSineOgg(tempPath("3s.ogg"), 3000));
    ASSERT_TRUE(test::writeSineOgg(tempPath("mono22k.ogg"), 4000, 22050, 1));
  }
};

TEST_F(MusicStreamTest, LengthAndExactSeeksInMilliseconds) {
  MusicStream music;
  music.init();
  ASSERT_TRUE(music.open(tempPath("3s.ogg").c_str()));
  music.playPaused();
  EXPECT_EQ(music.getLength(), 3000);
  EXPECT_EQ(music.getTime(), 0);

  // Whole seconds and the byte offsets the transport hands over land exactly.
  for (uint32_t bytes : {441000u, 176400u, 0u, 2u * 176400u, 176400u / 10u * 7u}) {
    music.setPosition(bytes);
    EXPECT_EQ(music.getTime(), static_cast<int32_t>(static_cast<uint64_t>(bytes) * 1000 / 176400))
        << bytes;
  }
  // Past the end: held at the end, where the end-of-music test fires.
  music.setPosition(20u * 176400u);
  EXPECT_EQ(music.getTime(), 3000);
}

TEST_F(MusicStreamTest, OtherRatesAndMonoSeekThroughSeconds) {
  MusicStream music;
  music.init();
  ASSERT_TRUE(music.open(tempPath("mono22k.ogg").c_str()));
  EXPECT_EQ(music.sampleRate(), 22050);
  EXPECT_EQ(music.channels(), 1);
  EXPECT_EQ(music.getLength(), 4000);
  music.setPosition(441000);
  EXPECT_EQ(music.getTime(), 2500);
  music.setPosition(3 * 176400);
  EXPECT_EQ(music.getTime(), 3000);
}

TEST_F(MusicStreamTest, PausedTimeStandsAndResumesWhereItStood) {
  MusicStream music;
  music.init();
  ASSERT_TRUE(music.open(tempPath("3s.ogg").c_str()));
  music.playPaused();
  music.setPosition(176400);
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  EXPECT_EQ(music.getTime(), 1000);

  music.setPaused(false);
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  music.setPaused(true);
  const int32_t held = music.getTime();
  EXPECT_GT(held, 1000);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(music.getTime(), held);

  // Resuming does not skip the part of the buffer that was decoded but not yet heard.
  music.setPaused(false);
  const int32_t resumed = music.getTime();
  EXPECT_GE(resumed, held);
  EXPECT_LE(resumed, held + 2);
  music.setPaused(true);
}

// Sampled about every millisecond, time moves on smoothly with the wall clock: never back,
// and never by more than the wall time since the last sample plus 2 ms (a position that only
// changes at each callback would step some 23 ms at once). The dummy driver paces itself with
// sleeps, so its rate is allowed to differ from the wall clock by a few per cent.
TEST_F(MusicStreamTest, TimeIsSmoothMonotonicAndFollowsTheWallClock) {
  MusicStream music;
  music.init();
  ASSERT_TRUE(music.open(tempPath("3s.ogg").c_str()));
  music.playPaused();
  music.setPaused(false);
  const WallClock::time_point start = WallClock::now();
  const int32_t first = music.getTime();
  int32_t previous = first;
  WallClock::time_point previousAt = start;
  int tooLarge = 0;
  int backwards = 0;
  int samples = 0;
  while (millisSince(start) < 1200) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const WallClock::time_point at = WallClock::now();
    const int32_t now = music.getTime();
    const double wall = std::chrono::duration<double, std::milli>(at - previousAt).count();
    if (now < previous) ++backwards;
    if (now - previous > wall * 1.1 + 2.0) ++tooLarge;
    previous = now;
    previousAt = at;
    ++samples;
  }
  const double wallTotal = millisSince(start);
  music.setPaused(true);
  EXPECT_EQ(backwards, 0);
  EXPECT_EQ(tooLarge, 0) << "of " << samples << " samples";
  const double advanced = previous - first;
  EXPECT_GT(advanced, wallTotal * 0.6);
  EXPECT_LT(advanced, wallTotal * 1.15);
}

TEST_F(MusicStreamTest, PlaysToTheEndAndStopsThere) {
  MusicStream music;
  music.init();
  ASSERT_TRUE(music.open(tempPath("3s.ogg").c_str()));
  music.setPosition(static_cast<uint32_t>(2.8 * 176400) / 4 * 4);
  music.setPaused(false);
  const WallClock::time_point start = WallClock::now();
  while (music.getTime() < 3000 && millisSince(start) < 5000) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(music.getTime(), 3000);
  std::this_thread::sleep_for(std::chrono::milliseconds(80));
  EXPECT_EQ(music.getTime(), 3000);
  // The test the main loop makes: time past length less 100.
  EXPECT_GT(music.getTime(), music.getLength() - 100);
}

// A missing or broken file: one line on standard error, then silence whose time runs in real
// time and whose length is unknown, so the end-of-music test never fires.
TEST_F(MusicStreamTest, UnreadableFilesPlaySilenceWithNoEnd) {
  const std::string garbage = tempPath("garbage.ogg");
  FILE* file = std::fopen(garbage.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  std::fputs("this is not an Ogg stream, only some text that looks nothing like one\n", file);
  std::fclose(file);

  for (const std::string& path : {tempPath("no-such-file.ogg"), garbage}) {
    MusicStream music;
    music.init();
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(music.open(path.c_str()));
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find(path), std::string::npos) << said;
    EXPECT_EQ(said.find('\n'), said.size() - 1) << "one line: " << said;

    EXPECT_EQ(music.getLength(), std::numeric_limits<int32_t>::max());
    music.playPaused();
    music.setPosition(176400);
    EXPECT_EQ(music.getTime(), 1000);
    const WallClock::time_point start = WallClock::now();
    music.setPaused(false);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const int32_t later = music.getTime();
    const double wall = millisSince(start);
    music.setPaused(true);
    // Loose bounds: a busy machine delays the driver's callbacks, never speeds them up much.
    EXPECT_GT(later, 1040) << path;
    EXPECT_LT(later, 1000 + wall * 1.1 + 5) << path;
    EXPECT_FALSE(later > music.getLength() - 100);
  }
}

TEST_F(MusicStreamTest, ReopeningReplacesTheStream) {
  MusicStream music;
  music.init();
  ASSERT_TRUE(music.open(tempPath("3s.ogg").c_str()));
  music.setPosition(441000);
  music.init();
  ASSERT_TRUE(music.open(tempPath("mono22k.ogg").c_str()));
  music.playPaused();
  EXPECT_EQ(music.getTime(), 0);
  EXPECT_EQ(music.getLength(), 4000);
}

}  // namespace
}  // namespace korvalin
