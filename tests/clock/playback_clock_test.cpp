#include "shell/playback_clock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace korvalin {
namespace {

// A clock whose "now" the test sets.
struct FakeTicks {
  uint32_t now = 0;
  PlaybackClock make() {
    return PlaybackClock([this] { return now; });
  }
};

TEST(PlaybackClock, StatesAndTheirPositions) {
  FakeTicks ticks;
  ticks.now = 1000;
  PlaybackClock clock = ticks.make();

  // Free-running from construction, not playing.
  ticks.now = 3500;
  EXPECT_FALSE(clock.isPlaying());
  EXPECT_FLOAT_EQ(clock.elapsed(), 2.5f);

  clock.play();
  EXPECT_TRUE(clock.isPlaying());
  ticks.now = 4000;
  EXPECT_FLOAT_EQ(clock.elapsed(), 3.0f);

  // Stopped: 0 at every read, however far time goes and wherever seek points.
  clock.stop();
  EXPECT_FALSE(clock.isPlaying());
  for (int i = 0; i < 3; ++i) {
    ticks.now += 777;
    EXPECT_EQ(clock.elapsed(), 0.0f);
  }
  clock.seek(12.0);
  ticks.now += 100;
  EXPECT_EQ(clock.elapsed(), 0.0f);

  // Play from stopped runs on from 0.
  clock.play();
  ticks.now += 1500;
  EXPECT_FLOAT_EQ(clock.elapsed(), 1.5f);
}

TEST(PlaybackClock, PauseFreezesAndPlayContinuesFromThere) {
  FakeTicks ticks;
  PlaybackClock clock = ticks.make();
  clock.play();
  ticks.now = 1234;
  clock.pause();
  EXPECT_FALSE(clock.isPlaying());
  for (int i = 0; i < 5; ++i) {
    ticks.now += 1000;
    EXPECT_FLOAT_EQ(clock.elapsed(), 1.234f);
  }
  // Resumed 5 s after the pause: on from 1.234, not from 6.234.
  clock.play();
  ticks.now += 1000;
  EXPECT_FLOAT_EQ(clock.elapsed(), 2.234f);
}

TEST(PlaybackClock, SeekKeepsTheStateAndMovesThePosition) {
  FakeTicks ticks;
  ticks.now = 50000;
  PlaybackClock clock = ticks.make();

  clock.play();
  clock.seek(10.0);
  EXPECT_TRUE(clock.isPlaying());
  ticks.now += 250;
  EXPECT_FLOAT_EQ(clock.elapsed(), 10.25f);

  // While paused the seek moves the frozen position.
  clock.pause();
  clock.seek(7.0);
  EXPECT_TRUE(clock.paused);
  for (int i = 0; i < 3; ++i) {
    ticks.now += 400;
    EXPECT_FLOAT_EQ(clock.elapsed(), 7.0f);
  }
}

TEST(PlaybackClock, SeekTruncatesTowardZero) {
  FakeTicks ticks;
  ticks.now = 1000;
  PlaybackClock clock = ticks.make();
  clock.play();

  // 1000 - 1.5 = 998.5 -> 998: 2 ms.
  clock.seek(0.0015);
  EXPECT_FLOAT_EQ(clock.elapsed(), 0.002f);
  // 1000 - 1000.5 = -0.5 -> 0, not -1: toward zero, not down.
  clock.seek(1.0005);
  EXPECT_FLOAT_EQ(clock.elapsed(), 1.0f);
}

TEST(PlaybackClock, WrapsAt2To32) {
  FakeTicks ticks;
  // A seek beyond now / 1000 puts startTick below zero.
  ticks.now = 1000;
  PlaybackClock early = ticks.make();
  early.play();
  early.seek(5.0);
  EXPECT_EQ(early.startTick, 4294967296u - 4000u);
  EXPECT_FLOAT_EQ(early.elapsed(), 5.0f);

  // The tick source itself wraps while playing and while paused.
  ticks.now = 0xFFFFFF00u;
  PlaybackClock late = ticks.make();
  late.play();
  ticks.now += 1000;  // wraps to 744
  EXPECT_EQ(ticks.now, 744u);
  EXPECT_FLOAT_EQ(late.elapsed(), 1.0f);
  late.pause();
  ticks.now = 0xFFFFFFF0u;  // far on, the paused position must not move
  EXPECT_FLOAT_EQ(late.elapsed(), 1.0f);
  late.play();
  ticks.now += 0x20u;
  EXPECT_FLOAT_EQ(late.elapsed(), 1.032f);

  // A seek to more than 2^32 ms lands on the position modulo 2^32 ms, without overflow.
  ticks.now = 1000;
  PlaybackClock far = ticks.make();
  far.play();
  far.seek(5.0e6);
  const double expected = std::fmod(5.0e9, 4294967296.0);
  EXPECT_FLOAT_EQ(far.elapsed(), static_cast<float>(static_cast<uint32_t>(expected)) * 0.001f);
  far.seek(-3.0);
  EXPECT_EQ(far.startTick, 4000u);
}

TEST(PlaybackClock, NonFiniteSeekLeavesThePosition) {
  FakeTicks ticks;
  ticks.now = 9000;
  PlaybackClock clock = ticks.make();
  clock.play();
  clock.seek(2.0);
  clock.seek(std::numeric_limits<double>::quiet_NaN());
  clock.seek(std::numeric_limits<double>::infinity());
  clock.seek(-std::numeric_limits<double>::infinity());
  EXPECT_FLOAT_EQ(clock.elapsed(), 2.0f);
}

}  // namespace
}  // namespace korvalin
