// The timeline view's pixels on the 1024 x 768 canvas (hidden llvmpipe window), culling that
// changes neither a pixel nor a hover, and the editor's four hooks in the shell's pass order.
#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <vector>

#include "assets/texture_table.h"
#include "editor_fixture.h"
#include "platform/music_api.h"
#include "shell/editor_hooks.h"
#include "shell/playback_clock.h"
#include "shell/transport.h"
#include "tests/common/gl_test_context.h"

// The GL driver leaks from a module that is unloaded before LeakSanitizer reports, so no
// suppression by module name can match; the Editor's own allocations are leak-checked by the
// logic tests. Memory errors are still caught here.
extern "C" const char* __lsan_default_options() { return "detect_leaks=0"; }

namespace korvalin::test {
namespace {

struct Rgb { int r, g, b; };

// The view the shell's editor pass sets up: 384 canvas pixels to the unit, origin top left.
void beginCanvas() {
  glViewport(0, 0, 1024, 768);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(90.0, 1024.0 / 768.0, 0.1, 2000.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glEnable(GL_DEPTH_TEST);
  glDisable(GL_TEXTURE_2D);
  glClearColor(199.0f / 255.0f, 193.0f / 255.0f, 184.0f / 255.0f, 0.5f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glTranslatef(-1.3334f, 1.0f, -1.0f);
  glColor3f(1.0f, 1.0f, 1.0f);
}

// Translucent colour over an opaque one, as source alpha / one minus source alpha blends it.
Rgb over(Rgb src, double alpha, Rgb dst) {
  auto mix = [&](int s, int d) { return static_cast<int>(s * alpha + d * (1.0 - alpha) + 0.5); };
  return {mix(src.r, dst.r), mix(src.g, dst.g), mix(src.b, dst.b)};
}

const Rgb kEvenRow{167, 165, 160};
const Rgb kGrid{184, 182, 177};

// One texel of ink for every font sheet, so that labels leave pixels that culling must not change.
struct InkFont {
  InkFont() {
    const uint8_t texel[4] = {0, 0, 0, 255};
    glGenTextures(1, &table.names[0]);
    glBindTexture(GL_TEXTURE_2D, table.names[0]);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texel);
    table.names[1] = table.names[2] = table.names[0];
    setTextTextures(&table);
  }
  ~InkFont() {
    setTextTextures(nullptr);
    glDeleteTextures(1, &table.names[0]);
  }
  TextureTable table;
};

class EditorDrawTest : public EditorTest {
 protected:
  void SetUp() override {
    EditorTest::SetUp();
    ASSERT_TRUE(gl.ok()) << gl.error();
    setTextTextures(nullptr);
  }
  void frame(const Pass& p) {
    run(p);
    beginCanvas();
    editor->drawEditor();
  }
  // The canvas pixel at (x, y), y downwards, within 2 of want on every channel.
  ::testing::AssertionResult at(int x, int y, Rgb want) const {
    const std::vector<uint8_t> p = gl.pixel(x, 767 - y);
    if (std::abs(p[0] - want.r) <= 2 && std::abs(p[1] - want.g) <= 2 && std::abs(p[2] - want.b) <= 2) {
      return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << x << "," << y << ": " << +p[0] << " " << +p[1] << " " << +p[2];
  }
  void keep(const char* name) { writePng(artifactDir() + "/" + name, 1024, 768, gl.readPixels(0, 0, 1024, 768)); }

  GlTestContext gl{1024, 768};
};

TEST_F(EditorDrawTest, BarsNegativeTimeAndGridLandOnTheirPixels) {
  startWith(Timeline());
  timeline.addClip(0, 3.0f, 1.5f, kBox);
  frame({});
  frame({});
  const Rgb bar = over({128, 128, 255}, 84.0 / 255.0, kEvenRow);
  // 204.8 to 307.2, drawn from 204 to 307, below the row's top line.
  EXPECT_TRUE(at(210, 612, bar) && at(300, 602, bar));
  EXPECT_TRUE(at(200, 612, kEvenRow) && at(311, 612, kEvenRow) && at(250, 600, kEvenRow));

  auto gridNear = [&](int x) { return at(x - 1, 740, kGrid) || at(x, 740, kGrid) || at(x + 1, 740, kGrid); };
  editor->setViewStart(-5.0f);
  editor->shiftGrid(-5);
  frame({});
  const Rgb shaded = over({0, 0, 0}, 0.2, kEvenRow);
  EXPECT_TRUE(at(10, 612, shaded) && at(339, 612, shaded));  // x 0 to 341 lie before time 0
  EXPECT_TRUE(at(343, 612, kEvenRow));
  EXPECT_TRUE(gridNear(395) && !gridNear(405));  // first line at x -5
  editor->shiftGrid(90);
  frame({});
  EXPECT_TRUE(gridNear(405) && !gridNear(395));  // first line at x 5
}

TEST_F(EditorDrawTest, CullingChangesNoPixelAndNoHover) {
  InkFont font;
  std::mt19937 random(11);
  std::uniform_real_distribution<float> start(-40.0f, 120.0f), length(0.005f, 6.0f);
  Timeline project;
  for (int i = 0; i < 150 * kLayerCount; ++i) {
    project.addClip(i % kLayerCount, start(random), length(random), static_cast<int32_t>(random() % kOperatorTypeCount));
  }
  project.addClip(2, 1e30f, 1.0f, kFlat);
  startWith(project);

  const struct { int32_t zoom; float viewStart; int32_t scroll; } views[] = {{40, 37.25f, -3}, {1, -300.0f, -10}, {kMaxZoom, 3.0f, 0}};
  for (const auto& view : views) {
    editor->setZoom(view.zoom);
    editor->viewStart = view.viewStart;
    editor->trackScroll = view.scroll;
    std::vector<uint8_t> pixels[2];
    std::vector<bool> hovers[2];
    for (int culled = 0; culled < 2; ++culled) {
      editor->cullBars = culled == 1;
      frame({517, 650});
      frame({517, 650});
      pixels[culled] = gl.readPixels(0, 0, 1024, 768);
      for (int32_t y = 598; y < 745; y += 6) {
        for (int32_t x = -20; x < 1050; x += 23) {
          editor->mouseMove(x, y);
          for (const LayerTrack& layer : timeline.tracks) {
            for (const ClipBar& bar : layer.bars) hovers[culled].push_back(bar.hovered);
          }
        }
      }
    }
    EXPECT_TRUE(pixels[0] == pixels[1]) << "zoom " << view.zoom;
    EXPECT_TRUE(hovers[0] == hovers[1]) << "zoom " << view.zoom;
  }
  keep("editor-culling.png");
}

// Music whose time stands still with the ticks; a seek moves it.
class FakeMusic : public MusicApi {
 public:
  void init() override {}
  bool open(const char*) override { return true; }
  void playPaused() override {}
  void setPaused(bool) override {}
  void setPosition(uint32_t bytes) override {
    positions.push_back(bytes);
    timeMs = static_cast<int32_t>(bytes / (kBytesPerSecond / 1000));
  }
  int32_t getTime() override { return timeMs; }
  int32_t getLength() override { return 0x7fffffff; }
  int32_t timeMs = 0;
  std::vector<uint32_t> positions;
};

class EditorHooksTest : public EditorDrawTest {
 protected:
  void start(double seconds) {
    services.projectPath = path;
    music.timeMs = static_cast<int32_t>(seconds * 1000.0);
    clock.seek(seconds);
    hooks = makeEditorHooks(services);
    hooks->editorStartup();
  }
  // One shell pass; `seen` is the position the demo frame of the pass is drawn at, before the
  // clock takes the music's position again.
  void pass(int32_t x, int32_t y, bool left = false, int32_t wheel = 0, uint8_t key = 0) {
    input = ShellInput{key, static_cast<uint8_t>(left), 0, 0, wheel, x, y};
    hooks->editorInput(input);
    transport.resumePlaying();
    hooks->editorKeys();
    timeline.syncAllClipTimes();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(90.0, 1024.0 / 768.0, 0.1, 2000.0);
    hooks->editorPass();
    seen = clock.elapsed();
    transport.syncClockToMusic();
  }

  uint32_t now = 100000;  // ticks stand still
  PlaybackClock clock{[this] { return now; }};
  FakeMusic music;
  Transport transport{clock, music};
  TextureTable textures;
  ShellServices services{timeline, clock, transport, textures, "", true};
  ShellInput input;
  std::unique_ptr<EditorHooks> hooks;
  float seen = 0.0f;
};

TEST_F(EditorHooksTest, NewClipThroughTheDialogsAtThePlayPositionThenSave) {
  Timeline expected;
  expected.addClip(0, 1.0f, 2.0f, kBox);
  writeProject(expected);
  start(12.5);
  const float playPosition = clock.elapsed();  // 12.5 in the clock's float arithmetic
  pass(0, 0, false, 0, kKeyN);
  pass(700, 105);
  pass(700, 105, true);  // "Camera"
  pass(700, 105);
  for (int i = 0; i < 4; ++i) pass(780, 45, false, +1);  // Layer field to 4,
  pass(780, 45, false, -1);                               // and back to 3
  pass(700, 155);
  keep("editor-new-operator-dialog.png");
  EXPECT_FALSE(hooks->hasUnsavedChanges());
  pass(700, 155, true);  // "Proceed"
  EXPECT_EQ(timeline.editMode, kEditNothing);
  EXPECT_TRUE(hooks->hasUnsavedChanges());
  pass(700, 155, false, 0, kKeyY);
  EXPECT_FALSE(hooks->hasUnsavedChanges());
  expected.addClip(3, playPosition, 1.0f, kCamera);
  EXPECT_EQ(readFile(path), encodeProject(expected));
}

TEST_F(EditorHooksTest, StopRewindsEveryPassAndOnlyThenTheMarkerScrubs) {
  start(3.0);
  pass(0, 0, false, 0, kKeyN);
  hooks->editorStartup();  // a new window closes the list
  pass(0, 0);              // a key pressed and released between passes never arrives
  EXPECT_EQ(timeline.editMode, kEditNothing);

  for (int i = 0; i < 3; ++i) pass(160, 500, true);  // "Stop" held
  EXPECT_EQ(music.positions, std::vector<uint32_t>({0, 0, 0}));
  EXPECT_EQ(seen, 0.0f);
  pass(5, 590);
  pass(5, 590, true);  // the handle at time 0
  pass(133, 590, true);
  EXPECT_FLOAT_EQ(seen, 1.875f);  // 128 pixels at zoom 40
  pass(-200, 590, true);
  EXPECT_EQ(seen, 0.0f);  // not wrapped around to some 49 days
  pass(-200, 590);

  pass(30, 500, true);  // "Play": the handle still highlights, but the position stays
  pass(30, 500);
  music.timeMs = 2000;
  clock.seek(2.0);
  pass(136, 590);
  pass(136, 590);
  pass(136, 590, true);
  pass(300, 590, true);
  EXPECT_EQ(seen, 2.0f);
}

}  // namespace
}  // namespace korvalin::test
