// The editor's part in the main loop: the real hooks over a real Editor, driven by window events
// through updateFrame and drawFrame, with a hand-set music stream and ticks that stand still.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "shell/frame_pass.h"
#include "shell/shell_app.h"
#include "tests/common/canvas.h"
#include "tests/shell/fake_music.h"
#include "timeline/project_file.h"
#include "tools/music.h"

namespace korvalin::test {
namespace {

class HooksTest : public CanvasTest {
 protected:
  void SetUp() override {
    CanvasTest::SetUp();
    char pattern[] = "/tmp/korvalin-hooks-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    services.projectPath = dir + "/save.brz";
  }
  void TearDown() override {
    hooks.reset();
    std::remove(services.projectPath.c_str());
    rmdir(dir.c_str());
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
  float pass(int32_t x, int32_t y, std::initializer_list<WindowEvent> events = {}) {
    for (const WindowEvent& e : events) applyWindowEvent(e, state);
    state.input.mouseX = x;
    state.input.mouseY = y;
    updateFrame(state, *hooks, transport, timeline);
    clear();
    float drawnAt = -1.0f;
    drawFrame(*hooks, transport, true, [&](float t) { drawnAt = t; });
    return drawnAt;
  }

  std::string dir;
  uint32_t now = 100000;
  PlaybackClock clock{[this] { return now; }};
  FakeMusic music;
  Transport transport{clock, music};
  Timeline timeline;
  ShellServices services{timeline, clock, transport, font, "", true};  // the glyph-coded sheets
  std::unique_ptr<EditorHooks> hooks;
  ShellState state;
};

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
  EXPECT_EQ(state.input.wheelStep, 0);
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

  // The quit question's two hooks: unsaved changes, and saving them.
  EXPECT_FALSE(hooks->hasUnsavedChanges());
  timeline.addClip(0, 1.0f, 1.0f, kBox);
  EXPECT_TRUE(hooks->hasUnsavedChanges() && hooks->saveProjectNow() && !hooks->hasUnsavedChanges());
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
    for (int i = 0; i < 1000 && (access(copy.c_str(), F_OK) == 0) != there; ++i) {
      pass(168, 611);
      usleep(10000);
    }
    return (access(copy.c_str(), F_OK) == 0) == there;
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
  EXPECT_EQ(access(copy.c_str(), F_OK), 0);
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

// In --editor mode the music is analysed beside the loop; once the analysis is done, a pass takes
// it and the strip below the rows shows the waveform.
TEST_F(HooksTest, TheMusicStripFillsInOnceTheAnalysisIsDone) {
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir(dir.c_str()), 0);
  ASSERT_EQ(mkdir("data", 0755), 0);
  std::vector<float> tone(5 * 44100 * 2);
  for (size_t i = 0; i < tone.size(); ++i) tone[i] = 0.5f * std::sin(static_cast<float>(i / 2) * 0.0627f);
  std::string error;
  ASSERT_TRUE(content::writeOggVorbis("data/Vavorerid_by__qx_.ogg", tone, 44100, 0.4f, &error)) << error;
  const auto waveformPixels = [&] {
    grab();
    int n = 0;
    for (int y = 746; y <= 766; ++y)
      for (int x = 0; x < 840; ++x) n += at(x, y) == Rgb{38, 48, 84};
    return n;
  };
  start(Timeline(), 0.0);
  pass(500, 300);
  EXPECT_EQ(waveformPixels(), 0);
  int shown = 0;
  for (int i = 0; i < 2000 && shown < 100; ++i, usleep(10000)) {
    pass(500, 300);
    shown = waveformPixels();
  }
  EXPECT_GE(shown, 100);
  std::remove("data/Vavorerid_by__qx_.ogg");
  rmdir("data");
  ASSERT_EQ(chdir(cwd), 0);
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

}  // namespace
}  // namespace korvalin::test
