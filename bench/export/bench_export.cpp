// Writing the default demo to a video file, as `korvalin --export` does. Run from the run folder.
//
//   BM_RenderOnly/<s>       the demo's first s seconds at 60 fps drawn offscreen and read back with
//                           glReadPixels, nothing encoded: frames per second of drawing alone
//   BM_EncodeOnly/<p>/<t>   600 pictures of the demo (seconds 60 to 70) and their music encoded to
//                           H.264 + AAC at crf 18, x264 preset p (see kPresets), t encoder threads
//                           (0: x264's own choice): frames per second of encoding alone
//   BM_Export/<s>/<p>/<t>   the whole export of s seconds (0: to the end of the music) at 60 fps and
//                           crf 18, through the program's own code: the real-time factor, and the
//                           frames per second of the drawing and the encoding threads' busy time
#include <GL/gl.h>
#include <GL/glu.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "assets/mesh.h"
#include "assets/texture_table.h"
#include "export/video_file.h"
#include "platform/vorbis_decoder.h"
#include "render/demo_renderer.h"
#include "render/effects.h"
#include "shell/export_run.h"
#include "shell/shell_app.h"
#include "tests/common/gl_test_context.h"
#include "timeline/project_file.h"

namespace korvalin {
namespace {

const char* const kPresets[] = {"ultrafast", "superfast", "veryfast", "faster", "fast", "medium"};
constexpr int kFps = 60;
const char* const kOutput = "/tmp/korvalin_bench_export.mp4";

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point from) {
  return std::chrono::duration<double>(Clock::now() - from).count();
}

// Draws demo frames at 60 fps from `from` and hands each picture (BGRA, rows bottom first) to
// `take`; returns the seconds spent drawing and reading back.
template <typename Take>
double drawFrames(double from, int frames, Take take, std::string* error) {
  test::GlTestContext gl(kDemoWidth, kDemoHeight);
  Timeline timeline;
  if (!gl.ok() || loadProject(timeline, kProjectFileName, error) != LoadResult::kLoaded) {
    if (!gl.ok()) *error = gl.error();
    return -1;
  }
  MeshTable meshes;
  loadMeshes(meshes, nullptr);
  TextureTable textures;
  loadTextures(textures);
  DemoRenderer renderer(timeline, textures, meshes);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(90.0, 4.0 / 3.0, 0.1, 2000.0);
  glMatrixMode(GL_MODELVIEW);
  glEnable(GL_DEPTH_TEST);
  std::vector<uint8_t> picture(kDemoWidth * kDemoHeight * 4);
  const Clock::time_point start = Clock::now();
  for (int n = 0; n < frames; ++n) {
    timeline.syncAllClipTimes();
    glClearColor(0, 0, 0, 0.5f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    renderer.renderDemoFrame(static_cast<float>(from + static_cast<double>(n) / kFps));
    glReadPixels(0, 0, kDemoWidth, kDemoHeight, GL_BGRA, GL_UNSIGNED_BYTE, picture.data());
    take(picture);
    gl.swap();
  }
  return secondsSince(start);
}

void BM_RenderOnly(benchmark::State& state) {
  const int frames = static_cast<int>(state.range(0)) * kFps;
  for (auto _ : state) {
    std::string error;
    const double seconds = drawFrames(0, frames, [](const std::vector<uint8_t>&) {}, &error);
    if (seconds < 0) return state.SkipWithError(error.c_str());
    state.SetIterationTime(seconds);
    state.counters["fps"] = frames / seconds;
  }
}
BENCHMARK(BM_RenderOnly)->Arg(156)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

void BM_EncodeOnly(benchmark::State& state) {
  constexpr double kFrom = 60;
  constexpr int kFrames = 600;
  std::vector<std::vector<uint8_t>> pictures;
  std::string error;
  if (drawFrames(kFrom, kFrames, [&](const std::vector<uint8_t>& p) { pictures.push_back(p); }, &error) < 0) {
    return state.SkipWithError(error.c_str());
  }
  for (auto _ : state) {
    auto music = VorbisDecoder::open(kMusicPath, &error);
    if (!music || !music->seek(static_cast<int64_t>(kFrom * music->sampleRate()))) {
      return state.SkipWithError(error.c_str());
    }
    VideoExportSettings settings;
    settings.path = kOutput;
    settings.preset = kPresets[state.range(0)];
    settings.encoderThreads = static_cast<int>(state.range(1));
    settings.audioRate = music->sampleRate();
    settings.audioChannels = music->channels();
    settings.audioFrames = static_cast<int64_t>(kFrames) * settings.audioRate / kFps;
    const Clock::time_point start = Clock::now();
    auto file = VideoFile::open(
        settings, [&](float* samples, int64_t frames) { return music->read(samples, frames); }, &error);
    bool ok = file != nullptr;
    for (int n = 0; ok && n < kFrames; ++n) {
      ok = file->writePicture(pictures[n].data()) &&
           file->writeAudioTo(static_cast<int64_t>(n + 1) * settings.audioRate / kFps);
    }
    ok = ok && file->finish(settings.audioFrames);
    if (!ok) return state.SkipWithError(file ? file->error().c_str() : error.c_str());
    const double seconds = secondsSince(start);
    state.SetIterationTime(seconds);
    state.counters["fps"] = kFrames / seconds;
  }
  std::remove(kOutput);
}
BENCHMARK(BM_EncodeOnly)
    ->ArgNames({"preset", "threads"})
    ->Args({0, 1})->Args({1, 1})->Args({2, 1})->Args({3, 1})->Args({2, 2})->Args({2, 0})
    ->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

void BM_Export(benchmark::State& state) {
  for (auto _ : state) {
    ExportOptions options;
    options.output = kOutput;
    options.container = containerForPath(kOutput);
    options.force = true;
    options.fps = kFps;
    options.haveTo = state.range(0) > 0;
    options.to = static_cast<double>(state.range(0));
    options.preset = kPresets[state.range(1)];
    options.encoderThreads = static_cast<int>(state.range(2));
    ExportStats stats;
    if (runExport(options, &stats) != 0) return state.SkipWithError("the export failed (see above)");
    state.SetIterationTime(stats.wallSeconds);
    state.counters["realtime"] = stats.videoSeconds / stats.wallSeconds;
    state.counters["render_fps"] = stats.frames / stats.renderSeconds;
    state.counters["encode_fps"] = stats.frames / stats.encodeSeconds;
    state.counters["frames"] = static_cast<double>(stats.frames);
  }
  std::remove(kOutput);
}
BENCHMARK(BM_Export)
    ->ArgNames({"to", "preset", "threads"})
    ->Args({0, 2, 1})
    ->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace korvalin

BENCHMARK_MAIN();
