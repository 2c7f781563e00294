// While playing, no pass shows an earlier position than the pass before, even when the music's
// heard time stands still for a while under load; where the user moves the position, it may.
#include <gtest/gtest.h>

#include <functional>

#include "shell/frame_pass.h"
#include "shell/transport.h"

namespace korvalin {
namespace {

// A music whose heard time the test sets.
class HeardTime : public MusicApi {
 public:
  int32_t time = 0;
  void init() override {}
  bool open(const char*) override { return true; }
  void playPaused() override {}
  void setPaused(bool) override {}
  void setPosition(uint32_t bytes) override { time = static_cast<int32_t>(bytes / (kBytesPerSecond / 1000)); }
  int32_t getTime() override { return time; }
  int32_t getLength() override { return 600000; }
};

// The editor's use of the position: read before the transport buttons, and handed back to the
// clock after the canvas is drawn, unless the user dragged the play marker.
class EditorUse : public EditorHooks {
 public:
  explicit EditorUse(Transport& transport) : transport_(transport) {}
  std::function<void()> onButtons, onMarker;

  void editorInput(ShellInput&) override {
    cursor_ = transport_.playPosition();
    if (onButtons) {
      onButtons();
      transport_.playPosition();  // the view reads the clock after the button
    }
  }
  void editorPass() override {
    transport_.playPosition();  // the position text
    if (onMarker) {
      onMarker();
    } else {
      transport_.clock().seek(cursor_);
    }
  }

 private:
  Transport& transport_;
  float cursor_ = 0.0f;
};

class ClockStepTest : public ::testing::Test {
 protected:
  // One pass 16 ms after the last, the music having moved on by `heard` ms; the shown position.
  float pass(int32_t heard = 16, bool editorMode = false) {
    ticks += 16;
    music.time += heard;
    updateFrame(state, hooks, transport, timeline);
    drawFrame(hooks, transport, editorMode, [&](float t) { shown = t; });
    return shown;
  }
  // Plays to 5 s, then the music steps back 40 ms: the next pass holds the picture.
  void holdAfterAStall() {
    music.time = 5000;
    pass();
    const float stalled = pass(-40);
    // Held; the clock's whole milliseconds may add one where the editor hands the position back.
    const float held = pass();
    ASSERT_GE(held, stalled);
    ASSERT_LT(held, stalled + 0.002f);
  }

  uint32_t ticks = 50000;
  HeardTime music;
  PlaybackClock clock{[this] { return ticks; }};
  Transport transport{clock, music};
  EditorUse hooks{transport};
  ShellState state;
  Timeline timeline;
  float shown = 0.0f;
};

TEST_F(ClockStepTest, AStallHoldsThePictureUntilTheMusicCatchesUpAndNothingDrifts) {
  float last = pass();
  for (int32_t heard : {16, 16, -30, 0, 16, 10, 16, 16, 40, 16, -5, 16, 16, 16, 16}) {
    const float t = pass(heard);
    EXPECT_GE(t, last) << "at music time " << music.time;
    last = t;
  }
  // Caught up: the clock follows the music again, one pass's wall time ahead of what was heard.
  const float heardBefore = music.time * 0.001f;
  EXPECT_NEAR(pass(), heardBefore + 0.016f, 0.0015f);
}

TEST_F(ClockStepTest, StopMarkerNewWindowAndLoopMayGoBack) {
  // Stop shows its frame where the pass began (the editor hands that back to the clock), and
  // from the next on the rewound music: no hold at the old position.
  holdAfterAStall();
  hooks.onButtons = [&] { transport.transportStop(); };
  pass();
  hooks.onButtons = nullptr;
  EXPECT_LT(pass(), 0.04f);

  holdAfterAStall();
  hooks.onMarker = [&] { transport.seekTo(1.0); };
  EXPECT_FLOAT_EQ(pass(), 1.0f);
  // A move forward holds for its own frame only: the next pass is back with the music.
  hooks.onMarker = [&] { transport.seekTo(30.0); };
  EXPECT_FLOAT_EQ(pass(), 30.0f);
  hooks.onMarker = nullptr;
  const float heard = music.time * 0.001f;
  EXPECT_NEAR(pass(), heard + 0.016f, 0.0015f);

  holdAfterAStall();
  transport.stopClock();
  EXPECT_LT(pass(), 0.02f);

  holdAfterAStall();
  music.time = 599950;  // the editor's demo loops at the music's end
  pass(0, true);
  EXPECT_LT(pass(), 0.02f);
}

}  // namespace
}  // namespace korvalin
