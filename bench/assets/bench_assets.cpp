// Start-up cost of the assets: it is paid again at every fullscreen toggle.
// Runs from the run folder demo/ (scripts/bench.sh); loadTextures needs the generated assets there.
#include <GL/gl.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <memory>

#include "assets/dib_image.h"
#include "assets/mesh.h"
#include "assets/texture_table.h"
#include "platform/message_box.h"
#include "tests/assets/fixtures.h"
#include "tests/common/gl_test_context.h"

namespace korvalin {
namespace {

using test::Bytes;

// A full-capacity model: an 80 x 100 grid of vertices on a wavy sheet, 8000 triangles.
const std::string& bigModelPath() {
  static test::TempDir dir;
  static std::string path = [] {
    std::vector<test::V3> vs;
    for (int y = 0; y < 100; ++y)
      for (int x = 0; x < 80; ++x) vs.push_back({x * 0.1f, y * 0.1f, std::sin(x * 0.3f) * std::cos(y * 0.2f)});
    std::vector<std::array<uint16_t, 3>> fs;
    for (int y = 0; y < 99 && fs.size() < 8000; ++y)
      for (int x = 0; x < 79 && fs.size() < 8000; ++x) {
        uint16_t a = static_cast<uint16_t>(y * 80 + x);
        fs.push_back({a, static_cast<uint16_t>(a + 1), static_cast<uint16_t>(a + 80)});
        if (fs.size() < 8000) fs.push_back({static_cast<uint16_t>(a + 1), static_cast<uint16_t>(a + 81), static_cast<uint16_t>(a + 80)});
      }
    std::vector<std::array<float, 2>> uvs(vs.size(), std::array<float, 2>{0.5f, 0.5f});
    std::string p = dir.file("big.3DS");
    test::writeFile(p, test::model("Big", {test::vertexList(vs), test::faceList(fs), test::mappingList(uvs)}));
    return p;
  }();
  return path;
}

void BM_Load3ds(benchmark::State& state) {
  FILE* devNull = std::fopen("/dev/null", "w");
  auto mesh = std::make_unique<Mesh>();
  for (auto _ : state) {
    load3ds(*mesh, bigModelPath().c_str(), devNull);
    std::fflush(devNull);
  }
  if (mesh->vertexCount != 8000 || mesh->faceCount != 8000) state.SkipWithError("model did not load whole");
  std::fclose(devNull);
}
BENCHMARK(BM_Load3ds)->Unit(benchmark::kMillisecond);

void BM_ComputeVertexNormals(benchmark::State& state) {
  auto mesh = std::make_unique<Mesh>();
  load3ds(*mesh, bigModelPath().c_str(), nullptr);
  for (auto _ : state) {
    computeVertexNormals(*mesh);
    benchmark::DoNotOptimize(mesh->normals[0]);
  }
}
BENCHMARK(BM_ComputeVertexNormals)->Unit(benchmark::kMicrosecond);

void BM_LoadDibImage8Bit(benchmark::State& state) {
  static test::TempDir dir;
  test::BmpParts s;
  s.width = 1024;
  s.height = 256;
  s.bitCount = 8;
  for (uint32_t i = 0; i < 256; ++i) s.palette.push_back(i * 0x010101);
  for (int i = 0; i < 1024 * 256; ++i) s.pixels.push_back(static_cast<uint8_t>(i * 7));
  std::string path = dir.file("sheet.bmp");
  test::writeFile(path, makeBmp(s));
  for (auto _ : state) {
    auto image = loadDibImage(path.c_str());
    benchmark::DoNotOptimize(image->pixels.data());
  }
}
BENCHMARK(BM_LoadDibImage8Bit)->Unit(benchmark::kMicrosecond);

bool generatedAssetsHere(benchmark::State& state) {
  bool all = access("text12.bmp", R_OK) == 0 && access("text14.bmp", R_OK) == 0 && access("text18.bmp", R_OK) == 0;
  for (const char* picture : kJpegAssetPaths) all = all && access(picture, R_OK) == 0;
  if (!all) state.SkipWithError("no generated assets here: run from demo/ after the asset generator");
  return all;
}

// The decoding share of loadTextures: the eighteen pictures without any upload.
void BM_DecodeJpegPictures(benchmark::State& state) {
  if (!generatedAssetsHere(state)) return;
  for (auto _ : state) {
    for (const char* picture : kJpegAssetPaths) {
      auto image = loadJpegImage(picture);
      benchmark::DoNotOptimize(image->pixels.data());
    }
  }
}
BENCHMARK(BM_DecodeJpegPictures)->Unit(benchmark::kMillisecond);

// The whole table with the real assets of the working directory, as at start-up.
void BM_LoadTextures(benchmark::State& state) {
  if (!generatedAssetsHere(state)) return;
  test::GlTestContext gl(64, 64);
  if (!gl.ok()) {
    state.SkipWithError(gl.error().c_str());
    return;
  }
  TextureTable table;
  for (auto _ : state) {
    loadTextures(table);
    glFinish();
    state.PauseTiming();
    glDeleteTextures(kTextureSlotCount, table.names);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_LoadTextures)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace
}  // namespace korvalin

BENCHMARK_MAIN();
