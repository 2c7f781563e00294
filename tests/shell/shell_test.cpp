// The main loop pass by pass against a hand-set music stream and tick source: first with hooks
// standing in for the editor, then with the real hooks over a real Editor driven by window events,
// and the whole program's windows. Also the window events, the frame trace, the pictures and models
// reloaded, and the music's strip made on a worker thread. Files are written with the asset
// generator's own writers into a run folder of the test's own.
#include <SDL.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "platform/key_map.h"
#include "shell/asset_watch.h"
#include "shell/frame_pass.h"
#include "shell/frame_trace.h"
#include "shell/music_analysis.h"
#include "shell/shell_app.h"
#include "tests/common/canvas.h"
#include "timeline/project_file.h"
#include "tools/image_files.h"
#include "tools/models.h"
#include "tools/music.h"
#include "tools/pictures.h"

namespace korvalin::test {
namespace {

// Music whose time and length are whatever the test sets; pauses, resumes and seeks are logged.
class FakeMusic : public MusicApi {
 public:
  std::vector<std::string> calls;
  int32_t time = 0, length = 60000;

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

WindowEvent event(EventKind kind, int32_t value = 0, bool repeat = false) {
  WindowEvent e;
  e.kind = kind;
  e.virtualKey = e.button = e.wheelStep = value;
  e.repeat = repeat;
  return e;
}

// Calls `step` until it returns true, for ten seconds at most: the work waited for runs on
// other threads.
bool waitUntil(const std::function<bool()>& step) {
  int tries = 1000;
  while (!step() && --tries > 0) usleep(10000);
  return tries > 0;
}

// Each hook notes itself in the music's log, then runs what the test gave it.
struct ScriptedHooks : EditorHooks {
  explicit ScriptedHooks(std::vector<std::string>& calls) : log(calls) {}
  std::vector<std::string>& log;
  std::function<void()> onInput, onKeys, onPass;
  void editorInput(ShellInput&) override { run("editorInput", onInput); }
  void editorKeys() override { run("editorKeys", onKeys); }
  void editorPass() override { run("editorPass", onPass); }
  void run(const char* name, const std::function<void()>& action) {
    log.push_back(name);
    if (action) action();
  }
};

// A run folder of the test's own is the working folder; standard input is closed, as a launcher
// may leave it, so the asset watch can get descriptor 0. The real hooks are made by start().
class HooksTest : public CanvasTest {
 protected:
  void SetUp() override {
    CanvasTest::SetUp();
    char pattern[] = "/tmp/korvalin-shell-XXXXXX";
    ASSERT_TRUE(mkdtemp(pattern) && chdir(pattern) == 0);
    dir = pattern;
    stdinCopy = dup(STDIN_FILENO);
    close(STDIN_FILENO);
  }
  void TearDown() override {
    hooks.reset();
    dup2(stdinCopy, STDIN_FILENO);
    close(stdinCopy);
    ASSERT_EQ(chdir("/"), 0);  // out of the folder before it goes
    std::system(("rm -rf " + dir).c_str());
  }
  void start(const Timeline& project, double seconds) {
    ASSERT_TRUE(saveProject(project, services.projectPath, nullptr));
    music.time = static_cast<int32_t>(seconds * 1000);
    clock.seek(seconds);
    hooks = makeEditorHooks(services);
    hooks->editorStartup();
  }
  // One pass of the main loop at mouse (x, y) after the given window events; returns the play
  // position the demo was drawn at.
  float pass(int32_t x = 0, int32_t y = 0, std::initializer_list<WindowEvent> events = {}, bool editorMode = false) {
    for (const WindowEvent& e : events) applyWindowEvent(e, state);
    state.input.mouseX = x;
    state.input.mouseY = y;
    requests = updateFrame(state, *hooks, transport, timeline);
    clear();
    float drawnAt = -1.0f;
    end = drawFrame(*hooks, transport, editorMode, [&](float t) { drawnAt = t; });
    return drawnAt;
  }

