// What the editor reads beside the project while it runs: pictures and models rewritten in data/,
// and the music's strip made on a worker thread. Files are written with the asset generator's own
// writers into a run folder of the test's own.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "shell/asset_watch.h"
#include "shell/music_analysis.h"
#include "tests/common/canvas.h"
#include "tools/image_files.h"
#include "tools/models.h"
#include "tools/music.h"

namespace korvalin::test {
namespace {

// Calls `step` until it returns true, for ten seconds at most: the work waited for runs on
// other threads.
bool waitUntil(const std::function<bool()>& step) {
  for (int i = 0; i < 1000; ++i) {
    if (step()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

class AssetWatchTest : public CanvasTest {
 protected:
  void SetUp() override {
    CanvasTest::SetUp();
    char pattern[] = "/tmp/korvalin-watch-XXXXXX";
    ASSERT_TRUE(getcwd(cwd, sizeof cwd) && mkdtemp(pattern) && chdir(pattern) == 0);
    dir = pattern;
    // With standard input closed, as a launcher may leave it, the watch can get descriptor 0.
    stdinCopy = dup(STDIN_FILENO);
    close(STDIN_FILENO);
  }
  void TearDown() override {
    dup2(stdinCopy, STDIN_FILENO);
    close(stdinCopy);
    ASSERT_EQ(chdir(cwd), 0);
    std::system(("rm -rf " + dir).c_str());
  }
  char cwd[4096];
  std::string dir;
  int stdinCopy = -1;
};

// The first picture and the first model of the table are taken once written; a file that is no
// asset is left alone, and an empty model keeps the one before with one line.
TEST_F(AssetWatchTest, ReloadsWhatTheTableNamesAndKeepsWhatCannotBeRead) {
  testing::internal::CaptureStderr();
  EXPECT_FALSE(AssetWatch().watching());
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "data: cannot watch for changed pictures and models: No such file or directory\n");
  ASSERT_EQ(mkdir("data", 0755), 0);
  AssetWatch watch;
  ASSERT_TRUE(watch.watching());
  TextureTable textures;
  MeshTable meshes;
  std::string error;
  ASSERT_TRUE(content::writeJpeg(kJpegAssetPaths[0], 8, 8, std::vector<uint8_t>(8 * 8 * 3, 200), 90, &error)) << error;
  ASSERT_TRUE(content::writeJpeg("data/notes.jpg", 8, 8, std::vector<uint8_t>(8 * 8 * 3, 200), 90, &error)) << error;
  const content::MeshData model = content::buildModel(0);
  ASSERT_TRUE(content::writeFile(kModelPaths[0], content::encode3ds(model, "tolppa"), &error)) << error;
  ASSERT_TRUE(content::writeFile(kModelPaths[5], {}, &error)) << error;
  std::string said;  // what the polls so far wrote
  const auto poll = [&] {
    testing::internal::CaptureStderr();
    watch.poll(textures, meshes);
    return !(said += testing::internal::GetCapturedStderr()).empty();
  };
  EXPECT_TRUE(waitUntil([&] { return poll() && textures.names[kMetalSlot] != 0 && meshes.byModelId(0)->vertexCount > 0; }));
  EXPECT_EQ(said, "data/kapseli.3DS: the file is empty; the model loaded before stays\n");
  EXPECT_EQ(meshes.byModelId(0)->vertexCount, model.vertexCount());
  const Vec3 normal = meshes.byModelId(0)->normals[0];
  EXPECT_GT(normal.x * normal.x + normal.y * normal.y + normal.z * normal.z, 0.5f);  // lit, not black
  EXPECT_EQ(meshes.byModelId(5)->vertexCount, 0);
  EXPECT_EQ(glIsTexture(textures.names[kMetalSlot]), GL_TRUE);
  // Gone again before its reload began: said so, and the picture stays.
  ASSERT_TRUE(content::writeJpeg(kJpegAssetPaths[1], 8, 8, std::vector<uint8_t>(8 * 8 * 3, 9), 90, &error)) << error;
  ASSERT_EQ(std::remove(kJpegAssetPaths[1]), 0);
  said.clear();
  EXPECT_TRUE(waitUntil(poll));
  EXPECT_EQ(said, std::string(kJpegAssetPaths[1]) + ": cannot be opened; the picture loaded before stays\n");
}

// Taken once, when the worker is done; the strip is the channels' mix, so a right channel
// opposite to the left one mixes to silence.
TEST(MusicAnalyserTest, TakenOnceAndMixedToMono) {
  const std::string path = ::testing::TempDir() + "korvalin_analysis_" + std::to_string(getpid()) + ".ogg";
  const struct { int channels; float loudest; } files[] = {{2, 0.0f}, {1, 0.5f}};
  for (const auto& f : files) {
    std::vector<float> samples((8192 + 1) * f.channels);  // one frame more than a block read
    for (size_t i = 0; i < samples.size(); ++i) {
      const double v = 0.5 * std::sin(2 * M_PI * static_cast<double>(i / f.channels) / 8);
      samples[i] = static_cast<float>(i % f.channels ? -v : v);
    }
    std::string error;
    ASSERT_TRUE(content::writeOggVorbis(path, samples, 44100, 0.6f, &error, 1, f.channels)) << error;
    MusicAnalyser analyser(path);
    std::unique_ptr<MusicAnalysis> analysis;
    ASSERT_TRUE(waitUntil([&] { return (analysis = analyser.take()) != nullptr; }));
    EXPECT_EQ(analyser.take(), nullptr);
    ASSERT_TRUE(analysis->peaks && analysis->onsets && analysis->error.empty()) << analysis->error;
    EXPECT_NEAR(analysis->peaks->loudest(), f.loudest, 0.1f) << f.channels;
    EXPECT_EQ(analysis->peaks->frames(), 8192 + 1);
  }
  std::remove(path.c_str());
  MusicAnalyser missing(path);
  std::unique_ptr<MusicAnalysis> analysis;
  ASSERT_TRUE(waitUntil([&] { return (analysis = missing.take()) != nullptr; }));
  EXPECT_TRUE(!analysis->peaks && analysis->error == path + ": No such file or directory");
}

}  // namespace
}  // namespace korvalin::test
