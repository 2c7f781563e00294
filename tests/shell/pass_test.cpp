// Passes of the main loop run one at a time against a hand-set music stream and tick source,
// with hooks standing in for the editor; then the window events and the frame trace.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "platform/key_map.h"
#include "shell/frame_pass.h"
#include "shell/frame_trace.h"
#include "shell/transport.h"
#include "tests/shell/fake_music.h"

namespace korvalin {
namespace {

// Each hook notes itself in the same log as the music, then runs what the test gave it.
class ScriptedHooks : public EditorHooks {
 public:
  explicit ScriptedHooks(std::vector<std::string>& log) : log_(log) {}
  std::function<void()> onInput, onKeys, onPass;
  void editorInput(ShellInput&) override { run("editorInput", onInput); }
  void editorKeys() override { run("editorKeys", onKeys); }
  void editorPass() override { run("editorPass", onPass); }

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
    requests = updateFrame(state, hooks, transport, timeline);
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
  PassRequests requests;
  FrameEnd end = FrameEnd::kMusicEnded;
};

// Escape and F1 held are requests the outer loop acts on; the pass itself runs in full.
TEST_F(PassTest, OnePassInOrderAndPlayMovesTheMusicToTheClock) {
  timeline.addClip(3, 1.0f, 2.0f, kBox);
  timeline.tracks[3].bars[0].start = 5.0f;
  applyWindowEvent(event(EventKind::kKeyDown, kVkEscape), state);
  hooks.onInput = [&] { transport.transportStop(); };
  hooks.onKeys = [&] { EXPECT_TRUE(clock.isPlaying()); };
  music.time = 4000;
  EXPECT_EQ(pass(), 0.0f);
  EXPECT_TRUE(requests.quit && !requests.toggleFullscreen && timeline.layerClipTimes[3][0].start == 5.0f);
  EXPECT_EQ(music.calls, (std::vector<std::string>{"editorInput", "pause", "position 0", "resume", "editorKeys",
                                                   "editorPass"}));
  music.calls.clear();
  transport.transportStop();
  transport.transportPlay();
  EXPECT_TRUE(clock.isPlaying());
  clock.seek(2.5);
  transport.transportPlay();
  clock.seek(40000.0);  // beyond a byte offset: the last one, not an undefined conversion
  transport.transportPlay();
  transport.jumpTo(1.5);
  EXPECT_FLOAT_EQ(clock.elapsed(), 1.5f);
  transport.jumpTo(-1.0);
  EXPECT_EQ(music.calls, (std::vector<std::string>{"pause", "position 0", "resume", "position 0", "resume", "position 441000",
                                                   "resume", "position 4294967295", "position 264600", "position 0"}));
}

// The clock takes the music's position after every frame, but never shows an earlier one while
// playing unless the user moved it; an editor seek holds for its frame.
TEST_F(PassTest, ClockFollowsTheMusicAndTheEndOfMusicIsTestedEveryPass) {
  pass();
  music.time = 5000;
  ticks += 10;
  pass();
  EXPECT_FLOAT_EQ(clock.elapsed(), 5.0f);
  music.time = 4980;  // the heard time stepping back under load: the picture holds; a move does not
  EXPECT_FLOAT_EQ(pass(), 5.0f);
  EXPECT_FLOAT_EQ(pass(), 5.0f);
  hooks.onInput = [&] { transport.seekTo(4.99); };  // between the music and the held position
  EXPECT_FLOAT_EQ(pass(), 4.99f);
  hooks.onInput = nullptr;
  EXPECT_FLOAT_EQ(pass(), 4.98f);  // taken as it is, then the music followed
  hooks.onPass = [&] { clock.seek(7.0); };
  EXPECT_FLOAT_EQ(pass(), 7.0f);
  EXPECT_FLOAT_EQ(clock.elapsed(), 4.98f);

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

// Window events: keys and buttons as flags, the window's own events as actions. A new window
// starts with no key and no button down; a key held from the window before stays a held key until
// released, so F1 held through a toggle toggles once however long it is held.
TEST(WindowEvents, ANewWindowStartsUpAndKeysHeldOverNeedARealPress) {
  ShellState state;
  const std::pair<EventKind, EventAction> actions[] = {
      {EventKind::kMinimized, EventAction::kNone},        {EventKind::kRestored, EventAction::kResize},
      {EventKind::kCloseRequested, EventAction::kQuitRequested},  // the question may still refuse it
      {EventKind::kTerminated, EventAction::kTerminate},  {EventKind::kQuitPosted, EventAction::kLeaveLoop}};
  for (const auto& [kind, action] : actions) {
    EXPECT_EQ(applyWindowEvent(event(kind), state), action);
    EXPECT_EQ(state.active, kind != EventKind::kMinimized);
  }
  for (const bool wanted : {false, true}) {
    EXPECT_EQ(applyWindowEvent(event(EventKind::kToggleRequested), state), EventAction::kToggleRequested);
    EXPECT_EQ(state.fullscreenWanted, wanted);
  }
  // With Ctrl, --editor mode takes the key as a chord, and it is no key press; the player has no
  // chords. Keys without a code, or outside the flags, change nothing.
  WindowEvent ctrlZ = event(EventKind::kKeyDown, 'Z');
  ctrlZ.ctrl = ctrlZ.shift = state.editorMode = true;
  applyWindowEvent(ctrlZ, state);
  EXPECT_TRUE(state.input.chordKey == 'Z' && state.input.chordShift && state.input.lastKey == 0 && !state.keyState['Z']);
  state.editorMode = false;
  for (const WindowEvent& e : {ctrlZ, event(EventKind::kKeyDown, kVkF1), event(EventKind::kKeyDown, 'C'),
                               event(EventKind::kKeyDown, 0), event(EventKind::kKeyDown, 300)}) {
    applyWindowEvent(e, state);
  }
  for (int b : {0, 1, 2}) applyWindowEvent(event(EventKind::kButtonDown, b), state);
  applyWindowEvent(event(EventKind::kButtonUp, 1), state);
  EXPECT_TRUE(state.input.leftDown && !state.input.middleDown && state.input.rightDown && state.input.lastKey == 'C');
  std::vector<int32_t> asked;  // each question is a round trip to the window system
  startWindowInput(state, [&](int32_t code) {
    asked.push_back(code);
    return code == kVkF1;  // C was let go while there was no window
  });
  EXPECT_EQ(asked, (std::vector<int32_t>{'C', 'Z', kVkF1}));
  EXPECT_EQ(state.input.lastKey + state.input.leftDown + state.input.rightDown + state.input.middleDown, 0);
  for (int32_t down : state.keyState) ASSERT_EQ(down, 0);
  const struct {
    EventKind kind;
    int32_t code;
    bool repeat;
    uint8_t f1, c, lastKey;  // after the event
  } steps[] = {{EventKind::kKeyDown, kVkF1, false, 0, 0, kVkF1},  // the held F1's first repeat, unmarked
               {EventKind::kKeyDown, kVkF1, true, 0, 0, kVkF1},  {EventKind::kKeyDown, 'C', false, 0, 1, 'C'},
               {EventKind::kKeyUp, kVkF1, false, 0, 1, 0},       {EventKind::kKeyDown, kVkF1, false, 1, 1, kVkF1},
               {EventKind::kKeyUp, kVkF1, false, 0, 1, 0},       {EventKind::kKeyDown, kVkF1, true, 0, 1, kVkF1}};
  for (const auto& e : steps) {
    applyWindowEvent(event(e.kind, e.code, e.repeat), state);
    EXPECT_TRUE(state.keyState[kVkF1] == e.f1 && state.keyState['C'] == e.c && state.input.lastKey == e.lastKey)
        << &e - steps;
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
}

TEST(CursorWrap, WrapsAtTopAndBottomInsideTheClientArea) {
  const int32_t cases[][3] = {{0, 768, 766}, {2, 768, 766}, {3, 768, -1},   {765, 768, -1},
                              {766, 768, 2}, {767, 768, 2}, {1, 480, 479}, {479, 480, -1}, {1, 0, 0}};
  for (const auto& c : cases) EXPECT_EQ(cursorWrapTarget(c[0], c[1]), c[2]) << c[0] << " " << c[1];
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

  // Counted afresh in every window: one of steps forward, one of steps back, one forward again.
  testing::internal::CaptureStderr();
  for (FrameTrace* t : {&quiet, &summaryOnly}) {
    t->step("models", FrameTrace::Clock::now());
    for (float s : {0.0f, 0.25f, 0.5f, 1.0f, 2.0f}) t->frameDrawn(s);
    t->windowClosed();
  }
  for (const auto& window : {std::vector<float>{3.0f, 2.0f, 1.75f, 1.5f, 1.25f}, {2.0f, 1.0f, 1.25f, 1.5f, 1.75f}}) {
    summaryOnly.windowRequested(FrameTrace::Clock::now(), "F1");
    for (float s : window) summaryOnly.frameDrawn(s);
    summaryOnly.windowClosed();
  }
  out = testing::internal::GetCapturedStderr();
  EXPECT_EQ(out.rfind("trace:   models ", 0), 0u) << out;
  EXPECT_EQ(out.find("trace: pass"), std::string::npos);
  for (const char* summary : {"5 passes, clock step min 250.000 mean 583.333 max 1000.000 ms, 0 standing still, 0 backwards",
                              "5 passes, clock step min -250.000 mean -250.000 max -250.000 ms, 0 standing still, 3 backwards",
                              "5 passes, clock step min 250.000 mean 250.000 max 250.000 ms, 0 standing still, 0 backwards"}) {
    EXPECT_NE(out.find(std::string("\ntrace: ") + summary + "\n"), std::string::npos) << summary << "\n" << out;
  }
}

}  // namespace
}  // namespace korvalin
