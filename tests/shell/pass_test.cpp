// Passes of the main loop run one at a time against a hand-set music stream and tick source,
// with hooks standing in for the editor; then the window events and the quit question.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "platform/key_map.h"
#include "shell/frame_pass.h"
#include "shell/transport.h"

namespace korvalin {
namespace {

// Logs pauses, resumes and seeks; time and length are whatever the test sets.
class FakeMusic : public MusicApi {
 public:
  std::vector<std::string> calls;
  int32_t time = 0;
  int32_t length = 60000;

  void init() override {}
  bool open(const char*) override { return true; }
  void playPaused() override {}
  void setPaused(bool p) override { calls.push_back(p ? "pause" : "resume"); }
  void setPosition(uint32_t bytes) override {
    calls.push_back("position " + std::to_string(bytes));
    time = static_cast<int32_t>(uint64_t{bytes} * 1000 / kBytesPerSecond);
  }
  int32_t getTime() override { return time; }
  int32_t getLength() override { return length; }
};

// Each hook notes itself in the same log as the music, then runs what the test gave it.
class ScriptedHooks : public EditorHooks {
 public:
  explicit ScriptedHooks(std::vector<std::string>& log) : log_(log) {}
  std::function<void()> onInput, onKeys, onPass;
  bool unsaved = false;
  bool saveSucceeds = true;
  int saves = 0;

  void editorInput(ShellInput&) override { run("editorInput", onInput); }
  void editorKeys() override { run("editorKeys", onKeys); }
  void editorPass() override { run("editorPass", onPass); }
  bool hasUnsavedChanges() const override { return unsaved; }
  bool saveProjectNow() override {
    ++saves;
    return saveSucceeds;
  }

 private:
  void run(const char* name, const std::function<void()>& action) {
    log_.push_back(name);
    if (action) action();
  }
  std::vector<std::string>& log_;
};

class PassTest : public ::testing::Test {
 protected:
  // One pass as the main loop runs it; returns the position the demo was drawn at.
  float pass(bool editorMode = false) {
    updateFrame(state, hooks, transport, timeline);
    float drawnAt = -1.0f;
    end = drawFrame(hooks, transport, editorMode, [&](float t) { drawnAt = t; });
    return drawnAt;
  }
  // Wall time and music move on together by `ms`.
  void advance(int32_t ms) {
    ticks += static_cast<uint32_t>(ms);
    music.time += ms;
  }

