#include "timeline/project_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace korvalin {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// A fresh folder per test, and a project with a clip selected so that a stray clear shows.
class ProjectFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "korvalin-project-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir = pattern;
    path = (dir / kProjectFileName).string();
    work.addClip(7, 3.0f, 4.0f, kModel3D);
    work.editMode = kEditClip;
    workBytes = encodeProject(work);
  }
  void TearDown() override { fs::remove_all(dir); }

  // What a failed load or save must leave alone.
  void expectWorkUnchanged() {
    EXPECT_EQ(encodeProject(work), workBytes);
    EXPECT_EQ(work.editMode, kEditClip);
  }

  fs::path dir;
  std::string path;
  Timeline work;
  std::vector<uint8_t> workBytes;
};

TEST_F(ProjectFileTest, ByteExactLayout) {
  Timeline t;
  std::vector<uint8_t> want;
  for (uint8_t layer = 0; layer < kLayerCount; ++layer) want.insert(want.end(), {layer, 0, 0});
  EXPECT_EQ(encodeProject(t), want);

  // One Box on layer 3: start 2, length 1, parameters 90, 0, 0, 1.
  ASSERT_TRUE(t.addClip(3, 2.0f, 1.0f, kBox));
  (*t.layerClipParams[3][0])[0] = 90.0f;
  (*t.layerClipParams[3][0])[3] = 1.0f;
  const uint8_t layer3[31] = {0x03, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40,
                              0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0xB4, 0x42, 0x00, 0x00, 0x00,
                              0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x3F};
  want.erase(want.begin() + 9, want.begin() + 12);
  want.insert(want.begin() + 9, layer3, layer3 + 31);
  std::string error;
  ASSERT_TRUE(saveProject(t, path, &error)) << error;
  EXPECT_EQ(readFile(path), want);

  // A count above 255 needs both bytes, low first.
  for (int i = 0; i < 300; ++i) t.addClip(0, 0, 1, kStartRenderToTex);
  const std::vector<uint8_t> many = encodeProject(t);
  EXPECT_EQ(many[1], 300 & 0xFF);
  EXPECT_EQ(many[2], 300 >> 8);
}

TEST_F(ProjectFileTest, SaveThenLoadRestoresEveryBitAndClosesTheSelection) {
  // -0.0, NaNs with payloads (one signalling), denormals, infinity, the largest finite.
  const uint32_t specials[] = {0x80000000u, 0x7FC01234u, 0xFF800001u, 0x00000001u,
                               0x807FFFFFu, 0x7F800000u, 0xFF7FFFFFu, 0x3F800000u};
  auto special = [&](int i) { float f; std::memcpy(&f, &specials[i % 8], 4); return f; };
  Timeline saved;
  for (int layer = 0, n = 0; layer < kLayerCount; ++layer) {
    for (int i = 0; i < layer % 5; ++i, ++n) {
      ASSERT_TRUE(saved.addClip(layer, special(n), special(n + 3), (layer + i) % 7));
      ParameterBlock& block = *saved.layerClipParams[layer].back();
      for (int k = 0; k < block.paramCount; ++k) block[k] = special(n + k);
    }
  }
  std::string error;
  ASSERT_TRUE(saveProject(saved, path, &error)) << error;
  ASSERT_EQ(loadProject(work, path, &error), LoadResult::kLoaded) << error;
  EXPECT_EQ(work.editMode, kEditNothing) << "a load that removed clips closes the selection";
  for (int layer = 0; layer < kLayerCount; ++layer) {
    ASSERT_EQ(work.layerClipTypes[layer], saved.layerClipTypes[layer]);
    for (int i = 0; i < saved.clipCount(layer); ++i) {
      const ClipTimes &a = work.layerClipTimes[layer][i], &b = saved.layerClipTimes[layer][i];
      EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0) << layer << " " << i;
      EXPECT_EQ(std::memcmp(work.layerClipParams[layer][i].get(),
                            saved.layerClipParams[layer][i].get(), sizeof(ParameterBlock)), 0);
    }
  }
  // The bars carry the loaded times too, or the next sync would undo the load.
  work.syncAllClipTimes();
  EXPECT_EQ(encodeProject(work), readFile(path));
}

