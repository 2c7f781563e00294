// Cost of the editor's widgets and text on llvmpipe: one frame of the largest panel and 2,000
// characters of text, each finished with glFinish so that the GPU side is counted.
#include <GL/gl.h>
#include <GL/glu.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "assets/texture_table.h"
#include "editor/parameter_panel.h"
#include "editor/ui_draw.h"
#include "bench/canvas_bench.h"
#include "tests/common/gl_test_context.h"

namespace {

using korvalin::test::GlTestContext;

GlTestContext& context() { return korvalin::bench::canvasContext(); }
korvalin::TextureTable& sheets() { return korvalin::bench::patternSheets(); }

bool setUpCanvas(benchmark::State& state) {
  if (!context().ok()) {
    state.SkipWithError(("no GL context: " + context().error()).c_str());
    return false;
  }
  korvalin::setTextTextures(&sheets());
  glViewport(0, 0, 1024, 768);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(90.0, 1024.0 / 768.0, 0.1, 2000.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glTranslatef(0.0f, 0.0f, -1.0f);
  glTranslatef(-1.3334f, 1.0f, 0.0f);
  glEnable(GL_DEPTH_TEST);
  return true;
}

void clearCanvas() {
  glClearColor(0.2f, 0.3f, 0.4f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

// Baseline: what clearing the canvas alone costs.
void BM_ClearOnly(benchmark::State& state) {
  if (!setUpCanvas(state)) return;
  for (auto _ : state) {
    clearCanvas();
    glFinish();
  }
}
BENCHMARK(BM_ClearOnly)->Unit(benchmark::kMicrosecond);

// One frame of the CameraPanel (13 FloatFields, the largest panel), mouse over one box.
void BM_CameraPanelFrame(benchmark::State& state) {
  if (!setUpCanvas(state)) return;
  korvalin::ParameterBlock block;
  block.paramCount = 13;
  for (int k = 0; k < 13; ++k) block[k] = -123.456f + 7.0f * k;
  auto panel = korvalin::makeParameterPanel(korvalin::kCamera, block, &sheets());
  for (auto _ : state) {
    clearCanvas();
    panel->draw(760, 120);
    glFinish();
  }
}
BENCHMARK(BM_CameraPanelFrame)->Unit(benchmark::kMicrosecond);

std::string textLine() {
  std::string line;
  for (int i = 0; i < 100; ++i) line.push_back(static_cast<char>(33 + i % 94));
  return line;
}

// 2,000 characters of size-14 text in 20 lines of 100, one drawText call per line.
void BM_Text2000Chars(benchmark::State& state) {
  if (!setUpCanvas(state)) return;
  const std::string line = textLine();
  for (auto _ : state) {
    clearCanvas();
    for (int row = 0; row < 20; ++row) korvalin::drawText(line.c_str(), 14, 0, 0, 20 + row * 25);
    glFinish();
  }
  state.SetItemsProcessed(state.iterations() * 2000);
}
BENCHMARK(BM_Text2000Chars)->Unit(benchmark::kMicrosecond);

// The same 2,000 characters in one TextBatch.
void BM_Text2000CharsBatched(benchmark::State& state) {
  if (!setUpCanvas(state)) return;
  const std::string line = textLine();
  for (auto _ : state) {
    clearCanvas();
    {
      korvalin::TextBatch batch;
      for (int row = 0; row < 20; ++row) batch.add(line.c_str(), 14, 0, 0, 20 + row * 25);
    }
    glFinish();
  }
  state.SetItemsProcessed(state.iterations() * 2000);
}
BENCHMARK(BM_Text2000CharsBatched)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