  uint32_t ticks = 100000;
  FakeMusic music;
  PlaybackClock clock{[this] { return ticks; }};
  Transport transport{clock, music};
  ScriptedHooks hooks{music.calls};
  ShellState state;
  Timeline timeline;
  FrameEnd end = FrameEnd::kMusicEnded;
};

TEST_F(PassTest, PlayMovesTheMusicToTheClock) {
  clock.play();
  clock.seek(2.5);
  transport.transportPlay();
  // Beyond what a byte offset holds: the last offset, not an undefined conversion.
  clock.seek(40000.0);
  transport.transportPlay();
  EXPECT_EQ(music.calls, (std::vector<std::string>{"resume", "position 441000", "resume",
                                                   "position 4294967295"}));
  EXPECT_TRUE(clock.isPlaying());
}

TEST_F(PassTest, StopHeldRewindsEveryPassAndPauseDoesNotLast) {
  music.time = 4000;
  pass();
  // As the editor does: Stop, then the view reads the stopped clock.
  hooks.onInput = [&] {
    transport.transportStop();
    clock.elapsed();
  };
  hooks.onKeys = [&] { EXPECT_TRUE(clock.isPlaying()); };
  const std::vector<std::string> expected = {"editorInput", "pause",      "position 0",
                                             "resume",      "editorKeys", "editorPass"};
  for (int i = 0; i < 3; ++i) {
    advance(16);
    music.calls.clear();
    EXPECT_FLOAT_EQ(pass(), 0.0f) << "pass " << i;
    EXPECT_EQ(music.calls, expected) << "pass " << i;
  }
  hooks.onInput = nullptr;
  advance(20);
  EXPECT_FLOAT_EQ(pass(), 0.020f);

  // Pause held: the pass resumes it, so the demo keeps moving.
  hooks.onInput = [&] { transport.transportPause(); };
  for (int32_t at : {36, 52}) {
    advance(16);
    music.calls.clear();
    EXPECT_NEAR(pass(), at * 0.001f, 1e-4);
    EXPECT_EQ(music.calls.at(2), "resume");
  }
}

TEST_F(PassTest, UpdateFrameRequestsAndClipTimes) {
  timeline.addClip(3, 1.0f, 2.0f, kBox);
  timeline.tracks[3].bars[0].start = 5.0f;
  timeline.tracks[3].bars[0].length = 0.5f;
  // Escape and F1 are requests the outer loop acts on; the pass itself runs in full.
  state.keyState[kVkEscape] = 1;
  PassRequests requests = updateFrame(state, hooks, transport, timeline);
  EXPECT_TRUE(requests.quit && !requests.toggleFullscreen);
  EXPECT_FLOAT_EQ(timeline.layerClipTimes[3][0].start, 5.0f);
  EXPECT_FLOAT_EQ(timeline.layerClipTimes[3][0].length, 0.5f);
  state.keyState[kVkEscape] = 0;
  state.keyState[kVkF1] = 1;
  requests = updateFrame(state, hooks, transport, timeline);
  EXPECT_TRUE(!requests.quit && requests.toggleFullscreen);
}

TEST_F(PassTest, ClockFollowsTheMusicAndAnEditorSeekHoldsForItsFrame) {
  pass();
  music.time = 5000;
  ticks += 10;
  pass();
  EXPECT_FLOAT_EQ(clock.elapsed(), 5.0f);
  hooks.onPass = [&] { clock.seek(7.0); };
  EXPECT_FLOAT_EQ(pass(), 7.0f);
  EXPECT_FLOAT_EQ(clock.elapsed(), 5.0f);
}

TEST_F(PassTest, EndOfMusicIsTestedEveryPass) {
  music.length = 3000;
  music.time = 2900;
  pass();
  EXPECT_EQ(end, FrameEnd::kContinue);
  // Even with a transport button held every pass.
  hooks.onInput = [&] { transport.transportPause(); };
  music.time = 2901;
  pass();
  EXPECT_EQ(end, FrameEnd::kMusicEnded);
  // Editor mode starts the demo over instead.
  pass(true);
  EXPECT_EQ(end, FrameEnd::kLooped);
  EXPECT_EQ(music.calls.back(), "position 0");
  EXPECT_FLOAT_EQ(clock.elapsed(), 0.0f);
  EXPECT_TRUE(clock.isPlaying());

  // Compared in 64 bits: an unknown length never ends, length less 100 never wraps.
  const int32_t kMax = std::numeric_limits<int32_t>::max();
  const int32_t kMin = std::numeric_limits<int32_t>::min();
  const struct {
    int32_t length, time;
    bool ended;
  } cases[] = {{kMax, 86400000, false}, {kMin, 0, true}, {0, -100, false}, {0, -99, true}};
  for (const auto& c : cases) {
    music.length = c.length;
    music.time = c.time;
    EXPECT_EQ(transport.musicEnded(), c.ended) << c.length << " " << c.time;
  }
}

WindowEvent event(EventKind kind, int32_t value = 0, bool repeat = false) {
  WindowEvent e;
  e.kind = kind;
  e.virtualKey = e.button = e.wheelStep = value;
  e.repeat = repeat;
  return e;
}

TEST(WindowEvents, KeysButtonsWheelAndActions) {
  ShellState state;
  applyWindowEvent(event(EventKind::kKeyDown, 'C'), state);
  applyWindowEvent(event(EventKind::kKeyDown, kVkDelete), state);
  EXPECT_EQ(state.input.lastKey, kVkDelete);
  // Any release clears lastKey, even with another key still down.
  applyWindowEvent(event(EventKind::kKeyUp, 'C'), state);
  EXPECT_EQ(state.input.lastKey, 0);
  EXPECT_EQ(state.keyState['C'], 0);
  EXPECT_EQ(state.keyState[kVkDelete], 1);
  // Keys without a code, or outside the flags, change nothing.
  applyWindowEvent(event(EventKind::kKeyDown, kVkDelete), state);
  applyWindowEvent(event(EventKind::kKeyUp, 0), state);
  applyWindowEvent(event(EventKind::kKeyDown, 300), state);
  EXPECT_EQ(state.input.lastKey, kVkDelete);

  for (int b : {0, 1, 2}) applyWindowEvent(event(EventKind::kButtonDown, b), state);
  applyWindowEvent(event(EventKind::kButtonUp, 1), state);
  EXPECT_TRUE(state.input.leftDown && !state.input.middleDown && state.input.rightDown);
  applyWindowEvent(event(EventKind::kWheel, -1), state);
  EXPECT_EQ(state.input.wheelStep, -1);

  // The window close is a quit request (the question may still refuse it), not a leave.
  const std::pair<EventKind, EventAction> actions[] = {
      {EventKind::kMinimized, EventAction::kNone},
      {EventKind::kRestored, EventAction::kResize},
      {EventKind::kCloseRequested, EventAction::kQuitRequested},
      {EventKind::kQuitPosted, EventAction::kLeaveLoop}};
  for (const auto& [kind, action] : actions) {
    EXPECT_EQ(applyWindowEvent(event(kind), state), action);
    EXPECT_EQ(state.active, kind != EventKind::kMinimized);
  }
  applyWindowEvent(event(EventKind::kToggleRequested), state);
  EXPECT_FALSE(state.fullscreenWanted);
  applyWindowEvent(event(EventKind::kToggleRequested), state);
  EXPECT_TRUE(state.fullscreenWanted);
}

TEST(CursorWrap, WrapsAtTopAndBottomInsideTheClientArea) {
  const int32_t cases[][3] = {{0, 768, 766}, {2, 768, 766}, {3, 768, -1},   {765, 768, -1},
                              {766, 768, 2}, {767, 768, 2}, {1, 480, 479}, {479, 480, -1}};
  for (const auto& c : cases) EXPECT_EQ(cursorWrapTarget(c[0], c[1]), c[2]) << c[0] << " " << c[1];
}

TEST(QuitQuestion, AskedOnlyInEditorModeWithUnsavedChanges) {
  std::vector<std::string> log;
  ScriptedHooks hooks(log);
  int asked = 0;
  QuitAnswer answer = QuitAnswer::kCancel;
  const auto ask = [&] {
    ++asked;
    return answer;
  };
  hooks.unsaved = true;
  EXPECT_TRUE(confirmQuit(hooks, false, ask));
  hooks.unsaved = false;
  EXPECT_TRUE(confirmQuit(hooks, true, ask));
  EXPECT_EQ(asked, 0);
  hooks.unsaved = true;
  EXPECT_FALSE(confirmQuit(hooks, true, ask));
  answer = QuitAnswer::kDiscard;
  EXPECT_TRUE(confirmQuit(hooks, true, ask));
  EXPECT_EQ(hooks.saves, 0);
  answer = QuitAnswer::kSave;
  EXPECT_TRUE(confirmQuit(hooks, true, ask));
  // A failed save keeps the program, and the unsaved work, alive.
  hooks.saveSucceeds = false;
  EXPECT_FALSE(confirmQuit(hooks, true, ask));
  EXPECT_EQ(hooks.saves, 2);
}

}  // namespace
}  // namespace korvalin
