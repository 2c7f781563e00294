// Frame cost of the demo renderer on the machine's GL (llvmpipe when headless).
//
//   BM_SyntheticFrame       six 8000-triangle models, four full-view layers, a 512 x 512 capture
//   BM_Model/per_corner     one 8000-triangle sphere-mapped model, a GL call per corner
//   BM_Model/vertex_arrays  the same model through glDrawElements
//   BM_DefaultDemo          the run folder's save.brz, pictures and models, every frame of the
//                           track at a 1/60 s step; frames per second of each demo second
#include <GL/gl.h>
#include <GL/glu.h>
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

#include "assets/mesh.h"
#include "assets/texture_table.h"
#include "render/demo_renderer.h"
#include "render/effects.h"
#include "tests/common/gl_test_context.h"
#include "bench/render/sphere_mesh.h"
#include "timeline/project_file.h"
#include "timeline/timeline.h"

namespace korvalin {
namespace {

test::GlTestContext& context() {
  static test::GlTestContext gl(kDemoWidth, kDemoHeight);
  return gl;
}

// The shell's state before each demo frame: its projection, the demo rectangle cleared.
void shellFramePrologue() {
  glViewport(0, 0, kDemoWidth, kDemoHeight);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(90.0, 4.0 / 3.0, 0.1, 2000.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_SCISSOR_TEST);
  glScissor(0, 0, kDemoWidth, kDemoHeight);
  glClearColor(0.0f, 0.0f, 0.0f, 0.5f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void shellFrameEpilogue() {
  glDisable(GL_SCISSOR_TEST);
  glFinish();
}

GLuint makeTexture(int size, int seed) {
  std::vector<uint8_t> rgba(static_cast<size_t>(size) * size * 4);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      uint8_t* p = &rgba[(static_cast<size_t>(y) * size + x) * 4];
      p[0] = static_cast<uint8_t>(x * 255 / size);
      p[1] = static_cast<uint8_t>((y * 255 / size + seed * 60) & 255);
      p[2] = static_cast<uint8_t>(((x / 8 + y / 8) % 2) * 120 + seed * 30);
      p[3] = 200;
    }
  }
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, size, size, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
  return name;
}

void deleteTextures(TextureTable& textures) {
  for (GLuint& name : textures.names) {
    if (name != 0) glDeleteTextures(1, &name);
    name = 0;
  }
}

void setParams(Timeline& timeline, int layer, std::initializer_list<float> values) {
  ParameterBlock& block = *timeline.layerClipParams[layer].back();
  int i = 0;
  for (float v : values) block[i++] = v;
}

void BM_SyntheticFrame(benchmark::State& state) {
  if (!context().ok()) {
    state.SkipWithError(context().error().c_str());
    return;
  }
  TextureTable textures;
  textures.names[kMetalSlot] = makeTexture(128, 0);
  for (int slot : {10, 11, 12}) textures.names[slot] = makeTexture(256, slot);
  textures.names[kRenderTargetSlot2] = makeTexture(512, 1);
  MeshTable meshes;
  for (int id = 0; id < kMeshCount; ++id) test::makeSphere(meshes.meshes[id], 0.25f + 0.05f * id, 80, 50);

  Timeline timeline;
  auto add = [&](int layer, int32_t type, std::initializer_list<float> values) {
    timeline.addClip(layer, 0.0f, 1000.0f, type);
    setParams(timeline, layer, values);
  };
  add(0, kLayer2D, {10, 1, 0});
  add(1, kStartRenderToTex, {9, 9});
  add(2, kLayer2D, {11, 2, 3});
  add(3, kModel3D, {0, 0, 0, 1, 0.2f, 1, 0, 0});
  add(4, kEndRenderToTex, {9, 9, 92});
  add(5, kCamera, {0, 0, 0, 0.5f, 1.0f, 2.5f, 0, 0, 0, 0, 0, 0, 70});
  for (int id = 1; id < kMeshCount; ++id) {
    const float angle = id * 1.2566f;
    add(5 + id, kModel3D, {std::cos(angle), std::sin(angle), -0.5f, 2, 0.3f, 0.5f, 20.0f * id, float(id)});
  }
  add(11, kLayer2D, {12, 2, 3});
  add(12, kLayer2D, {92, 2, 1});

  DemoRenderer renderer(timeline, textures, meshes);
  float t = 1.0f;
  for (auto _ : state) {
    shellFramePrologue();
    renderer.renderDemoFrame(t);
    shellFrameEpilogue();
    t += 0.01f;
  }
  deleteTextures(textures);
}
BENCHMARK(BM_SyntheticFrame)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

void BM_Model(benchmark::State& state) {
  if (!context().ok()) {
    state.SkipWithError(context().error().c_str());
    return;
  }
  const MeshPath path = state.range(0) == 0 ? MeshPath::kPerCorner : MeshPath::kVertexArrays;
  state.SetLabel(path == MeshPath::kPerCorner ? "per_corner" : "vertex_arrays");
  TextureTable textures;
  textures.names[kMetalSlot] = makeTexture(128, 0);
  MeshTable meshes;
  test::makeSphere(meshes.meshes[0], state.range(1) / 100.0f, 80, 50);
  ParameterBlock params;
  params[3] = 1.0f;
  params[4] = 0.2f;
  params[5] = 1.0f;
  float t = 1.0f;
  // Only the model is timed: the clear before it is the same for both paths.
  for (auto _ : state) {
    state.PauseTiming();
    shellFramePrologue();
    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, -2.0f);
    glFinish();
    state.ResumeTiming();
    drawModel3D(params, t, textures, meshes, path);
    shellFrameEpilogue();
    t += 0.01f;
  }
  deleteTextures(textures);
}
BENCHMARK(BM_Model)->ArgsProduct({{0, 1}, {10, 50, 90}})->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

double processCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

bool exists(const char* path) {
  struct stat st;
  return stat(path, &st) == 0;
}

// Frames per second of each whole demo second, rendering frame after frame with no waiting.
void BM_DefaultDemo(benchmark::State& state) {
  if (!exists(kProjectFileName) || !exists("data")) {
    state.SkipWithError("no save.brz or data/ in the working directory: run from the run folder demo/");
    return;
  }
  for (const char* path : kJpegAssetPaths) {
    if (!exists(path)) {
      state.SkipWithError("a picture of the asset table is missing from data/");
      return;
    }
  }
  if (!context().ok()) {
    state.SkipWithError(context().error().c_str());
    return;
  }
  Timeline timeline;
  std::string error;
  if (loadProject(timeline, kProjectFileName, &error) != LoadResult::kLoaded) {
    state.SkipWithError(error.c_str());
    return;
  }
  TextureTable textures;
  loadTextures(textures);
  MeshTable meshes;
  loadMeshes(meshes, nullptr);

  double trackEnd = 0.0;
  for (const auto& layer : timeline.layerClipTimes) {
    for (const ClipTimes& times : layer) trackEnd = std::max(trackEnd, double(times.start) + double(times.length));
  }
  // Whole seconds only: the part after the last clip ends would be empty frames.
  const int seconds = static_cast<int>(trackEnd);
  constexpr int kFramesPerDemoSecond = 60;
  DemoRenderer renderer(timeline, textures, meshes);
  std::vector<double> fps(static_cast<size_t>(seconds));
  // CPU time of all threads (llvmpipe rasterises on its own): less at the mercy of other load.
  std::vector<double> cpuMsPerFrame(static_cast<size_t>(seconds));
  for (auto _ : state) {
    double total = 0.0;
    for (int s = 0; s < seconds; ++s) {
      const auto begin = std::chrono::steady_clock::now();
      const double cpuBegin = processCpuSeconds();
      for (int f = 0; f < kFramesPerDemoSecond; ++f) {
        shellFramePrologue();
        renderer.renderDemoFrame(static_cast<float>(s + (f + 0.5) / kFramesPerDemoSecond));
        shellFrameEpilogue();
      }
      const double spent = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
      fps[static_cast<size_t>(s)] = kFramesPerDemoSecond / spent;
      cpuMsPerFrame[static_cast<size_t>(s)] = (processCpuSeconds() - cpuBegin) * 1000.0 / kFramesPerDemoSecond;
      total += spent;
    }
    state.SetIterationTime(total);
  }
  if (seconds > 0) {
    auto median = [](std::vector<double> v) {
      std::sort(v.begin(), v.end());
      return v[v.size() / 2];
    };
    const auto slowest = std::min_element(fps.begin(), fps.end());
    state.counters["seconds"] = seconds;
    state.counters["median_second_fps"] = median(fps);
    state.counters["slowest_second_fps"] = *slowest;
    state.counters["slowest_second"] = static_cast<double>(slowest - fps.begin());
    state.counters["median_cpu_ms_per_frame"] = median(cpuMsPerFrame);
    state.counters["max_cpu_ms_per_frame"] = *std::max_element(cpuMsPerFrame.begin(), cpuMsPerFrame.end());
    std::fprintf(stderr, "demo second, frames per second, CPU ms per frame (all threads)\n");
    for (int s = 0; s < seconds; ++s) {
      std::fprintf(stderr, "%4d %8.1f %8.2f\n", s, fps[static_cast<size_t>(s)], cpuMsPerFrame[static_cast<size_t>(s)]);
    }
  }
  deleteTextures(textures);
}
BENCHMARK(BM_DefaultDemo)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace korvalin

BENCHMARK_MAIN();
