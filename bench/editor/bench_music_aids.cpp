// What the music aids add to an editor pass with the default project (run from the run folder,
// as scripts/bench.sh does): the pass with and without the waveform strip, beat and bar lines and
// loop band, at zooms from the whole music across the width to a few milliseconds per pixel.
#include <GL/gl.h>
#include <GL/glu.h>
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <time.h>

#include <atomic>
#include <memory>

#include "bench/canvas_bench.h"
#include "editor/editor.h"
#include "editor/music_aids.h"
#include "editor/ui_draw.h"
#include "shell/music_analysis.h"

namespace {

using namespace korvalin;

struct DefaultProject {
  DefaultProject() {
    std::atomic<bool> cancel{false};
    MusicAnalysis analysis = analyseMusic("data/Vavorerid_by__qx_.ogg", cancel);
    aids.setAnalysis(analysis.peaks, analysis.onsets);
    aids.loop.start = 30.0f;
    aids.loop.end = 45.0f;
    aids.snapping = true;
  }
  Timeline timeline;
  Editor editor{timeline, &bench::patternSheets(), "save.brz"};
  MusicAids aids{"/nonexistent/save.brz.meta"};
};

DefaultProject& project() {
  static DefaultProject shared;
  return shared;
}

// Main-thread CPU time of a call, in microseconds.
template <typename F>
double cpuMicroseconds(F&& f) {
  timespec a{}, b{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &a);
  f();
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &b);
  return (b.tv_sec - a.tv_sec) * 1e6 + (b.tv_nsec - a.tv_nsec) / 1e3;
}

// Arg: zoom. The view starts 30 s in. Every iteration makes two editor passes, one without the
// aids and one with them, so that the difference is taken under the same load of the machine;
// the counters give each pass's main-thread CPU and what the aids add.
void BM_EditorPassWithMusicAids(benchmark::State& state) {
  if (!bench::canvasContext().ok()) {
    state.SkipWithError("no GL context");
    return;
  }
  DefaultProject& p = project();
  if (!p.aids.peaks) {
    state.SkipWithError("no music in data/ (run from the run folder)");
    return;
  }
  p.editor.setZoom(static_cast<int32_t>(state.range(0)));
  p.editor.setViewStart(30.0f);
  glViewport(0, 0, 1024, 768);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(90.0, 1024.0 / 768.0, 0.1, 2000.0);
  int frame = 0;
  double without = 0.0, with = 0.0;
  auto pass = [&](MusicAids* aids) {
    p.editor.aids = aids;
    p.editor.mouseMove(100 + (frame * 37) % 800, 605 + (frame * 11) % 140);
    p.editor.setPlayCursor(31.0f);
    p.editor.releaseButtons();
    p.editor.handleKey();
    beginEditorCanvas();
    setTextTextures(&bench::patternSheets());
    p.editor.drawEditor();
    glFinish();
  };
  for (auto _ : state) {
    without += cpuMicroseconds([&] { pass(nullptr); });
    with += cpuMicroseconds([&] { pass(&p.aids); });
    ++frame;
  }
  using benchmark::Counter;
  state.counters["without_us"] = Counter(without, Counter::kAvgIterations);
  state.counters["with_us"] = Counter(with, Counter::kAvgIterations);
  state.counters["added_us"] = Counter(with - without, Counter::kAvgIterations);
}
BENCHMARK(BM_EditorPassWithMusicAids)->Arg(1)->Arg(40)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

// The music read once for the strip and the beat: decoding the 156 s track, peaks and onsets,
// then the tempo search; what the worker thread does at start-up.
void BM_AnalyseMusic(benchmark::State& state) {
  std::atomic<bool> cancel{false};
  for (auto _ : state) {
    MusicAnalysis analysis = analyseMusic("data/Vavorerid_by__qx_.ogg", cancel);
    if (!analysis.onsets) {
      state.SkipWithError("no music in data/ (run from the run folder)");
      return;
    }
    benchmark::DoNotOptimize(detectBeatGrid(*analysis.onsets).bpm);
  }
}
BENCHMARK(BM_AnalyseMusic)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

// The heap keeps its top, as in bench_editor: llvmpipe's buffer churn would dominate otherwise.
int main(int argc, char** argv) {
  mallopt(M_TOP_PAD, 64 << 20);
  mallopt(M_TRIM_THRESHOLD, 512 << 20);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