  std::string dir;
  int stdinCopy = -1;
  uint32_t now = 100000;
  PlaybackClock clock{[this] { return now; }};
  FakeMusic music;
  Transport transport{clock, music};
  Timeline timeline;
  ShellServices services{timeline, clock, transport, font, "save.brz", true};  // the glyph-coded sheets
  std::unique_ptr<EditorHooks> hooks;
  ShellState state;
  PassRequests requests;
  FrameEnd end = FrameEnd::kMusicEnded;
};

// Escape and F1 held are requests the outer loop acts on; the pass itself runs in full.
TEST_F(HooksTest, OnePassInOrderAndPlayMovesTheMusicToTheClock) {
  auto* scripted = new ScriptedHooks(music.calls);
  hooks.reset(scripted);
  timeline.addClip(3, 1.0f, 2.0f, kBox);
  timeline.tracks[3].bars[0].start = 5.0f;
  applyWindowEvent(event(EventKind::kKeyDown, kVkEscape), state);
  scripted->onInput = [&] { transport.transportStop(); };
  scripted->onKeys = [&] { EXPECT_TRUE(clock.isPlaying()); };
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
TEST_F(HooksTest, ClockFollowsTheMusicAndTheEndOfMusicIsTestedEveryPass) {
  auto* scripted = new ScriptedHooks(music.calls);
  hooks.reset(scripted);
  pass();
  music.time = 5000;
  now += 10;
  pass();
  EXPECT_FLOAT_EQ(clock.elapsed(), 5.0f);
  music.time = 4980;  // the heard time stepping back under load: the picture holds; a move does not
  EXPECT_FLOAT_EQ(pass(), 5.0f);
  EXPECT_FLOAT_EQ(pass(), 5.0f);
  scripted->onInput = [&] { transport.seekTo(4.99); };  // between the music and the held position
  EXPECT_FLOAT_EQ(pass(), 4.99f);
  scripted->onInput = nullptr;
  EXPECT_FLOAT_EQ(pass(), 4.98f);  // taken as it is, then the music followed
  scripted->onPass = [&] { clock.seek(7.0); };
  EXPECT_FLOAT_EQ(pass(), 7.0f);
  EXPECT_FLOAT_EQ(clock.elapsed(), 4.98f);

  music.length = 3000;
  music.time = 2900;
  pass();
  EXPECT_EQ(end, FrameEnd::kContinue);
  scripted->onInput = [&] { transport.transportPause(); };  // even with a transport button held
  music.time = 2901;
  pass();
  EXPECT_EQ(end, FrameEnd::kMusicEnded);
  pass(0, 0, {}, true);  // editor mode starts the demo over instead
  EXPECT_TRUE(end == FrameEnd::kLooped && music.calls.back() == "position 0" && clock.isPlaying());
  EXPECT_FLOAT_EQ(clock.elapsed(), 0.0f);
}

// Window events: keys and buttons as flags, the window's own events as actions. A new window
// starts with no key and no button down; a key held from the window before stays a held key until
// released, so F1 held through a toggle toggles once however long it is held.
TEST(WindowEvents, ANewWindowStartsUpAndKeysHeldOverNeedARealPress) {
  ShellState state;
  for (const EventKind kind : {EventKind::kMinimized, EventKind::kRestored}) {
    EXPECT_EQ(applyWindowEvent(event(kind), state), kind == EventKind::kRestored ? EventAction::kResize : EventAction::kNone);
    EXPECT_EQ(state.active, kind == EventKind::kRestored);
  }
  // The player has no chords: Ctrl+Z is Z. Keys without a code, or outside the flags, change nothing.
  WindowEvent ctrlZ = event(EventKind::kKeyDown, 'Z');
  ctrlZ.ctrl = true;
  for (const WindowEvent& e : {ctrlZ, event(EventKind::kKeyDown, kVkF1), event(EventKind::kKeyDown, 'C'),
                               event(EventKind::kKeyDown, 0), event(EventKind::kKeyDown, 300)}) applyWindowEvent(e, state);
  for (int b : {0, 1, 2}) applyWindowEvent(event(EventKind::kButtonDown, b), state);
  applyWindowEvent(event(EventKind::kButtonUp, 1), state);
  EXPECT_TRUE(state.input.leftDown && !state.input.middleDown && state.input.rightDown && state.input.lastKey == 'C');
  std::vector<int32_t> asked;  // each question is a round trip to the window system
  // C was let go while there was no window.
  startWindowInput(state, [&](int32_t code) { return asked.push_back(code), code == kVkF1; });
  EXPECT_EQ(asked, (std::vector<int32_t>{'C', 'Z', kVkF1}));
  EXPECT_EQ(state.input.lastKey + state.input.leftDown + state.input.rightDown + state.input.middleDown, 0);
  for (int32_t down : state.keyState) ASSERT_EQ(down, 0);
  // f1, c and lastKey: the flags after the event. The held F1's first repeat comes unmarked.
  const struct { EventKind kind; int32_t code; bool repeat; uint8_t f1, c, lastKey; } steps[] = {
      {EventKind::kKeyDown, kVkF1, false, 0, 0, kVkF1}, {EventKind::kKeyDown, kVkF1, true, 0, 0, kVkF1},
      {EventKind::kKeyDown, 'C', false, 0, 1, 'C'},     {EventKind::kKeyUp, kVkF1, false, 0, 1, 0},
      {EventKind::kKeyDown, kVkF1, false, 1, 1, kVkF1}, {EventKind::kKeyUp, kVkF1, false, 0, 1, 0},
      {EventKind::kKeyDown, kVkF1, true, 0, 1, kVkF1}};
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
  out = out.substr(out.find(" ms\n") + 4);
  EXPECT_EQ(out.substr(0, out.find("trace: start")),
            "trace: pass 3 at 0.510 s, step 10.000 ms\ntrace: pass 4 at 0.510 s, step 0.000 ms\n"
            "trace: pass 5 at 0.505 s, step -5.000 ms\ntrace: pass 6 at 0.525 s, step 20.000 ms\n"
            "trace: 6 passes, clock step min -5.000 mean 6.250 max 20.000 ms, 1 standing still, 1 backwards\n");
  EXPECT_EQ(out.find("passes", out.find("trace: start")), std::string::npos);

  // Counted afresh in every window: one of steps forward, one of steps back, one forward again.
  testing::internal::CaptureStderr();
  for (FrameTrace* t : {&quiet, &summaryOnly}) t->step("models", FrameTrace::Clock::now());
  for (const auto& window : {std::vector<float>{0, 0.25, 0.5, 1, 2}, {3, 2, 1.75, 1.5, 1.25}, {2, 1, 1.25, 1.5, 1.75}}) {
    for (FrameTrace* t : {&quiet, &summaryOnly}) {
      for (float s : window) t->frameDrawn(s);
      t->windowClosed();
      t->windowRequested(FrameTrace::Clock::now(), "F1");
    }
  }
  out = testing::internal::GetCapturedStderr();
  EXPECT_EQ(out.rfind("trace:   models ", 0), 0u) << out;
  for (const char* summary : {"5 passes, clock step min 250.000 mean 583.333 max 1000.000 ms, 0 standing still, 0 backwards",
                              "5 passes, clock step min -250.000 mean -250.000 max -250.000 ms, 0 standing still, 3 backwards",
                              "5 passes, clock step min 250.000 mean 250.000 max 250.000 ms, 0 standing still, 0 backwards"}) {
    EXPECT_NE(out.find(std::string("\ntrace: ") + summary + "\n"), std::string::npos) << summary << "\n" << out;
  }
}

TEST_F(HooksTest, KeysWheelAndButtonsReachTheEditorOncePerPress) {
  Timeline project;
  for (int32_t layer : {0, 1, 2}) project.addClip(layer, 1.0f, 2.0f, kBox);  // x 68 to 204 in rows 0-2
  start(project, 3.0);
  // Pressed and released between two passes, a key never arrives; held over passes, it arrives once.
  pass(0, 0, {event(EventKind::kKeyDown, 'N'), event(EventKind::kKeyUp, 'N')});
  EXPECT_EQ(timeline.editMode, kEditNothing);
  pass(0, 0, {event(EventKind::kKeyDown, 'N')});
  EXPECT_TRUE(timeline.editMode == kEditChooseOperator && state.input.lastKey == 0);
  hooks->editorStartup();  // a new window closes the list
  pass(0, 0);
  EXPECT_EQ(timeline.editMode, kEditNothing);
  pass(0, 0, {event(EventKind::kKeyUp, 'N')});

  // One notch scrolls the rows by one, once: row 0 then shows layer 1.
  pass(500, 700, {event(EventKind::kWheel, -1)});
  pass(500, 700);
  pass(100, 611, {event(EventKind::kButtonDown, 0)});
  EXPECT_TRUE(timeline.editMode == kEditClip && timeline.selectedLayer == 1);
  pass(168, 611);  // a left drag of 100 pixels, ended when the button comes up
  pass(168, 611, {event(EventKind::kButtonUp, 0)});
  pass(300, 611);
  EXPECT_FLOAT_EQ(timeline.layerClipTimes[1][0].start, 1.99609375f);

  // The right button resizes; the middle one zooms by vertical motion.
  pass(250, 611, {event(EventKind::kButtonDown, 2)});
  pass(300, 611, {event(EventKind::kButtonUp, 2)});
  pass(300, 611);
  EXPECT_FLOAT_EQ(timeline.layerClipTimes[1][0].length, 2.732421875f);
  pass(150, 611, {event(EventKind::kButtonDown, 2)});  // the left half: the start moves 20 pixels, the end stays
  pass(130, 611, {event(EventKind::kButtonUp, 2)});
  pass(130, 611);
  EXPECT_NEAR(timeline.layerClipTimes[1][0].start, 1.99609375 - 20 * 15 / 1024.0, 1e-5);
  EXPECT_NEAR(timeline.layerClipTimes[1][0].start + timeline.layerClipTimes[1][0].length, 4.728515625, 1e-5);
  pass(500, 700, {event(EventKind::kButtonDown, 1)});
  pass(500, 660, {event(EventKind::kButtonUp, 1)});  // 40 up: zoom 80
  pass(300, 635);
  pass(300, 635, {event(EventKind::kButtonDown, 0)});  // layer 2's bar reaches x 300 only at zoom 80
  EXPECT_EQ(timeline.selectedLayer, 2);
}

TEST_F(HooksTest, TransportButtonsThePlayPositionTextAndScrubbing) {
  start(Timeline(), 20.0);
  pass(0, 0);
  pass(0, 0);  // the marker, first drawn at x 0, has moved off the ruler's text
  grab();
  EXPECT_EQ(text(18, 30, 550, 7) + text(14, 0, 590, 6), "20.00005.0000");  // the view followed to 20 s
  // Stop held: music rewound and paused in every pass, then resumed; the view back at 0.
  pass(160, 500, {event(EventKind::kButtonDown, 0)});
  music.calls.clear();
  EXPECT_EQ(pass(160, 500), 0.0f);
  EXPECT_EQ(music.calls, (std::vector<std::string>{"pause", "position 0", "resume"}));
  grab();
  EXPECT_EQ(text(14, 0, 590, 6), "0.0000");
  pass(160, 500, {event(EventKind::kButtonUp, 0)});

  // After Stop the marker scrubs: the frame is drawn at the dragged position, the text shows the
  // clock's before the drag, and a drag left of 0 stops at 0.
  pass(5, 590);
  pass(5, 590, {event(EventKind::kButtonDown, 0)});
  // 40 pixels at zoom 40, then 88 more from the music's position (still 0), to the millisecond.
  EXPECT_NEAR(pass(45, 590), 0.5859375f, 1e-3);
  EXPECT_NEAR(pass(133, 590), 1.2890625f, 1e-3);
  grab();
  EXPECT_EQ(text(18, 30, 550, 6), "0.0000");
  EXPECT_EQ(pass(-200, 590), 0.0f);
  pass(-200, 590, {event(EventKind::kButtonUp, 0)});

  // Pause only for its pass; Play moves the music to the clock and ends scrubbing.
  now += 2000;
  music.time = 2000;
  music.calls.clear();
  pass(100, 500, {event(EventKind::kButtonDown, 0)});
  pass(100, 500, {event(EventKind::kButtonUp, 0)});
  pass(30, 500, {event(EventKind::kButtonDown, 0)});
  pass(30, 500, {event(EventKind::kButtonUp, 0)});
  EXPECT_EQ(music.calls, (std::vector<std::string>{"pause", "resume", "resume", "resume", "position 352800",
                                                   "resume", "resume"}));
  for (int x : {136, 136, 136}) pass(x, 590);
  pass(136, 590, {event(EventKind::kButtonDown, 0)});
  EXPECT_EQ(pass(300, 590), 2.0f);

  // The quit question, asked only in editor mode with unsaved changes: Cancel keeps the program
  // running, Discard leaves the changes, Save saves them.
  int asked = 0;
  const auto quits = [&](bool editorMode, QuitAnswer answer) {
    return confirmQuit(*hooks, editorMode, [&] { return ++asked, answer; });
  };
  EXPECT_TRUE(quits(true, QuitAnswer::kCancel) && asked == 0);
  timeline.addClip(0, 1.0f, 1.0f, kBox);
  EXPECT_TRUE(quits(false, QuitAnswer::kCancel) && asked == 0);
  EXPECT_TRUE(!quits(true, QuitAnswer::kCancel) && quits(true, QuitAnswer::kDiscard) && hooks->hasUnsavedChanges());
  EXPECT_TRUE(quits(true, QuitAnswer::kSave) && asked == 3 && !hooks->hasUnsavedChanges());
}

// Ctrl chords reach the history in --editor mode (Z undoes, Shift+Z redoes) and the autosave copy
// follows the unsaved changes. The player's hooks have neither: a chord there does nothing.
TEST_F(HooksTest, ChordsUndoAndRedoAndTheAutosaveCopyFollows) {
  Timeline project;
  project.addClip(0, 1.0f, 2.0f, kBox);
  services.autosaveSeconds = 0.0;
  state.editorMode = true;
  start(project, 3.0);
  const std::string copy = services.projectPath + ".autosave";
  const auto copyIs = [&](bool there) {
    return waitUntil([&] { return pass(168, 611), (access(copy.c_str(), F_OK) == 0) == there; });
  };
  pass(100, 611);
  pass(100, 611, {event(EventKind::kButtonDown, 0)});
  pass(168, 611);
  pass(168, 611, {event(EventKind::kButtonUp, 0)});
  EXPECT_TRUE(hooks->showsUnsaved() && copyIs(true));
  // A new window does not take this run's own copy for one an earlier run left.
  testing::internal::CaptureStderr();
  hooks->editorStartup();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  WindowEvent z = event(EventKind::kKeyDown, 'Z');
  z.ctrl = true;
  pass(168, 611, {z, event(EventKind::kKeyUp, 'Z')});
  EXPECT_FLOAT_EQ(timeline.layerClipTimes[0][0].start, 1.0f);
  EXPECT_TRUE(!hooks->showsUnsaved() && copyIs(false));
  z.shift = true;
  pass(168, 611, {z});
  EXPECT_FLOAT_EQ(timeline.layerClipTimes[0][0].start, 1.99609375f);
  EXPECT_TRUE(copyIs(true));
  hooks->editorQuitting();
  EXPECT_NE(access(copy.c_str(), F_OK), 0);

  hooks.reset();
  services.editorMode = state.editorMode = false;
  start(project, 3.0);
  state.input.chordKey = 'Z';
  pass(168, 611, {event(EventKind::kKeyDown, 'N')});
  EXPECT_TRUE(timeline.editMode == kEditChooseOperator && !hooks->showsUnsaved());
}

// In --editor mode the music is analysed beside the loop: taken once, when the worker is done, as
// the channels' mix (a tone on the left over a silent right, one frame more than whole block reads);
// a pass takes it and the strip below the rows shows the waveform.
TEST_F(HooksTest, TheMusicStripFillsInOnceTheAnalysisIsDone) {
  ASSERT_EQ(mkdir("data", 0755), 0);
  std::vector<float> tone((27 * 8192 + 1) * 2);
  for (size_t i = 0; i < tone.size(); i += 2) tone[i] = 0.5f * std::sin(static_cast<float>(i / 2) * 0.0627f);
  std::string error;
  ASSERT_TRUE(content::writeOggVorbis(kMusicPath, tone, 44100, 0.4f, &error)) << error;
  MusicAnalyser analyser(kMusicPath), missing("data/none.ogg");
  std::unique_ptr<MusicAnalysis> analysis, none;
  ASSERT_TRUE(waitUntil([&] { return (analysis = analyser.take()) != nullptr; }));
  ASSERT_TRUE(waitUntil([&] { return (none = missing.take()) != nullptr; }));
  EXPECT_EQ(analyser.take(), nullptr);
  EXPECT_TRUE(!none->peaks && none->error == "data/none.ogg: No such file or directory");
  ASSERT_TRUE(analysis->peaks && analysis->onsets && analysis->error.empty()) << analysis->error;
  EXPECT_NEAR(analysis->peaks->loudest(), 0.25f, 0.1f);
  EXPECT_EQ(analysis->peaks->frames(), 27 * 8192 + 1);
  start(Timeline(), 0.0);
  EXPECT_TRUE(waitUntil([&] {
    pass(500, 300);
    grab();
    int shown = 0;  // waveform pixels in the strip
    for (int y = 746; y <= 766; ++y) {
      for (int x = 0; x < 840; ++x) shown += at(x, y) == Rgb{38, 48, 84};
    }
    return shown >= 100;
  }));
}

// A minimize taken after F1's pass asked for the toggle, before the window went, was the old
// window's: the new one draws at once. Each event is queued from a watch on SDL's queue, at the
// moment the program queues or meets the one before it: F1 once the first window shows, the
// minimize ahead of the toggle F1 asked for, and Escape once the second window shows, which its
// first pass takes to end the run.
TEST_F(HooksTest, ANewWindowDrawsThoughTheOldOneWasMinimizedAfterF1) {
  struct Script { int windows = 0; bool minimized = false; } script;
  const auto watch = [](void* data, SDL_Event* seen) {
    Script& s = *static_cast<Script*>(data);
    SDL_Event next{};
    if (seen->type == SDL_WINDOWEVENT && seen->window.event == SDL_WINDOWEVENT_SHOWN) {
      next.type = SDL_KEYDOWN;
      next.key.keysym.sym = ++s.windows == 1 ? SDLK_F1 : SDLK_ESCAPE;
    } else if (seen->type >= SDL_USEREVENT && s.windows == 1 && !s.minimized) {
      s.minimized = true;  // the toggle F1 asked for
      next.type = SDL_WINDOWEVENT;
      next.window.event = SDL_WINDOWEVENT_MINIMIZED;
    }
    if (next.type != 0) SDL_PushEvent(&next);
    return 1;
  };
  ASSERT_EQ(mkdir("data", 0755), 0);
  for (const content::PictureInfo& picture : content::kPictures) {
    ASSERT_TRUE(content::writeJpeg(std::string("data/") + picture.fileName, 8, 8, std::vector<uint8_t>(192), 90, nullptr));
  }
  SDL_AddEventWatch(watch, &script);
  ShellOptions options;
  options.fullscreen = false;
  options.editorMode = true;
  alarm(60);  // a window waiting for an event that never comes: a failure, not a hang
  EXPECT_EQ(runShell(options), 0);
  alarm(0);
  SDL_DelEventWatch(watch, &script);
  EXPECT_TRUE(script.windows == 2 && script.minimized);
}

// Every demo frame starts from this viewport and projection (90 degrees, near 0.1, far 2000),
// with depth testing on and textures off; a window of no height is taken as one pixel high.
TEST_F(CanvasTest, TheDemoGlStateOfANewWindow) {
  glMatrixMode(GL_TEXTURE);
  glEnable(GL_TEXTURE_2D);
  glDisable(GL_DEPTH_TEST);
  glShadeModel(GL_FLAT);
  for (const auto& [width, height] : {std::pair{640, 480}, {800, 0}}) {
    glRotatef(30.0f, 0.0f, 0.0f, 1.0f);
    setUpDemoGl(width, height);
    GLint viewport[4], mode = 0, shading = 0;
    glGetIntegerv(GL_VIEWPORT, viewport);
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    glGetIntegerv(GL_SHADE_MODEL, &shading);
    EXPECT_TRUE(viewport[0] == 0 && viewport[1] == 0 && viewport[2] == width && viewport[3] == std::max(height, 1));
    EXPECT_TRUE(mode == GL_MODELVIEW && shading == GL_SMOOTH && glIsEnabled(GL_DEPTH_TEST) && !glIsEnabled(GL_TEXTURE_2D));
    GLfloat projection[16], modelview[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
    const float aspect = static_cast<float>(width) / std::max(height, 1);
    const float expected[16] = {1 / aspect, 0, 0, 0, 0, 1, 0, 0, 0, 0, -2000.1f / 1999.9f, -1, 0, 0, -400 / 1999.9f, 0};
    for (int i = 0; i < 16; ++i) {
      EXPECT_NEAR(projection[i], expected[i], 1e-5f * std::abs(expected[i]) + 1e-6f) << i;
      EXPECT_EQ(modelview[i], i % 5 == 0 ? 1.0f : 0.0f) << i;
    }
  }
}

// The first picture and the first model of the table are taken once written; a file that is no
// asset is left alone, one renamed into place is taken. What cannot be read, an empty model, a picture
// gone before its reload began or a file cut short, keeps what was loaded before, with one line.
TEST_F(HooksTest, ReloadsWhatTheTableNamesAndKeepsWhatCannotBeRead) {
  testing::internal::CaptureStderr();
  EXPECT_FALSE(AssetWatch().watching());
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "data: cannot watch for changed pictures and models: No such file or directory\n");
  ASSERT_EQ(mkdir("data", 0755), 0);
  AssetWatch watch;
  ASSERT_TRUE(watch.watching());
  TextureTable textures;
  MeshTable meshes;
  std::string error;
  const std::vector<uint8_t> grey(8 * 8 * 3, 200);
  ASSERT_TRUE(content::writeJpeg("data/metal.jpg", 8, 8, grey, 90, &error)) << error;
  ASSERT_TRUE(content::writeJpeg("data/notes.jpg", 8, 8, grey, 90, &error)) << error;
  const content::MeshData model = content::buildModel(0);
  const std::vector<uint8_t> modelFile = content::encode3ds(model, "tolppa");
  ASSERT_TRUE(content::writeFile("data/tolppa.3DS", modelFile, &error)) << error;
  ASSERT_TRUE(content::writeFile("data/kapseli.3DS", {}, &error)) << error;
  std::string said;  // what the polls so far wrote
  const auto poll = [&] {
    testing::internal::CaptureStderr();
    watch.poll(textures, meshes);
    return !(said += testing::internal::GetCapturedStderr()).empty();
  };
  EXPECT_TRUE(waitUntil([&] { return poll() && textures.names[kMetalSlot] != 0 && meshes.byModelId(0)->vertexCount > 0; }));
  EXPECT_EQ(said, "data/kapseli.3DS: the file is empty; the model loaded before stays\n");
  EXPECT_EQ(meshes.byModelId(0)->vertexCount, model.vertexCount());
  const Vec3 normal = meshes.byModelId(0)->normals[0];
  EXPECT_GT(normal.x * normal.x + normal.y * normal.y + normal.z * normal.z, 0.5f);  // lit, not black
  EXPECT_EQ(meshes.byModelId(5)->vertexCount, 0);
  EXPECT_EQ(glIsTexture(textures.names[kMetalSlot]), GL_TRUE);

  ASSERT_TRUE(content::writeJpeg("data/grain.jpg", 8, 8, grey, 90, &error)) << error;
  ASSERT_EQ(std::remove("data/grain.jpg"), 0);
  ASSERT_TRUE(content::writeFile("data/tolppa.3DS", {modelFile.begin(), modelFile.begin() + 100}, &error)) << error;
  ASSERT_TRUE(content::writeJpeg("data/cut", 8, 8, grey, 90, &error) && truncate("data/cut", 100) == 0) << error;
  ASSERT_EQ(std::rename("data/cut", "data/tausta1.jpg"), 0);
  said.clear();
  EXPECT_TRUE(waitUntil([&] { return poll() && std::count(said.begin(), said.end(), '\n') == 3; })) << said;
  EXPECT_NE(said.find("data/grain.jpg: cannot be opened; the picture loaded before stays\n"), std::string::npos) << said;
  EXPECT_NE(said.find("data/tolppa.3DS: chunk 4d4d at byte 0 with length 114143 runs past the end of the file at byte 100; "
                       "the model loaded before stays\n"), std::string::npos) << said;
  EXPECT_NE(said.find("data/tausta1.jpg: Premature end of JPEG file; the picture loaded before stays\n"), std::string::npos) << said;
  EXPECT_EQ(meshes.byModelId(0)->vertexCount, model.vertexCount());
}

}  // namespace
}  // namespace korvalin::test
