#include "shell/playback_clock.h"

#include <gtest/gtest.h>

#include <limits>

namespace korvalin {
namespace {

// One clock through its states, read after each step: free-running from construction; paused,
// frozen across reads and going on from there; a seek while paused moves the frozen position;
// stopped, 0 whatever seek said, and play starts again from 0 (neither holds a position); seeks
// truncate toward zero (1000 - 1000.5 gives 0, not -1) and ignore what has no tick; positions
// below zero and beyond 2^32 ms wrap, as does the tick source itself.
TEST(PlaybackClock, StatesSeeksAndWrapping) {
  enum Step { kRead, kPlay, kPause, kStop, kSeek };
  const double kNaN = std::numeric_limits<double>::quiet_NaN(), kInf = std::numeric_limits<double>::infinity();
  const struct { Step step; uint32_t now; double seconds; float elapsed; bool playing; } steps[] = {
      {kRead, 3500, 0, 2.5f, false},         {kPlay, 3500, 0, 2.5f, true},        {kPause, 4734, 0, 3.734f, false},
      {kRead, 5734, 0, 3.734f, false},       {kRead, 6734, 0, 3.734f, false},     {kPlay, 6734, 0, 3.734f, true},
      {kRead, 7734, 0, 4.734f, true},        {kPause, 7734, 0, 4.734f, false},    {kSeek, 7734, 7.0, 7.0f, false},
      {kRead, 8134, 0, 7.0f, false},         {kStop, 8134, 0, 0.0f, false},       {kSeek, 8134, 12.0, 0.0f, false},
      {kRead, 9000, 0, 0.0f, false},         {kPlay, 9000, 0, 0.0f, true},        {kRead, 10500, 0, 1.5f, true},
      {kSeek, 1000, 1.0005, 1.0f, true},     {kSeek, 1000, 0.0015, 0.002f, true}, {kSeek, 1000, kNaN, 0.002f, true},
      {kSeek, 1000, -kInf, 0.002f, true},    {kSeek, 1000, 5.0, 5.0f, true},      {kSeek, 0xFFFFFF00u, 0, 0.0f, true},
      {kRead, 0xFFFFFF00u + 1000, 0, 1.0f, true}, {kPause, 0xFFFFFF00u + 1000, 0, 1.0f, false},
      {kRead, 0xFFFFFFF0u, 0, 1.0f, false},  {kPlay, 0xFFFFFFF0u, 0, 1.0f, true}, {kRead, 0x10u, 0, 1.032f, true},
      {kSeek, 0, 1.0e16, float(uint32_t(10000000000000000000ull)) * 0.001f, true}};
  uint32_t now = 1000;
  PlaybackClock clock([&now] { return now; });
  for (const auto& s : steps) {
    now = s.now;
    if (s.step == kPlay) clock.play();
    if (s.step == kPause) clock.pause();
    if (s.step == kStop) clock.stop();
    if (s.step == kSeek) clock.seek(s.seconds);
    EXPECT_FLOAT_EQ(clock.elapsed(), s.elapsed) << "step at tick " << s.now;
    EXPECT_EQ(clock.isPlaying(), s.playing) << "step at tick " << s.now;
    if (s.step == kPlay || s.step == kStop) { EXPECT_EQ(clock.heldTicks, 0u) << "held only while paused"; }
  }
  now = 1000;
  clock.seek(-3.0);
  EXPECT_EQ(clock.startTick, 4000u);
}

}  // namespace
}  // namespace korvalin
