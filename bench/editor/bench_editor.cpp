// One editor pass with 16 layers of 2,000 clips each on llvmpipe: the update half (mouse, play
// position, buttons, key) and the whole canvas drawn, finished with glFinish so that the
// rasterising is counted too.
#include <GL/gl.h>
#include <GL/glu.h>
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <stdlib.h>

#include <memory>
#include <string>
#include <vector>

#include "assets/texture_table.h"
#include "editor/editor.h"
#include "editor/ui_draw.h"
#include "bench/canvas_bench.h"
#include "tests/common/gl_test_context.h"
#include "timeline/timeline.h"

namespace {

using korvalin::Editor;
using korvalin::Timeline;
using korvalin::test::GlTestContext;

constexpr int kClipsPerLayer = 2000;

GlTestContext& context() { return korvalin::bench::canvasContext(); }
korvalin::TextureTable& sheets() { return korvalin::bench::patternSheets(); }

// 32,000 clips of every type, one second long, 1.5 s apart on each layer.
struct Project {
  Project() {
    char pattern[] = "/tmp/korvalin-bench-XXXXXX";
    const char* dir = mkdtemp(pattern);
    path = std::string(dir != nullptr ? dir : "/tmp") + "/absent.brz";
    for (int layer = 0; layer < korvalin::kLayerCount; ++layer) {
      for (int i = 0; i < kClipsPerLayer; ++i) {
        timeline.addClip(layer, 1.5f * i + 0.1f * layer, 1.0f, (i + layer) % korvalin::kOperatorTypeCount);
      }
    }
    timeline.syncAllClipTimes();
    editor = std::make_unique<Editor>(timeline, &sheets(), path);
  }
  Timeline timeline;
  std::string path;
  std::unique_ptr<Editor> editor;
};

Project& project() {
  static Project shared;
  return shared;
}

bool beginCanvas(benchmark::State& state) {
  if (!context().ok()) {
    state.SkipWithError(("no GL context: " + context().error()).c_str());
    return false;
  }
  glViewport(0, 0, 1024, 768);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(90.0, 1024.0 / 768.0, 0.1, 2000.0);
  return true;
}

// The update half of a pass with the mouse moving over the rows, then the editor pass's drawing.
void editorPass(Editor& editor, int frame) {
  editor.mouseMove(100 + (frame * 37) % 800, 605 + (frame * 11) % 140);
  editor.setPlayCursor(120.0f);
  editor.releaseButtons();
  editor.handleKey();
  editor.timeline.syncAllClipTimes();

  korvalin::beginEditorCanvas();
  korvalin::setTextTextures(&sheets());
  korvalin::drawText("120.0000", 18, 0, 30, 550);
  editor.drawEditor();
  glFinish();
}

// Arg 1: bars off the visible time span culled (the program's setting); 0: all drawn.
// Arg 2: a clip selected, its parameter panel shown (1) or nothing selected (0).
void BM_EditorPass(benchmark::State& state) {
  if (!beginCanvas(state)) return;
  Project& project = ::project();
  Editor& editor = *project.editor;
  editor.cullBars = state.range(0) == 1;
  editor.setViewStart(110.0f);
  project.timeline.editMode = korvalin::kEditNothing;
  if (state.range(1) == 1) {
    project.timeline.selectedLayer = 2;
    project.timeline.selectedClip = 0;  // a Camera clip: the largest panel
    project.timeline.editMode = korvalin::kEditClip;
    editor.createParameterPanel();
  }
  int frame = 0;
  for (auto _ : state) editorPass(editor, frame++);
  state.counters["clips"] = korvalin::kLayerCount * kClipsPerLayer;
}
BENCHMARK(BM_EditorPass)->Args({1, 0})->Args({1, 1})->Args({0, 0})->Unit(benchmark::kMicrosecond);

// The update half alone: every bar of every layer tracks the mouse (rows laid out by the
// passes above).
void BM_EditorInput(benchmark::State& state) {
  Editor& editor = *project().editor;
  int frame = 0;
  for (auto _ : state) {
    editor.mouseMove(100 + (frame * 37) % 800, 605 + (frame * 11) % 140);
    editor.setPlayCursor(120.0f);
    editor.releaseButtons();
    editor.handleKey();
    ++frame;
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_EditorInput)->Unit(benchmark::kMicrosecond);

}  // namespace

// KORVALIN_BENCH_MALLOC=default measures with glibc's own heap settings. Otherwise the heap keeps
// its top: Mesa's llvmpipe grows and shrinks a large buffer at every blend or depth change, and
// the page faults of that, not the drawing, dominate a pass with the default trim settings.
int main(int argc, char** argv) {
  const char* mode = getenv("KORVALIN_BENCH_MALLOC");
  if (mode == nullptr || std::string(mode) != "default") {
    mallopt(M_TOP_PAD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
