// The loop range on the injected clock and a music stream that keeps time as the real one does.
#include <gtest/gtest.h>

#include <vector>

#include "shell/loop_playback.h"

namespace korvalin {
namespace {

class TimedMusic : public MusicApi {
 public:
  explicit TimedMusic(const uint32_t& ticks) : ticks_(ticks) {}
  void init() override {}
  bool open(const char*) override { return true; }
  void playPaused() override {}
  void setPaused(bool) override {}
  void setPosition(uint32_t bytes) override {
    seeks.push_back(bytes);
    at_ = static_cast<int64_t>(bytes) * 1000 / kBytesPerSecond;
    since_ = ticks_;
  }
  int32_t getTime() override { return static_cast<int32_t>(at_ + (ticks_ - since_)); }
  int32_t getLength() override { return 0x7fffffff; }
  std::vector<uint32_t> seeks;

 private:
  const uint32_t& ticks_;
  int64_t at_ = 0;
  uint32_t since_ = 0;
};

TEST(LoopPlaybackTest, ClockNeverPassesTheEndAndRestartsAtTheStart) {
  uint32_t ticks = 5000;
  PlaybackClock clock([&] { return ticks; });
  TimedMusic music(ticks);
  Transport transport(clock, music);
  LoopRange loop;
  std::string why;
  ASSERT_TRUE(loop.setEnd(3.0f, &why) && loop.setStart(2.0f, &why));
  LoopPlayback playback;
  transport.jumpTo(0.0);

  // 7 ms passes for 7 s: up to the end once, then four more times round the loop.
  float previous = 0.0f;
  int restarts = 0;
  for (int pass = 0; pass < 1000; ++pass) {
    playback.beforePass(loop, transport);
    const float t = clock.elapsed();
    ASSERT_LT(t, 3.0f) << "pass " << pass;
    if (t < previous) {
      ++restarts;
      EXPECT_NEAR(t, 2.0f, 0.0005f);
    }
    playback.shown(t);
    previous = t;
    transport.resumePlaying();
    transport.syncClockToMusic();
    ticks += 7;
  }
  EXPECT_EQ(restarts, 4);
  // Each restart is the exact seek to 2 s (after the start at 0).
  EXPECT_EQ(music.seeks, (std::vector<uint32_t>{0, 352800, 352800, 352800, 352800}));
  // Put past the end, playback goes on from there.
  transport.jumpTo(5.0);
  playback.shown(5.0f);
  ticks += 7;
  playback.beforePass(loop, transport);
  EXPECT_GT(clock.elapsed(), 5.0f);
}

}  // namespace
}  // namespace korvalin
