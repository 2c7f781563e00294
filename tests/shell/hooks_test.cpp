// The editor's side of the main loop: the real hooks over a real Editor, driven by window events
// through updateFrame and drawFrame with a hand-set music stream and ticks that stand still; the
// pictures and models it reloads, and the music's strip made on a worker thread. Files are written
// with the asset generator's own writers into a run folder of the test's own.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "shell/asset_watch.h"
#include "shell/frame_pass.h"
#include "shell/music_analysis.h"
#include "shell/shell_app.h"
#include "tests/common/canvas.h"
#include "tests/shell/fake_music.h"
#include "timeline/project_file.h"
#include "tools/image_files.h"
#include "tools/models.h"
#include "tools/music.h"

namespace korvalin::test {
namespace {

// Calls `step` until it returns true, for ten seconds at most: the work waited for runs on
// other threads.
bool waitUntil(const std::function<bool()>& step) {
  for (int i = 0; i < 1000; ++i) {
    if (step()) return true;
    usleep(10000);
  }
  return false;
}

// A run folder of the test's own is the working folder; standard input is closed, as a launcher
// may leave it, so the asset watch can get descriptor 0.
class RunFolderTest : public CanvasTest {
 protected:
  void SetUp() override {
    CanvasTest::SetUp();
    char pattern[] = "/tmp/korvalin-shell-XXXXXX";
    ASSERT_TRUE(getcwd(cwd, sizeof cwd) && mkdtemp(pattern) && chdir(pattern) == 0);
    dir = pattern;
    stdinCopy = dup(STDIN_FILENO);
    close(STDIN_FILENO);
  }
  void TearDown() override {
    dup2(stdinCopy, STDIN_FILENO);
    close(stdinCopy);
    ASSERT_EQ(chdir(cwd), 0);
    std::system(("rm -rf " + dir).c_str());
  }
  char cwd[4096];
  std::string dir;
  int stdinCopy = -1;
};

class HooksTest : public RunFolderTest {
 protected:
  void TearDown() override {
    hooks.reset();
    RunFolderTest::TearDown();
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

  uint32_t now = 100000;
  PlaybackClock clock{[this] { return now; }};
  FakeMusic music;
  Transport transport{clock, music};
  Timeline timeline;
  ShellServices services{timeline, clock, transport, font, "save.brz", true};  // the glyph-coded sheets
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
  ASSERT_EQ(mkdir("data", 0755), 0);
  std::vector<float> tone(5 * 44100 * 2);
  for (size_t i = 0; i < tone.size(); ++i) tone[i] = 0.5f * std::sin(static_cast<float>(i / 2) * 0.0627f);
  std::string error;
  ASSERT_TRUE(content::writeOggVorbis("data/Vavorerid_by__qx_.ogg", tone, 44100, 0.4f, &error)) << error;
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
TEST_F(RunFolderTest, ReloadsWhatTheTableNamesAndKeepsWhatCannotBeRead) {
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

// Taken once, when the worker is done; the strip is the channels' mix, so a right channel
// opposite to the left one mixes to silence.
TEST(MusicAnalyserTest, TakenOnceAndMixedToMono) {
  const std::string path = ::testing::TempDir() + "korvalin_analysis_" + std::to_string(getpid()) + ".ogg";
  const struct { int channels; float loudest; } files[] = {{2, 0.0f}, {1, 0.5f}};
  for (const auto& f : files) {
    std::vector<float> samples((8192 + 1) * f.channels);  // one frame more than a block read
    for (size_t i = 0; i < samples.size(); ++i) {
      const double v = 0.5 * std::sin(2 * M_PI * static_cast<double>(i / f.channels) / 8);
      samples[i] = static_cast<float>(i % f.channels ? -v : v);
    }
    std::string error;
    ASSERT_TRUE(content::writeOggVorbis(path, samples, 44100, 0.6f, &error, 1, f.channels)) << error;
    MusicAnalyser analyser(path);
    std::unique_ptr<MusicAnalysis> analysis;
    ASSERT_TRUE(waitUntil([&] { return (analysis = analyser.take()) != nullptr; }));
    EXPECT_EQ(analyser.take(), nullptr);
    ASSERT_TRUE(analysis->peaks && analysis->onsets && analysis->error.empty()) << analysis->error;
    EXPECT_NEAR(analysis->peaks->loudest(), f.loudest, 0.1f) << f.channels;
    EXPECT_EQ(analysis->peaks->frames(), 8192 + 1);
  }
  std::remove(path.c_str());
  MusicAnalyser missing(path);
  std::unique_ptr<MusicAnalysis> analysis;
  ASSERT_TRUE(waitUntil([&] { return (analysis = missing.take()) != nullptr; }));
  EXPECT_TRUE(!analysis->peaks && analysis->error == path + ": No such file or directory");
}

}  // namespace
}  // namespace korvalin::test
