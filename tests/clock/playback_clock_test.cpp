#include "shell/playback_clock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace korvalin {
namespace {

TEST(PlaybackClock, StatesPauseResumeAndSeek) {
  uint32_t now = 1000;
  PlaybackClock clock([&now] { return now; });
  now = 3500;
  EXPECT_FALSE(clock.isPlaying());
  EXPECT_FLOAT_EQ(clock.elapsed(), 2.5f) << "free-running from construction";

  // Paused: frozen across reads; play goes on from the position last read, not from now.
  clock.play();
  now = 4734;
  clock.pause();
  for (int i = 0; i < 3; ++i) {
    now += 1000;
    EXPECT_FLOAT_EQ(clock.elapsed(), 3.734f);
  }
  clock.play();
  EXPECT_TRUE(clock.isPlaying());
  now += 1000;
  EXPECT_FLOAT_EQ(clock.elapsed(), 4.734f);

  // A seek while paused moves the frozen position and keeps the state.
  clock.pause();
  clock.seek(7.0);
  now += 400;
  EXPECT_FALSE(clock.isPlaying());
  EXPECT_FLOAT_EQ(clock.elapsed(), 7.0f);

  // Stopped: 0 at every read, whatever seek said; play starts again from 0.
  clock.stop();
  clock.seek(12.0);
  for (int i = 0; i < 3; ++i) {
    now += 777;
    EXPECT_EQ(clock.elapsed(), 0.0f);
  }
  clock.play();
  now += 1500;
  EXPECT_FLOAT_EQ(clock.elapsed(), 1.5f);

  // Seek truncates toward zero (1000 - 1000.5 gives 0, not -1; 998.5 gives 998, not 999).
  now = 1000;
  clock.seek(1.0005);
  EXPECT_FLOAT_EQ(clock.elapsed(), 1.0f);
  clock.seek(0.0015);
  EXPECT_FLOAT_EQ(clock.elapsed(), 0.002f);
  // NaN and infinity have no tick: the position stays.
  clock.seek(std::numeric_limits<double>::quiet_NaN());
  clock.seek(-std::numeric_limits<double>::infinity());
  EXPECT_FLOAT_EQ(clock.elapsed(), 0.002f);
}

TEST(PlaybackClock, WrapsAt2To32) {
  uint32_t now = 1000;
  PlaybackClock clock([&now] { return now; });
  clock.play();
  // Seeking beyond now / 1000 puts startTick below zero.
  clock.seek(5.0);
  EXPECT_FLOAT_EQ(clock.elapsed(), 5.0f);

  // The tick source itself wraps, while playing and while paused.
  now = 0xFFFFFF00u;
  clock.seek(0.0);
  now += 1000;
  EXPECT_FLOAT_EQ(clock.elapsed(), 1.0f);
  clock.pause();
  now = 0xFFFFFFF0u;
  EXPECT_FLOAT_EQ(clock.elapsed(), 1.0f);
  clock.play();
  now += 0x20u;
  EXPECT_FLOAT_EQ(clock.elapsed(), 1.032f);

  // Positions beyond 2^32 ms, even beyond int64, land modulo 2^32 ms instead of overflowing.
  now = 0;
  clock.seek(1.0e16);
  EXPECT_FLOAT_EQ(clock.elapsed(), float(uint32_t(10000000000000000000ull)) * 0.001f);
  now = 1000;
  clock.seek(-3.0);
  EXPECT_EQ(clock.startTick, 4000u);
}

}  // namespace
}  // namespace korvalin