TEST_F(ProjectFileTest, RecordOrderAndTrailingBytesDoNotMatter) {
  Timeline source;
  source.addClip(0, 1.0f, 1.0f, kBox);
  source.addClip(0, 2.0f, 1.0f, kFlat);
  source.addClip(9, 3.0f, 1.0f, kCamera);
  const std::vector<uint8_t> ordered = encodeProject(source);
  // Layers 9 to 15, then 0 to 8, then bytes past the sixteenth record.
  std::vector<uint8_t> shuffled = ordered;
  std::rotate(shuffled.begin(), shuffled.begin() + 67 + 8 * 3, shuffled.end());
  shuffled.insert(shuffled.end(), {0xFF, 0xFF, 0xFF, 0x07});
  Timeline loaded;
  std::string error;
  ASSERT_EQ(decodeProject(loaded, shuffled.data(), shuffled.size(), "x", &error),
            LoadResult::kLoaded);
  EXPECT_EQ(encodeProject(loaded), ordered);
}

TEST_F(ProjectFileTest, BadFilesChangeNothingAndSayWhere) {
  // One Box on layer 0 (its clip at byte 3), the other layers empty from byte 31 on.
  Timeline base;
  base.addClip(0, 0.5f, 1.0f, kBox);
  const std::vector<uint8_t> good = encodeProject(base);
  auto with = [&](size_t offset, std::vector<uint8_t> patch) {
    std::vector<uint8_t> b = good;
    std::copy(patch.begin(), patch.end(), b.begin() + long(offset));
    return b;
  };
  const std::pair<std::vector<uint8_t>, const char*> cases[] = {
      {with(31, {16}), "layer record 1 at byte 31: layer number 16 is outside 0-15"},
      {with(31, {0xFF}), "layer record 1 at byte 31: layer number -1 is outside 0-15"},
      {with(34, {1}), "layer record 2 at byte 34: layer number 1 occurs twice"},
      {with(3, {7, 0, 0, 0}), "layer record 0 at byte 3: operator type 7 of clip 0 is outside 0-6"},
      {with(3, {0, 0, 0, 0x80}), "operator type -2147483648 of clip 0 is outside 0-6"},
      // A count one too high reads the next record's header as a clip.
      {with(1, {2, 0}), "layer record 0 at byte 31: operator type 33554433 of clip 1"},
      {{}, "layer record 0 at byte 0: the file ends inside the layer header"},
      {{good.begin(), good.begin() + 20}, "layer record 0 at byte 3: the file ends inside clip 0"},
  };
  for (const auto& [bytes, want] : cases) {
    std::string error;
    EXPECT_EQ(decodeProject(work, bytes.data(), bytes.size(), "save.brz", &error),
              LoadResult::kMalformed);
    EXPECT_EQ(error.rfind("save.brz: ", 0), 0u) << error;
    EXPECT_NE(error.find(want), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos);
    expectWorkUnchanged();
  }
}

TEST_F(ProjectFileTest, MissingFileAndFailedSaveChangeNothing) {
  std::string error;
  EXPECT_EQ(loadProject(work, path, &error), LoadResult::kMissing);
  EXPECT_EQ(error.rfind(path + ": ", 0), 0u) << error;
  expectWorkUnchanged();

  Timeline first;
  first.addClip(2, 1.0f, 1.0f, kCamera);
  ASSERT_TRUE(saveProject(first, path, &error)) << error;
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
  const std::vector<uint8_t> old = readFile(path);
  // The temporary file cannot be created: the old file stays whole.
  fs::create_directory(path + ".tmp");
  EXPECT_FALSE(saveProject(work, path, &error));
  EXPECT_EQ(error.rfind(path + ": ", 0), 0u) << error;
  EXPECT_EQ(readFile(path), old);
  fs::remove(path + ".tmp");
  expectWorkUnchanged();

  // A stale temporary file from a crash is no obstacle; the user's permissions survive.
  std::ofstream(path + ".tmp") << "junk";
  ASSERT_TRUE(saveProject(work, path, &error)) << error;
  EXPECT_EQ(readFile(path), workBytes);
  EXPECT_FALSE(fs::exists(path + ".tmp"));
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
}

}  // namespace
}  // namespace korvalin
