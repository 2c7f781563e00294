// The music aids: the tempo of click tracks, waveform peaks at three zooms and the strip's pixels,
// snapping and the loop keys scripted through the Editor.
#include "editor/music_aids.h"
#include "editor_fixture.h"
#include "timeline/sidecar.h"

namespace korvalin::test {
namespace {

constexpr int kRate = 44100;

// Every other click `offBeat` times as loud.
std::vector<float> clickTrack(double bpm, double firstClick, double seconds, float offBeat = 1.0f) {
  std::vector<float> s(static_cast<size_t>(seconds * kRate), 0.0f);
  for (int n = 0; firstClick + n * 60.0 / bpm < seconds; ++n) {
    const size_t at = static_cast<size_t>((firstClick + n * 60.0 / bpm) * kRate);
    const float loud = n % 2 == 0 ? 0.4f : 0.4f * offBeat;
    for (int j = 0; j < 800 && at + j < s.size(); ++j) s[at + j] = loud * std::sin(j * 0.14f) * std::exp(-j / 220.0f);
  }
  return s;
}

BeatGrid gridOf(const std::vector<float>& mono, std::optional<double> knownBpm = std::nullopt) {
  OnsetEnvelope onsets(kRate);
  onsets.add(mono.data(), mono.size());
  return detectBeatGrid(onsets, knownBpm);
}

TEST(TempoTest, ClickTracksKnownTempoAndSilence) {
  // The accented beat repeats every two, yet the pulse is the beat, up to the fastest tempo.
  for (double bpm : {90.0, 128.0, 174.0, 195.0}) {
    const BeatGrid grid = gridOf(clickTrack(bpm, 0.25, 30, 0.6f));
    EXPECT_TRUE(std::abs(grid.bpm - bpm) < 0.05 && std::abs(grid.offset - 0.25) < 0.01) << bpm << ": " << grid.bpm;
  }
  // A pulse a little off twice the tempo (every 110 or 119 envelope values, 187.9 or 173.7 BPM,
  // where the beat's half is 115) is not the beat's half.
  for (auto [lag, loudness] : {std::pair{110, 0.59f}, {119, 0.63f}}) {
    std::vector<float> track = clickTrack(90, 0.25, 30), off = clickTrack(44100.0 * 60 / (lag * 128), 0.1, 30);
    for (size_t i = 0; i < track.size(); ++i) track[i] += loudness * off[i];
    EXPECT_NEAR(gridOf(track).bpm, 90.0, 0.05) << lag;
  }
  // A known tempo only places the beats; silence has none.
  EXPECT_TRUE(gridOf(clickTrack(90, 0.25, 30), 120.0).bpm == 120.0 && !gridOf(std::vector<float>(20 * kRate)).valid());
}

// One clip on layer 0, a grid of 125 BPM from 0 (beats every 0.48 s), snapping on. At zoom 40 a
// pixel is 1 / 68.27 s.
TEST_F(EditorTest, DragsSnapStripShowsWaveformBeatsBarsAndLoop) {
  const double p = pixelsPerSecond(40);
  Timeline project;
  project.addClip(0, static_cast<float>(1.44 - 32 / p), 1.0f, kBox);
  start(project);
  MusicAids aids(path + kSidecarSuffix);
  aids.grid = BeatGrid{125.0, 0.0};
  editor->aids = &aids;
  key('G');
  // Drags snap to beats within six pixels, and let go without drift.
  pass(100, 611);
  pass(100, 611, L);
  pass(136, 611, L);
  EXPECT_EQ(timeline.layerClipTimes[0][0].start, 1.44f);  // 4 pixels from the beat
  pass(140, 611, L);
  pass(140, 611);
  EXPECT_FLOAT_EQ(timeline.layerClipTimes[0][0].start, 1.44f + 8 / p);  // 8 pixels: where the plain rules put it
  // Right half grabbed: the end, 1.44 + 8 / p + 1 s, comes to 2.40 from 2.7 pixels past it.
  drag({160, 152}, 611, R);
  EXPECT_FLOAT_EQ(timeline.layerClipTimes[0][0].start + timeline.layerClipTimes[0][0].length, 2.40f);

  std::vector<float> s(4 * kRate, 0.0f);  // silent but for a tone from 2.0 to 2.5 s
  for (int i = 2 * kRate; i < 5 * kRate / 2; ++i) s[i] = 0.8f * std::sin(i * 0.1f);
  auto peaks = std::make_shared<WaveformPeaks>(kRate);
  peaks->add(s.data(), s.size());
  peaks->finish();
  aids.setAnalysis(peaks, nullptr);
  // The loop from 0.5 to 1 s by the keys: the end may come first; an end not after the start is refused.
  for (auto [at, code] : {std::pair{1.0f, 'O'}, {0.5f, 'i'}, {0.25f, 'o'}}) {
    cursor = at;
    key(code);
  }
  EXPECT_TRUE(aids.loop.start == 0.5f && aids.loop.end == 1.0f);
  // The burst in the strip at three zooms (three levels of peaks), x 136.5 to 170.7 at zoom 40.
  const Rgb wave{38, 48, 84};
  for (int32_t zoom : {10, 2000, 40}) {
    const double p = pixelsPerSecond(zoom), viewStart = zoom > 40 ? 2.25 - 500 / p : 0.0;
    // Spans are widened to whole ones: at most a column, or a finest span, beyond the burst.
    const double margin = std::max(1 / p, double(WaveformPeaks::kFinestSpan) / kRate);
    editor->setZoom(zoom);
    editor->setViewStart(static_cast<float>(viewStart));
    pass(0, 0);
    grab();
    for (int32_t x = 0; x < 850; ++x) {  // left of the status
      const double t0 = viewStart + x / p, t1 = t0 + 1 / p;
      // 8 pixels above and below the middle: a column is full one way or the other; silence
      // leaves even the middle row empty.
      const bool shown = at(x, 748) == wave || at(x, 764) == wave || at(x, 756) == wave;
      EXPECT_TRUE(shown ? t1 >= 2.0 - margin && t0 <= 2.5 + margin : t0 < 2.0 || t1 > 2.5) << zoom << " " << x;
    }
  }
  // Beats every 32.77 pixels, bars every fourth from x 0, and the bars faintly across the rows.
  const Rgb beat{142, 140, 133}, bar{214, 212, 204};
  expectPixels({{229, 748, beat}, {262, 748, bar}, {0, 748, bar}, {262, 700, over(kBlack, 0.16, kEvenRow)},
                {30, 612, kEvenRow}}, 1);  // nothing of the loop band strays into the rows
  const Rgb loopBlue{60, 120, 230};
  expectPixels({{50, 590, over(loopBlue, 110.0 / 255.0, kBlack)}});  // the loop band, over the ruler text

  // At 1920 BPM and 128 pixels a second, beats 4 pixels apart are still drawn, bars every 16.
  aids.grid = BeatGrid{1920.0, 0.0};
  editor->setZoom(75);
  pass(0, 0);
  grab();
  // Lines one pixel wide, whatever width the rows' grid left behind.
  const Rgb strip{112, 110, 104};
  expectPixels({{0, 748, bar}, {4, 748, beat}, {2, 748, strip}, {3, 748, strip}, {5, 748, strip}, {16, 748, bar}});
  aids.loop = LoopRange{3.0f, std::nullopt};  // one end alone: a mark at x 384
  pass(0, 0);
  grab();
  expectPixels({{384, 590, over(loopBlue, 200.0 / 255.0, kCanvas)}});
  // A window of 64 frames reads the 64-frame spans, widened to whole ones: from frame 0 here;
  // one of 32 the 32-frame spans. Clicks in the second half of a span and in the last, part span.
  WaveformPeaks spike(64);  // 64 frames a second, so that the times are exact
  std::vector<float> first(260, 0.0f);
  first[0] = first[160] = first[258] = 1.0f;
  spike.add(first.data(), first.size());
  spike.finish();
  EXPECT_TRUE(spike.range(0.5, 1.5).high > 0.0f && spike.range(0.5, 1.0).high == 0.0f);
  EXPECT_TRUE(spike.range(2.0, 3.0).high > 0.0f && spike.range(4.0, 4.1).high > 0.0f);
}

}  // namespace
}  // namespace korvalin::test
