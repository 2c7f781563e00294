// Passes of the main loop run one at a time against a hand-set music stream and tick source,
// with hooks standing in for the editor; then the window events and the quit question.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <chrono>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "platform/key_map.h"
#include "shell/frame_pass.h"
#include "shell/frame_trace.h"
#include "shell/loop_playback.h"
#include "shell/transport.h"
#include "tests/shell/fake_music.h"

namespace korvalin {
namespace {

// Each hook notes itself in the same log as the music, then runs what the test gave it.
class ScriptedHooks : public EditorHooks {
 public:
  explicit ScriptedHooks(std::vector<std::string>& log) : log_(log) {}
  std::function<void()> onInput, onKeys, onPass;
  bool unsaved = false, saveSucceeds = true;
  int saves = 0;
  void editorInput(ShellInput&) override { run("editorInput", onInput); }
  void editorKeys() override { run("editorKeys", onKeys); }
  void editorPass() override { run("editorPass", onPass); }
  bool hasUnsavedChanges() const override { return unsaved; }
  bool saveProjectNow() override { return ++saves, saveSucceeds; }

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

  uint32_t ticks = 100000;
  FakeMusic music;
  PlaybackClock clock{[this] { return ticks; }};
  Transport transport{clock, music};
  ScriptedHooks hooks{music.calls};
  ShellState state;
  Timeline timeline;
  FrameEnd end = FrameEnd::kMusicEnded;
};

TEST_F(PassTest, OnePassInOrderAndPlayMovesTheMusicToTheClock) {
  hooks.onInput = [&] { transport.transportStop(); };
  hooks.onKeys = [&] { EXPECT_TRUE(clock.isPlaying()); };
  music.time = 4000;
  EXPECT_EQ(pass(), 0.0f);
  EXPECT_EQ(music.calls, (std::vector<std::string>{"editorInput", "pause", "position 0", "resume", "editorKeys",
                                                   "editorPass"}));
  music.calls.clear();
  clock.seek(2.5);
  transport.transportPlay();
  clock.seek(40000.0);  // beyond a byte offset: the last one, not an undefined conversion
  transport.transportPlay();
  transport.jumpTo(1.5);
  EXPECT_FLOAT_EQ(clock.elapsed(), 1.5f);
  transport.jumpTo(-1.0);
  EXPECT_EQ(music.calls, (std::vector<std::string>{"resume", "position 441000", "resume", "position 4294967295", "position 264600",
                                                   "position 0"}));
}

// Escape and F1 held are requests the outer loop acts on; the pass itself runs in full.
TEST_F(PassTest, UpdateFrameRequestsAndClipTimes) {
  timeline.addClip(3, 1.0f, 2.0f, kBox);
  timeline.tracks[3].bars[0].start = 5.0f;
  timeline.tracks[3].bars[0].length = 0.5f;
  const struct { EventKind kind; int32_t key; bool quit, toggle; } steps[] = {
      {EventKind::kKeyDown, kVkEscape, true, false}, {EventKind::kKeyUp, kVkEscape, false, false},
      {EventKind::kKeyDown, kVkF1, false, true}, {EventKind::kKeyUp, kVkF1, false, false}};
  for (const auto& step : steps) {
    applyWindowEvent(event(step.kind, step.key), state);
    const PassRequests requests = updateFrame(state, hooks, transport, timeline);
    EXPECT_TRUE(requests.quit == step.quit && requests.toggleFullscreen == step.toggle);
  }
  EXPECT_TRUE(timeline.layerClipTimes[3][0].start == 5.0f && timeline.layerClipTimes[3][0].length == 0.5f);
}

// The clock takes the music's position after every frame; an editor seek holds for its frame.
TEST_F(PassTest, ClockFollowsTheMusicAndTheEndOfMusicIsTestedEveryPass) {
  pass();
  music.time = 5000;
  ticks += 10;
  pass();
  EXPECT_FLOAT_EQ(clock.elapsed(), 5.0f);
  hooks.onPass = [&] { clock.seek(7.0); };
  EXPECT_FLOAT_EQ(pass(), 7.0f);
  EXPECT_FLOAT_EQ(clock.elapsed(), 5.0f);

  music.length = 3000;
  music.time = 2900;
  pass();
  EXPECT_EQ(end, FrameEnd::kContinue);
  hooks.onInput = [&] { transport.transportPause(); };  // even with a transport button held
  music.time = 2901;
  pass();
  EXPECT_EQ(end, FrameEnd::kMusicEnded);
  pass(true);  // editor mode starts the demo over instead
  EXPECT_TRUE(end == FrameEnd::kLooped && music.calls.back() == "position 0" && clock.isPlaying());
  EXPECT_FLOAT_EQ(clock.elapsed(), 0.0f);
  // Compared in 64 bits: an unknown length never ends, length less 100 never wraps.
  const int32_t kMax = std::numeric_limits<int32_t>::max(), kMin = std::numeric_limits<int32_t>::min();
  const struct { int32_t length, time; bool ended; } cases[] = {
      {kMax, 86400000, false}, {kMin, 0, true}, {0, -100, false}, {0, -99, true}};
  for (const auto& c : cases) {
    music.length = c.length;
    music.time = c.time;
    EXPECT_EQ(transport.musicEnded(), c.ended) << c.length << " " << c.time;
  }
}

// While playing, no pass shows an earlier position than the pass before, though the music's heard
// time may step back under load; Stop, a marker drag, a new window and the loop may go back.
TEST_F(PassTest, ThePictureNeverStepsBackWhilePlayingButUserMovesDo) {
  float cursor = 0.0f;  // as the editor: read before its buttons, handed back after the canvas
  std::function<void()> button, marker;
  hooks.onInput = [&] {
    cursor = transport.playPosition();
    if (button) button();
  };
  hooks.onPass = [&] { marker ? marker() : clock.seek(cursor); };
  const auto step = [&](int32_t heard) {
    ticks += 16;
    music.time += heard;
    return pass(music.length == 600000);
  };
  float last = step(16);
  for (int32_t heard : {16, -30, 0, 16, 10, 40, -5, 16, 16, 16, 16}) {
    const float t = step(heard);
    EXPECT_GE(t, last) << "at music time " << music.time;
    last = t;
  }
  EXPECT_NEAR(step(16), music.time * 0.001f + 0.016f, 0.0015f) << "caught up, following the music";

  const std::function<void()> moves[] = {
      [&] { button = [&] { transport.transportStop(); }; },
      [&] { marker = [&] { transport.seekTo(1.0); }; },
      [&] { marker = [&] { transport.seekTo(30.0); }; },
      [&] { transport.stopClock(); },
      [&] { music.length = 600000, music.time = 599950; }};  // the editor's loop
  for (size_t i = 0; i < std::size(moves); ++i) {
    music.time = 5000;
    step(16);
    const float stalled = step(-40);
    ASSERT_NEAR(step(16), stalled + 0.001f, 0.001f) << "held";
    moves[i]();
    const float moved = step(0);
    button = marker = nullptr;
    const float wanted[] = {-1, 1, 30, 0, -1};  // where the move itself shows, if anywhere
    if (wanted[i] >= 0) { EXPECT_NEAR(moved, wanted[i], 0.02f) << "move " << i; }
    EXPECT_NEAR(step(16), music.time * 0.001f + 0.016f, 0.04f) << "move " << i << ": no hold at the old position";
  }
}

// The editor's loop on the injected clock: the position never reaches the loop's end, and each
// time round the music is seeked exactly to the loop's start.
TEST(LoopPlaybackTest, ClockNeverPassesTheEndAndRestartsAtTheStart) {
  uint32_t ticks = 0;
  PlaybackClock clock([&] { return ticks; });
  FakeMusic music;
  Transport transport(clock, music);
  const LoopRange loop{2.0f, 3.0f};
  LoopPlayback playback;
  // 7 ms passes for 7 s, the music keeping time: up to the end once, then four more times round.
  float previous = 0.0f;
  for (int pass = 0; pass < 1000; ++pass, ticks += 7, music.time += 7) {
    playback.beforePass(loop, transport);
    const float t = clock.elapsed();
    ASSERT_LT(t, 3.0f) << "pass " << pass;
    EXPECT_TRUE(t >= previous || std::fabs(t - 2.0f) < 0.0005f) << t;
    playback.shown(previous = t);
    transport.resumePlaying();
    transport.syncClockToMusic();
  }
  EXPECT_EQ(std::count(music.calls.begin(), music.calls.end(), "position 352800"), 4);
  EXPECT_EQ(music.calls.size(), 1004u);
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

  // The window close is a quit request (the question may still refuse it), not a leave.
  const std::pair<EventKind, EventAction> actions[] = {
      {EventKind::kMinimized, EventAction::kNone},
      {EventKind::kRestored, EventAction::kResize},
      {EventKind::kCloseRequested, EventAction::kQuitRequested},
      {EventKind::kTerminated, EventAction::kTerminate},
      {EventKind::kQuitPosted, EventAction::kLeaveLoop}};
  for (const auto& [kind, action] : actions) {
    EXPECT_EQ(applyWindowEvent(event(kind), state), action);
    EXPECT_EQ(state.active, kind != EventKind::kMinimized);
  }
  for (const bool wanted : {false, true}) {
    EXPECT_EQ(applyWindowEvent(event(EventKind::kToggleRequested), state), EventAction::kToggleRequested);
    EXPECT_EQ(state.fullscreenWanted, wanted);
  }

  // With Ctrl, --editor mode takes the key as a chord, and it is no key press; the player has
  // no chords.
  WindowEvent ctrlZ = event(EventKind::kKeyDown, 'Z');
  ctrlZ.ctrl = ctrlZ.shift = true;
  for (const bool editorMode : {true, false}) {
    state.editorMode = editorMode;
    state.input = ShellInput();
    applyWindowEvent(ctrlZ, state);
    EXPECT_EQ(state.input.chordKey, editorMode ? 'Z' : 0);
    EXPECT_EQ(state.input.chordShift, editorMode);
    EXPECT_EQ(state.input.lastKey, editorMode ? 0 : 'Z');
    EXPECT_EQ(state.keyState['Z'], editorMode ? 0 : 1);
  }
}

// A new window starts with no key and no button down; a key held from the window before stays a
// held key until released, so F1 held through a toggle toggles once however long it is held.
TEST(WindowEvents, ANewWindowStartsUpAndKeysHeldOverNeedARealPress) {
  ShellState state;
  for (int32_t code : {kVkF1, int32_t{'C'}}) applyWindowEvent(event(EventKind::kKeyDown, code), state);
  state.input.leftDown = state.input.rightDown = state.input.middleDown = 1;
  std::vector<int32_t> asked;  // each question is a round trip to the window system
  startWindowInput(state, [&](int32_t code) {
    asked.push_back(code);
    return code == kVkF1;  // C was let go while there was no window
  });
  EXPECT_EQ(asked, (std::vector<int32_t>{'C', kVkF1}));
  EXPECT_EQ(state.input.lastKey + state.input.leftDown + state.input.rightDown + state.input.middleDown, 0);
  for (int32_t down : state.keyState) ASSERT_EQ(down, 0);
  const struct {
    EventKind kind;
    int32_t code;
    bool repeat;
    uint8_t f1, c;  // keyState after the event
  } steps[] = {{EventKind::kKeyDown, kVkF1, false, 0, 0},  // the held F1's first repeat, unmarked
               {EventKind::kKeyDown, kVkF1, true, 0, 0},  {EventKind::kKeyDown, 'C', false, 0, 1},
               {EventKind::kKeyUp, kVkF1, false, 0, 1},   {EventKind::kKeyDown, kVkF1, false, 1, 1},
               {EventKind::kKeyUp, kVkF1, false, 0, 1},   {EventKind::kKeyDown, kVkF1, true, 0, 1}};
  for (const auto& e : steps) {
    applyWindowEvent(event(e.kind, e.code, e.repeat), state);
    EXPECT_EQ(state.keyState[kVkF1], e.f1) << &e - steps;
    EXPECT_EQ(state.keyState['C'], e.c) << &e - steps;
  }
  // Let go before the new window had the keyboard, F1 sends that window no release: the passes ask.
  applyWindowEvent(event(EventKind::kKeyDown, kVkF1), state);
  startWindowInput(state, [](int32_t code) { return code == kVkF1; });
  for (const bool held : {true, false}) {
    asked.clear();
    forgetReleasedKeys(state, [&](int32_t code) { return asked.push_back(code), held; });
    EXPECT_EQ(asked, std::vector<int32_t>{kVkF1});
    applyWindowEvent(event(EventKind::kKeyDown, kVkF1), state);
    EXPECT_EQ(state.keyState[kVkF1], held ? 0 : 1);
  }
  // A window system that cannot tell leaves every key free for its next press.
  startWindowInput(state, [](int32_t) { return false; });
  applyWindowEvent(event(EventKind::kKeyDown, kVkF1), state);
  EXPECT_EQ(state.keyState[kVkF1], 1);
}

TEST(CursorWrap, WrapsAtTopAndBottomInsideTheClientArea) {
  const int32_t cases[][3] = {{0, 768, 766}, {2, 768, 766}, {3, 768, -1},   {765, 768, -1},
                              {766, 768, 2}, {767, 768, 2}, {1, 480, 479}, {479, 480, -1}, {1, 0, 0}};
  for (const auto& c : cases) EXPECT_EQ(cursorWrapTarget(c[0], c[1]), c[2]) << c[0] << " " << c[1];
}

// Asked only in editor mode with unsaved changes; a failed save keeps the program, and the
// work, alive.
TEST(QuitQuestion, AskedOnlyInEditorModeWithUnsavedChanges) {
  std::vector<std::string> log;
  ScriptedHooks hooks(log);
  int asked = 0;
  const struct { bool editorMode, unsaved, saveWorks; QuitAnswer answer; bool quits; int asked, saves; } cases[] = {
      {false, true, true, QuitAnswer::kCancel, true, 0, 0},  {true, false, true, QuitAnswer::kCancel, true, 0, 0},
      {true, true, true, QuitAnswer::kCancel, false, 1, 0},  {true, true, true, QuitAnswer::kDiscard, true, 2, 0},
      {true, true, true, QuitAnswer::kSave, true, 3, 1},     {true, true, false, QuitAnswer::kSave, false, 4, 2}};
  for (const auto& c : cases) {
    hooks.unsaved = c.unsaved;
    hooks.saveSucceeds = c.saveWorks;
    EXPECT_EQ(confirmQuit(hooks, c.editorMode, [&] { return ++asked, c.answer; }), c.quits);
    EXPECT_TRUE(asked == c.asked && hooks.saves == c.saves);
  }
}

TEST(FrameTraceTest, FirstFrameStepsBetweenPassesAndTheirSummary) {
  FrameTrace trace(false, true), quiet(false, false), summaryOnly(true, false);
  testing::internal::CaptureStderr();
  trace.windowRequested(FrameTrace::Clock::now() - std::chrono::seconds(1), "F1");  // asked a second ago
  for (float t : {9.0f, 0.5f, 0.51f, 0.51f, 0.505f, 0.525f}) trace.frameDrawn(t);
  trace.windowClosed();
  trace.windowRequested(FrameTrace::Clock::now(), "start");
  for (float t : {1.0f, 2.0f, 3.0f}) trace.frameDrawn(t);
  trace.windowClosed();  // three passes: too few for a summary
  std::string out = testing::internal::GetCapturedStderr();
  EXPECT_EQ(out.rfind("trace: F1 to first frame ", 0), 0u) << out;
  const double firstFrameMs = std::stod(out.substr(25));
  EXPECT_TRUE(firstFrameMs >= 1000.0 && firstFrameMs < 60000.0) << out;
  out = out.substr(out.find(" ms\n") + 4);
  EXPECT_EQ(out.substr(0, out.find("trace: start")),
            "trace: pass 3 at 0.510 s, step 10.000 ms\ntrace: pass 4 at 0.510 s, step 0.000 ms\n"
            "trace: pass 5 at 0.505 s, step -5.000 ms\ntrace: pass 6 at 0.525 s, step 20.000 ms\n"
            "trace: 6 passes, clock step min -5.000 mean 6.250 max 20.000 ms, 1 standing still, 1 backwards\n");
  EXPECT_EQ(out.find("passes", out.find("trace: start")), std::string::npos);

  testing::internal::CaptureStderr();
  for (FrameTrace* t : {&quiet, &summaryOnly}) {
    t->step("models", FrameTrace::Clock::now());
    for (float s : {0.0f, 0.25f, 0.5f, 1.0f, 2.0f}) t->frameDrawn(s);
    t->windowClosed();
  }
  summaryOnly.windowRequested(FrameTrace::Clock::now(), "F1");
  for (float s : {3.0f, 2.0f, 1.75f, 1.5f, 1.25f}) summaryOnly.frameDrawn(s);  // every step back
  summaryOnly.windowClosed();
  out = testing::internal::GetCapturedStderr();
  EXPECT_EQ(out.rfind("trace:   models ", 0), 0u) << out;
  EXPECT_NE(out.find("\ntrace: 5 passes, clock step min 250.000 mean 583.333 max 1000.000 ms, 0 standing still, "
                     "0 backwards\n"), std::string::npos) << out;
  EXPECT_NE(out.find("\ntrace: 5 passes, clock step min -250.000 mean -250.000 max -250.000 ms, 0 standing still, "
                     "3 backwards\n"), std::string::npos) << out;
  EXPECT_EQ(out.find("trace: pass"), std::string::npos);
}

}  // namespace
}  // namespace korvalin
