// The music aids: waveform peaks at three zooms, the tempo and first beat of the generated
// track and of click tracks, snapping scripted through the Editor, and the loop keys.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <random>

#include "editor/music_aids.h"
#include "timeline/sidecar.h"
#include "editor_fixture.h"
#include "shell/music_analysis.h"

namespace korvalin::test {
namespace {

constexpr int kRate = 44100;

std::vector<float> clickTrack(double bpm, double firstClick, double seconds) {
  std::vector<float> s(static_cast<size_t>(seconds * kRate), 0.0f);
  for (double t = firstClick; t < seconds; t += 60.0 / bpm) {
    const size_t at = static_cast<size_t>(t * kRate);
    for (int j = 0; j < 800 && at + j < s.size(); ++j) s[at + j] = 0.4f * std::sin(j * 0.14f) * std::exp(-j / 220.0f);
  }
  return s;
}

BeatGrid gridOf(const std::vector<float>& mono, std::optional<double> knownBpm = std::nullopt) {
  OnsetEnvelope onsets(kRate);
  onsets.add(mono.data(), mono.size());
  return detectBeatGrid(onsets, knownBpm);
}

TEST(WaveformTest, ToneBurstFillsItsColumnsAtThreeZooms) {
  std::vector<float> s(4 * kRate, 0.0f);
  for (int i = 2 * kRate; i < 5 * kRate / 2; ++i) s[i] = 0.8f * std::sin(i * 0.1f);
  WaveformPeaks peaks(kRate);
  peaks.add(s.data(), s.size());
  peaks.finish();
  EXPECT_NEAR(peaks.loudest(), 0.8f, 0.01f);
  for (int32_t zoom : {1, 40, 2000}) {
    const double p = pixelsPerSecond(zoom), viewStart = 2.25 - 500 / p;
    // Spans are widened to whole ones: at most a column, or a finest span, beyond the burst.
    const double margin = std::max(1 / p, double(WaveformPeaks::kFinestSpan) / kRate);
    std::vector<PeakPair> columns;
    peakColumns(peaks, viewStart, p, 1024, columns);
    for (int32_t x = 0; x < 1024; ++x) {
      const double t0 = viewStart + x / p, t1 = t0 + 1 / p;
      const float reach = std::max(columns[x].high, -columns[x].low);
      if (t0 >= 2.0 && t1 <= 2.5) EXPECT_GT(reach, 0.75f) << "zoom " << zoom << " x " << x;
      if (t1 < 2.0 - margin || t0 > 2.5 + margin) EXPECT_EQ(reach, 0.0f) << "zoom " << zoom << " x " << x;
    }
  }
}

TEST(TempoTest, GeneratedTrackClickTracksAndSilence) {
  std::atomic<bool> cancel{false};
  const MusicAnalysis track = analyseMusic(KORVALIN_RUN_DIR "/data/Vavorerid_by__qx_.ogg", cancel);
  ASSERT_TRUE(track.onsets) << track.error;
  BeatGrid grid = detectBeatGrid(*track.onsets);
  EXPECT_NEAR(grid.bpm, 125.0, 0.5);
  EXPECT_NEAR(std::remainder(grid.offset, 4 * 0.48), 0.0, 0.01);  // its bars start at 0

  for (double bpm : {90.0, 128.0, 174.0}) {
    grid = gridOf(clickTrack(bpm, 0.25, 30));
    EXPECT_NEAR(grid.bpm, bpm, 0.5);
    EXPECT_NEAR(grid.offset, 0.25, 0.01) << bpm;
  }
  // Bars count from the first click, wherever it falls: 3.0 s is 1.125 s into a bar at 128.
  EXPECT_NEAR(gridOf(clickTrack(128, 3.0, 30)).offset, 1.125, 0.01);
  // A known tempo only places the beats.
  grid = gridOf(clickTrack(90, 0.25, 30), 120.0);
  EXPECT_EQ(grid.bpm, 120.0);

  EXPECT_FALSE(gridOf(std::vector<float>(20 * kRate, 0.0f)).valid());
  std::vector<float> noise(20 * kRate);
  std::mt19937 rng(3);
  std::normal_distribution<float> normal(0.0f, 0.2f);
  for (float& x : noise) x = normal(rng);
  EXPECT_FALSE(gridOf(noise).valid());
  EXPECT_FALSE(gridOf(clickTrack(120, 0.0, 3.0)).valid());  // too short to tell
}

// Beats every 0.48 s; at zoom 40 a pixel is 1 / 68.27 s.
class SnapTest : public EditorTest {
 protected:
  void TearDown() override {
    std::remove(sidecar().c_str());
    EditorTest::TearDown();
  }
  std::string sidecar() const { return path + kSidecarSuffix; }
  void start(float clipStart) {
    Timeline project;
    project.addClip(0, clipStart, 1.0f, kBox);
    startWith(project);
    aids = std::make_unique<MusicAids>(sidecar());
    aids->grid = BeatGrid{125.0, 0.0};
    editor->aids = aids.get();
    key('G');
  }
  // A left (or right) drag on layer 0 pressed at the first x, released at the last.
  void drag(std::vector<int32_t> xs, bool right = false) {
    run(Pass{xs.front(), rowMiddle(0)});
    for (int32_t x : xs) run(Pass{x, rowMiddle(0), !right, false, right});
    run(Pass{xs.back(), rowMiddle(0)});
  }
  ClipBar& bar() { return timeline.tracks[0].bars[0]; }
  std::unique_ptr<MusicAids> aids;
  const double p = pixelsPerSecond(40);
};

TEST_F(SnapTest, MovedStartLandsOnABeatWithinSixPixelsAndLetsGoWithoutDrift) {
  const float clipStart = static_cast<float>(1.44 - 36 / p);  // 40 pixels right: 4 past the beat
  start(clipStart);
  for (Pass pass : {Pass{100, 611}, Pass{100, 611, true}, Pass{140, 611, true}}) run(pass);
  EXPECT_EQ(bar().start, 1.44f);
  EXPECT_EQ(timeline.layerClipTimes[0][0].start, 1.44f);
  run(Pass{150, 611, true});  // 14 pixels past: free again, where the plain rules put it
  EXPECT_EQ(bar().start, static_cast<float>(static_cast<float>(clipStart + 40 / p) + 10 / p));

  key('G');
  EXPECT_FALSE(aids->snapping);
  EXPECT_EQ(aids->snapTime(1.44f + 4 / p, 40), 1.44f + 4 / p);
}

TEST_F(SnapTest, EightPixelsAwayStaysAndEdgesSnapAsTheyResize) {
  start(static_cast<float>(1.44 - 32 / p));
  drag({100, 140});
  EXPECT_FLOAT_EQ(bar().start, 1.44f + 8 / p);

  // Right half grabbed: the end, 1.44 + 8 / p + 1 s, comes to 2.40 from 2.7 pixels past it.
  drag({160, 152}, true);
  EXPECT_FLOAT_EQ(bar().start + bar().length, 2.40f);
  // Left half: the start comes to 1.44 from 3 pixels right of it; the end stays.
  drag({110, 105}, true);
  EXPECT_FLOAT_EQ(bar().start, 1.44f);
  EXPECT_FLOAT_EQ(bar().start + bar().length, 2.40f);
}

// Snapping switched on and off again in the middle of drags: whenever it is off, every bar is
// where the plain rules alone would have put it.
TEST_F(SnapTest, SnappingOffFollowsThePlainRulesBitForBit) {
  start(1.0f);
  key('G');
  const uint8_t g = 'G';
  const std::vector<Pass> script = {
      {100, 611}, {100, 611, true}, {137, 611, true, false, false, 0, g}, {143, 611, true},
      {131, 611, true, false, false, 0, g}, {90, 611, true}, {90, 611}, {120, 611},
      {120, 611, false, false, true, 0, g}, {101, 611, false, false, true}, {160, 611, false, false, true, 0, g},
      {163, 611, false, false, true}, {80, 611}, {80, 611, false, false, true}, {75, 611, false, false, true},
      {76, 611}};
  std::vector<float> withAids, plain;
  for (const Pass& pass : script) {
    const bool snapped = aids->snapping;
    run(pass);
    if (!snapped) withAids.insert(withAids.end(), {bar().start, bar().length});
  }
  editor->aids = nullptr;
  key('L');
  aids->snapping = false;
  for (const Pass& pass : script) {
    const bool snapped = aids->snapping;
    run(pass);
    if (pass.key == g) aids->snapping = !aids->snapping;
    if (!snapped) plain.insert(plain.end(), {bar().start, bar().length});
  }
  EXPECT_EQ(withAids, plain);
}

TEST_F(SnapTest, LoopKeysSetRefuseClearAndKeepTheSidecar) {
  start(1.0f);
  auto at = [&](float t, uint8_t code) {
    editor->setPlayCursor(t);
    key(code);
  };
  at(14.0f, 'O');  // the end may come first
  at(10.0f, 'i');
  at(20.0f, 'I');  // not before the end: refused
  at(9.0f, 'O');   // not after the start: refused
  EXPECT_EQ(aids->loop.start, 10.0f);
  EXPECT_EQ(aids->loop.end, 14.0f);
  EXPECT_TRUE(aids->loop.wrapDue(13.99f, 14.0f));
  EXPECT_FALSE(aids->loop.wrapDue(14.5f, 15.0f));  // put past the end: plays on
  EXPECT_EQ(MusicAids(sidecar()).loop.end, 14.0f);
  at(12.0f, 'K');
  EXPECT_FALSE(aids->loop.start || aids->loop.end);
  EXPECT_FALSE(MusicAids(sidecar()).loop.start);
}

}  // namespace
}  // namespace korvalin::test
