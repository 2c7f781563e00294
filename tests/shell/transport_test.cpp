// The transport buttons and the per-pass steps, one pass at a time with fake music and ticks.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "platform/key_map.h"
#include "shell/frame_pass.h"
#include "shell/transport.h"
#include "tests/shell/fakes.h"

namespace korvalin {
namespace {

using test::FakeMusic;
using test::FakeTicks;
using test::ScriptedHooks;

class PassTest : public ::testing::Test {
 protected:
  PassTest() : clock(ticks.source()), transport(clock, music) { hooks.log = &music.calls; }

  // One pass as the main loop runs it; returns the position the demo frame was drawn at.
  float pass(bool editorMode = false, FrameEnd* end = nullptr) {
    updateFrame(state, hooks, transport, timeline);
    float drawnAt = -1.0f;
    const FrameEnd result = drawFrame(hooks, transport, editorMode, [&](float t) { drawnAt = t; });
    if (end != nullptr) *end = result;
    return drawnAt;
  }

  FakeTicks ticks;
  FakeMusic music;
  PlaybackClock clock;
  Transport transport;
  ScriptedHooks hooks;
  ShellState state;
  Timeline timeline;
};

TEST_F(PassTest, PlayMovesTheMusicToTheClock) {
  clock.play();
  clock.seek(2.5);
  music.calls.clear();
  transport.transportPlay();
  EXPECT_EQ(music.lastPosition, 441000u);
  ASSERT_EQ(music.calls.size(), 2u);
  EXPECT_EQ(music.calls[0], "resume");
  EXPECT_EQ(music.calls[1], "position 441000");
  EXPECT_TRUE(clock.isPlaying());

  // Far past what a byte offset can hold: the last offset, not an undefined conversion.
  clock.seek(40000.0);
  transport.transportPlay();
  EXPECT_EQ(music.lastPosition, std::numeric_limits<uint32_t>::max());
}

TEST_F(PassTest, StopHeldRewindsMusicAndClockEveryPass) {
  music.time = 4000;
  pass();
  // As the editor does: Stop, then the view follows the clock (which reads it while stopped).
  hooks.onInput = [&](ShellInput&) {
    transport.transportStop();
    clock.elapsed();
  };
  const std::vector<std::string> expected = {"editorInput", "pause",      "position 0",
                                             "resume",      "editorKeys", "editorPass"};
  for (int i = 0; i < 3; ++i) {
    ticks.now += 16;
    music.time += 16;
    music.calls.clear();
    const float t = pass();
    EXPECT_EQ(music.calls, expected) << "pass " << i;
    EXPECT_FLOAT_EQ(t, 0.0f) << "pass " << i;
    // Playing goes on from 0: the music was resumed after the stop.
    EXPECT_FALSE(music.paused);
    EXPECT_TRUE(clock.isPlaying());
  }
  // Released: playing continues from the rewound position.
  hooks.onInput = nullptr;
  ticks.now += 20;
  music.time = 20;
  EXPECT_FLOAT_EQ(pass(), 0.020f);
}

TEST_F(PassTest, PauseHasNoLastingEffectOverAPass) {
  music.time = 1000;
  pass();
  hooks.onInput = [&](ShellInput&) { transport.transportPause(); };
  ticks.now += 16;
  music.time = 1016;
  const float t = pass();
  EXPECT_NEAR(t, 1.016f, 1e-4);
  EXPECT_FALSE(music.paused);
  EXPECT_TRUE(clock.isPlaying());
  ticks.now += 16;
  music.time = 1032;
  EXPECT_NEAR(pass(), 1.032f, 1e-4);
}

TEST_F(PassTest, UpdateFrameRunsItsStepsInOrder) {
  timeline.addClip(3, 1.0f, 2.0f, kBox);
  timeline.tracks[3].bars[0].start = 5.0f;
  timeline.tracks[3].bars[0].length = 0.5f;
  bool clockPlayingAtKeys = false;
  hooks.onKeys = [&] { clockPlayingAtKeys = clock.isPlaying(); };
  music.calls.clear();
  updateFrame(state, hooks, transport, timeline);
  const std::vector<std::string> expected = {"editorInput", "resume", "editorKeys"};
  EXPECT_EQ(music.calls, expected);
  EXPECT_TRUE(clockPlayingAtKeys);
  EXPECT_FLOAT_EQ(timeline.layerClipTimes[3][0].start, 5.0f);
  EXPECT_FLOAT_EQ(timeline.layerClipTimes[3][0].length, 0.5f);
}

TEST_F(PassTest, EscapeAndF1AreRequestsNotImmediateActions) {
  state.keyState[kVkEscape] = 1;
  PassRequests requests = updateFrame(state, hooks, transport, timeline);
  EXPECT_TRUE(requests.quit);
  EXPECT_FALSE(requests.toggleFullscreen);
  // The pass goes on all the same: the music is resumed and the editor had its turn.
  EXPECT_FALSE(music.paused);
  state.keyState[kVkEscape] = 0;
  state.keyState[kVkF1] = 1;
  requests = updateFrame(state, hooks, transport, timeline);
  EXPECT_FALSE(requests.quit);
  EXPECT_TRUE(requests.toggleFullscreen);
}

TEST_F(PassTest, ClockFollowsTheMusicAndAnEditorSeekHoldsForItsFrame) {
  pass();
  music.time = 5000;
  ticks.now += 10;
  pass();
  // Re-based on the music after the frame: the next frame starts from the music's time.
  EXPECT_FLOAT_EQ(clock.elapsed(), 5.0f);

  hooks.onPass = [&] { clock.seek(7.0); };
  EXPECT_FLOAT_EQ(pass(), 7.0f);
  hooks.onPass = nullptr;
  EXPECT_FLOAT_EQ(clock.elapsed(), 5.0f);
}

TEST_F(PassTest, EndOfMusicIsTestedEveryPass) {
  music.length = 3000;
  FrameEnd end = FrameEnd::kContinue;
  music.time = 2900;
  pass(false, &end);
  EXPECT_EQ(end, FrameEnd::kContinue);
  // While the editor is busy (a button held every pass) the test is made all the same.
  hooks.onInput = [&](ShellInput&) { transport.transportPause(); };
  music.time = 2901;
  pass(false, &end);
  EXPECT_EQ(end, FrameEnd::kMusicEnded);

  // Editor mode: the demo starts over instead of ending.
  music.calls.clear();
  pass(true, &end);
  EXPECT_EQ(end, FrameEnd::kLooped);
  EXPECT_EQ(music.lastPosition, 0u);
  EXPECT_EQ(music.time, 0);
  EXPECT_FLOAT_EQ(clock.elapsed(), 0.0f);
  EXPECT_TRUE(clock.isPlaying());
}

TEST_F(PassTest, UnknownOrExtremeLengthsAreComparedWithoutOverflow) {
  // Unknown length (no music file): a day of silence does not end the demo.
  music.length = std::numeric_limits<int32_t>::max();
  music.time = 86400000;
  EXPECT_FALSE(transport.musicEnded());
  // Length less 100 would wrap around in 32 bits and never compare as passed.
  music.length = std::numeric_limits<int32_t>::min();
  music.time = 0;
  EXPECT_TRUE(transport.musicEnded());
  music.length = 0;
  music.time = -100;
  EXPECT_FALSE(transport.musicEnded());
  music.time = -99;
  EXPECT_TRUE(transport.musicEnded());
}

}  // namespace
}  // namespace korvalin
