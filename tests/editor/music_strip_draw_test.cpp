// The strip's pixels in a hidden llvmpipe window: waveform columns, beat and bar lines, the loop
// band; and a new clip's start snapped by "Proceed".
#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>

#include "editor/music_aids.h"
#include "timeline/sidecar.h"
#include "editor/ui_draw.h"
#include "editor_fixture.h"
#include "tests/common/gl_test_context.h"

extern "C" const char* __lsan_default_options() { return "detect_leaks=0"; }  // the GL driver's

namespace korvalin::test {
namespace {

class StripDrawTest : public EditorTest {
 protected:
  void SetUp() override {
    EditorTest::SetUp();
    ASSERT_TRUE(gl.ok()) << gl.error();
    setTextTextures(nullptr);
    startWith(Timeline());
    aids = std::make_unique<MusicAids>(path + kSidecarSuffix);
    aids->grid = BeatGrid{125.0, 0.0};
    editor->aids = aids.get();
  }
  void TearDown() override {
    std::remove((path + kSidecarSuffix).c_str());
    EditorTest::TearDown();
  }
  void frame(const Pass& p) {
    run(p);
    glViewport(0, 0, 1024, 768);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(90.0, 1024.0 / 768.0, 0.1, 2000.0);
    beginEditorCanvas();
    editor->drawEditor();
  }
  std::vector<int> at(int x, int y) const {
    const std::vector<uint8_t> p = gl.pixel(x, 767 - y);
    return {p[0], p[1], p[2]};
  }

  GlTestContext gl{1024, 768};
  std::unique_ptr<MusicAids> aids;
};

TEST_F(StripDrawTest, WaveformBeatAndBarLinesAndLoopBandLandOnTheirColumns) {
  std::vector<float> s(4 * 44100, 0.0f);
  for (int i = 88200; i < 110250; ++i) s[i] = 0.8f * std::sin(i * 0.1f);  // 2.0 to 2.5 s
  auto peaks = std::make_shared<WaveformPeaks>();
  peaks->add(s.data(), s.size());
  peaks->finish();
  aids->setAnalysis(peaks, nullptr);
  aids->loop.start = 0.5f;
  aids->loop.end = 1.0f;
  frame({});

  // At zoom 40 a second is 68.27 pixels: the burst covers x 136.5 to 170.7, beats lie every
  // 32.77 pixels, bars every fourth.
  const std::vector<int> wave{38, 48, 84}, strip{112, 110, 104}, beat{142, 140, 133}, bar{214, 212, 204};
  for (int x : {138, 150, 169}) EXPECT_EQ(at(x, 748), wave) << x;
  for (int x : {134, 173, 250}) EXPECT_EQ(at(x, 748), strip) << x;
  EXPECT_EQ(at(229, 748), beat);
  EXPECT_EQ(at(262, 748), bar);
  EXPECT_LT(at(262, 700)[0], at(250, 700)[0]);  // faintly across the rows
  EXPECT_GT(at(50, 590)[2], at(50, 590)[0] + 40);   // the loop band, blue on the ruler
  EXPECT_EQ(at(80, 590), at(120, 590));            // and nothing beyond its end
}

TEST_F(StripDrawTest, ProceedPlacesTheNewClipOnTheNearestBeat) {
  key('G');
  editor->setPlayCursor(static_cast<float>(1.44 + 5 / pixelsPerSecond(40)));
  frame({0, 0, false, false, false, 0, kKeyN});
  for (bool down : {false, true, false}) frame({700, 105, down});  // "Camera"
  for (bool down : {false, true}) frame({700, 155, down});         // "Proceed"
  ASSERT_EQ(timeline.clipCount(0), 1);
  EXPECT_EQ(timeline.layerClipTimes[0][0].start, 1.44f);
}

}  // namespace
}  // namespace korvalin::test
