// Save, load and the active-clip walk over a large project: 16 layers x 20,000 clips of
// mixed types.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "timeline/project_file.h"

namespace {

using namespace korvalin;

constexpr int kClipsPerLayer = 20000;
constexpr float kWalkTime = 150.0f;

// Deterministic types, starts over five minutes and lengths of 0.5-10 s.
void fillLargeProject(Timeline& t) {
  uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 8;
  };
  for (int layer = 0; layer < kLayerCount; ++layer) {
    for (int i = 0; i < kClipsPerLayer; ++i) {
      const int type = int(next() % kOperatorTypeCount);
      const float start = float(next() % 300000) * 0.001f;
      const float length = 0.5f + float(next() % 9500) * 0.001f;
      t.addClip(layer, start, length, type);
      ParameterBlock& block = *t.layerClipParams[layer].back();
      for (int k = 0; k < block.paramCount; ++k) block[k] = float(next() % 1000);
    }
  }
}

const Timeline& largeProject() {
  static Timeline* project = [] {
    auto* t = new Timeline;
    fillLargeProject(*t);
    return t;
  }();
  return *project;
}

// A scratch folder in /tmp, removed at exit.
const std::string& scratchFile() {
  static std::string path = [] {
    char pattern[] = "/tmp/korvalin-bench-XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    static std::string dir = pattern;
    std::atexit([] {
      std::remove((dir + "/save.brz").c_str());
      std::remove(dir.c_str());
    });
    return dir + "/save.brz";
  }();
  return path;
}

void BM_Encode(benchmark::State& state) {
  const Timeline& t = largeProject();
  size_t bytes = 0;
  for (auto _ : state) {
    std::vector<uint8_t> file = encodeProject(t);
    bytes = file.size();
    benchmark::DoNotOptimize(file.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
  state.counters["file_MB"] = double(bytes) / 1e6;
}

void BM_Decode(benchmark::State& state) {
  const std::vector<uint8_t> file = encodeProject(largeProject());
  Timeline t;
  std::string error;
  for (auto _ : state) {
    if (decodeProject(t, file.data(), file.size(), "bench", &error) != LoadResult::kLoaded) {
      state.SkipWithError(error.c_str());
      break;
    }
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(file.size()));
}

void BM_SaveFile(benchmark::State& state) {
  const Timeline& t = largeProject();
  const std::string& path = scratchFile();
  std::string error;
  for (auto _ : state) {
    if (!saveProject(t, path, &error)) {
      state.SkipWithError(error.c_str());
      break;
    }
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(encodeProject(t).size()));
}

void BM_LoadFile(benchmark::State& state) {
  const Timeline& source = largeProject();
  const std::string& path = scratchFile();
  std::string error;
  if (!saveProject(source, path, &error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  Timeline t;
  for (auto _ : state) {
    if (loadProject(t, path, &error) != LoadResult::kLoaded) {
      state.SkipWithError(error.c_str());
      break;
    }
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(encodeProject(source).size()));
}

// What the frame composition does at one play position: layers 0-15, clips in order.
void BM_ActiveClipWalk(benchmark::State& state) {
  const Timeline& t = largeProject();
  int active = 0;
  for (auto _ : state) {
    active = 0;
    int typeSum = 0;
    for (int layer = 0; layer < kLayerCount; ++layer) {
      const std::vector<ClipTimes>& times = t.layerClipTimes[layer];
      const std::vector<int32_t>& types = t.layerClipTypes[layer];
      for (size_t i = 0; i < times.size(); ++i) {
        if (isClipActive(times[i], kWalkTime)) {
          ++active;
          typeSum += types[i];
        }
      }
    }
    benchmark::DoNotOptimize(active);
    benchmark::DoNotOptimize(typeSum);
  }
  state.counters["clips"] = double(kLayerCount) * kClipsPerLayer;
  state.counters["active"] = active;
}

BENCHMARK(BM_Encode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ActiveClipWalk)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
