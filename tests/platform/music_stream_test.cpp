// The music stream on SDL's dummy audio driver, against Ogg files the tests encode.
// That driver paces itself with sleeps, so its rate may differ from the wall clock by a few
// per cent: bounds allow for it.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "platform/music_stream.h"
#include "tools/music.h"

namespace korvalin {
namespace {

using WallClock = std::chrono::steady_clock;

// Per process: ctest runs these tests side by side, each writing its own files.
std::string tempPath(const std::string& name) {
  return ::testing::TempDir() + "korvalin_" + std::to_string(getpid()) + "_" + name;
}

double millisSince(WallClock::time_point from) {
  return std::chrono::duration<double, std::milli>(WallClock::now() - from).count();
}

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

class MusicStreamTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    writeSilence("3s.ogg", 3000, 44100);
    writeSilence("22k.ogg", 4000, 22050);
  }
  static void writeSilence(const char* name, int32_t millis, int32_t rate) {
    const std::vector<float> stereo(static_cast<size_t>(millis) * rate / 1000 * 2, 0.0f);
    std::string error;
    ASSERT_TRUE(content::writeOggVorbis(tempPath(name), stereo, rate, 0.1f, &error)) << error;
  }
  void openPaused(const char* name) {
    music.init();
    ASSERT_TRUE(music.open(tempPath(name).c_str()));
    music.playPaused();
  }
  MusicStream music;
};

// Reopening on the same stream also shows that a new file replaces the old one in full.
TEST_F(MusicStreamTest, LengthAndExactSeeksAtAnyRate) {
  for (const char* name : {"3s.ogg", "22k.ogg"}) {
    SCOPED_TRACE(name);
    music.setPosition(441000);
    openPaused(name);
    const int32_t length = music.getLength();
    EXPECT_EQ(length, name[0] == '3' ? 3000 : 4000);
    EXPECT_EQ(music.getTime(), 0);
    const struct {
      uint32_t bytes;
      int32_t ms;
    } seeks[] = {{441000, 2500}, {176400, 1000}, {0, 0}, {123480, 700}, {20 * 176400, length}};
    for (const auto& seek : seeks) {
      music.setPosition(seek.bytes);
      EXPECT_EQ(music.getTime(), seek.ms) << seek.bytes;
    }
  }
}

TEST_F(MusicStreamTest, PausedTimeStandsAndResumesWhereItStood) {
  openPaused("3s.ogg");
  music.setPosition(176400);
  sleepMs(60);
  EXPECT_EQ(music.getTime(), 1000);
  music.setPaused(false);
  sleepMs(150);
  music.setPaused(true);
  const int32_t held = music.getTime();
  EXPECT_GT(held, 1000);
  sleepMs(100);
  EXPECT_EQ(music.getTime(), held);
  // Resuming neither skips the decoded but unheard part of the buffer nor goes back.
  music.setPaused(false);
  EXPECT_GE(music.getTime(), held);
  EXPECT_LE(music.getTime(), held + 2);
  music.setPaused(true);
}

// Sampled about every millisecond: never back, and never more than the wall time since the
// last sample plus 2 ms (a position that moves only at each callback steps some 23 ms). The
// wall time is taken from before the last read to after this one, so that the test thread
// being preempted between a read and its timestamp cannot make a step look too large.
TEST_F(MusicStreamTest, TimeIsSmoothMonotonicAndFollowsTheWallClock) {
  openPaused("3s.ogg");
  music.setPaused(false);
  const WallClock::time_point start = WallClock::now();
  const int32_t first = music.getTime();
  int32_t previous = first;
  WallClock::time_point previousRead = start;
  int backwards = 0, tooLarge = 0, samples = 0;
  while (millisSince(start) < 1200) {
    sleepMs(1);
    const WallClock::time_point readAt = WallClock::now();
    const int32_t now = music.getTime();
    if (now < previous) ++backwards;
    if (now - previous > millisSince(previousRead) * 1.1 + 2.0) ++tooLarge;
    previous = now;
    previousRead = readAt;
    ++samples;
  }
  const double wallTotal = millisSince(start);
  music.setPaused(true);
  EXPECT_EQ(backwards, 0);
  EXPECT_EQ(tooLarge, 0) << "of " << samples << " samples";
  EXPECT_GT(previous - first, wallTotal * 0.6);
  EXPECT_LT(previous - first, wallTotal * 1.15);
}

TEST_F(MusicStreamTest, PlaysToTheEndAndStopsThere) {
  openPaused("3s.ogg");
  music.setPosition(static_cast<uint32_t>(2.8 * 176400) / 4 * 4);
  music.setPaused(false);
  const WallClock::time_point start = WallClock::now();
  while (music.getTime() < 3000 && millisSince(start) < 5000) sleepMs(5);
  sleepMs(80);
  EXPECT_EQ(music.getTime(), 3000);
  EXPECT_GT(music.getTime(), music.getLength() - 100);  // the main loop's end test fires
}

// A missing or broken file: one line on standard error, then silence whose time runs in real
// time and whose length is unknown, so the end-of-music test never fires.
TEST_F(MusicStreamTest, UnreadableFilesPlaySilenceWithNoEnd) {
  const std::string garbage = tempPath("garbage.ogg");
  std::ofstream(garbage) << "this is not an Ogg stream, only some text that looks nothing like one\n";

  for (const std::string& path : {tempPath("no-such-file.ogg"), garbage}) {
    SCOPED_TRACE(path);
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
    sleepMs(200);
    const int32_t later = music.getTime();
    const double wall = millisSince(start);
    music.setPaused(true);
    // A busy machine delays the driver's callbacks, never speeds them up much.
    EXPECT_GT(later, 1040);
    EXPECT_LT(later, 1000 + wall * 1.1 + 5);
  }
}

}  // namespace
}  // namespace korvalin
