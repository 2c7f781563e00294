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

uint32_t bitsOf(float f) {
  uint32_t u;
  std::memcpy(&u, &f, 4);
  return u;
}

float floatOf(uint32_t u) {
  float f;
  std::memcpy(&f, &u, 4);
  return f;
}

std::vector<uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
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
    (*work.layerClipParams[7][0])[3] = 42.0f;
    work.editMode = kEditClip;
    work.selectedLayer = 7;
  }
  void TearDown() override { fs::remove_all(dir); }

  // What a failed load or save must leave alone.
  void expectWorkUnchanged() {
    EXPECT_EQ(encodeProject(work), workBytes);
    EXPECT_EQ(work.tracks[7].bars.size(), 1u);
    EXPECT_EQ(work.editMode, kEditClip);
    EXPECT_EQ(work.selectedLayer, 7);
  }

  fs::path dir;
  std::string path;
  Timeline work;
  const std::vector<uint8_t> workBytes = [] {
    Timeline t;
    t.addClip(7, 3.0f, 4.0f, kModel3D);
    (*t.layerClipParams[7][0])[3] = 42.0f;
    return encodeProject(t);
  }();
};

TEST_F(ProjectFileTest, ByteExactLayout) {
  Timeline t;
  std::vector<uint8_t> empty;
  for (uint8_t layer = 0; layer < kLayerCount; ++layer) empty.insert(empty.end(), {layer, 0, 0});
  EXPECT_EQ(encodeProject(t), empty);

  ASSERT_TRUE(t.addClip(3, 2.0f, 1.0f, kBox));
  (*t.layerClipParams[3][0])[0] = 90.0f;
  (*t.layerClipParams[3][0])[3] = 1.0f;
  std::string error;
  ASSERT_TRUE(saveProject(t, path, &error)) << error;
  const std::vector<uint8_t> file = readFile(path);
  ASSERT_EQ(file.size(), 76u);
  const uint8_t layer3[31] = {0x03, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40,
                              0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0xB4, 0x42, 0x00, 0x00, 0x00,
                              0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x3F};
  EXPECT_TRUE(std::equal(file.begin(), file.begin() + 9, empty.begin()));
  EXPECT_TRUE(std::equal(layer3, layer3 + 31, file.begin() + 9));
  EXPECT_TRUE(std::equal(file.begin() + 40, file.end(), empty.begin() + 12));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1)
      << "no temporary file left beside it";

  // A count above 255 needs both bytes, low first.
  for (int i = 0; i < 300; ++i) t.addClip(0, 0, 1, kStartRenderToTex);
  const std::vector<uint8_t> many = encodeProject(t);
  EXPECT_EQ(many[1], 300 & 0xFF);
  EXPECT_EQ(many[2], 300 >> 8);
}

TEST_F(ProjectFileTest, SaveThenLoadRestoresEveryBit) {
  const uint32_t specials[] = {0x80000000u, 0x7FC01234u, 0xFF800001u, 0x00000001u,
                               0x807FFFFFu, 0x7F800000u, 0xFF7FFFFFu, 0x3F800000u};
  auto special = [&](int i) { return floatOf(specials[i % 8]); };
  Timeline saved;
  int n = 0;
  for (int layer = 0; layer < kLayerCount; ++layer) {
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
    ASSERT_EQ(work.clipCount(layer), saved.clipCount(layer));
    for (int i = 0; i < saved.clipCount(layer); ++i) {
      SCOPED_TRACE(testing::Message() << "layer " << layer << " clip " << i);
      EXPECT_EQ(work.layerClipTypes[layer][i], saved.layerClipTypes[layer][i]);
      const ClipTimes& a = saved.layerClipTimes[layer][i];
      // The bars carry the loaded times too, or the next sync would undo the load.
      const ClipBar& bar = work.tracks[layer].bars[i];
      EXPECT_EQ(bitsOf(bar.start), bitsOf(a.start));
      EXPECT_EQ(bitsOf(bar.length), bitsOf(a.length));
      EXPECT_EQ(bitsOf(work.layerClipTimes[layer][i].start), bitsOf(a.start));
      const ParameterBlock& pa = *saved.layerClipParams[layer][i];
      const ParameterBlock& pb = *work.layerClipParams[layer][i];
      for (int k = 0; k < pa.paramCount; ++k) EXPECT_EQ(bitsOf(pb[k]), bitsOf(pa[k]));
    }
  }
  EXPECT_EQ(encodeProject(work), readFile(path));

  // Loading into an empty project leaves an open dialog open.
  Timeline dialog;
  dialog.editMode = kEditNewOperator;
  const std::vector<uint8_t> empty = encodeProject(Timeline());
  ASSERT_EQ(decodeProject(dialog, empty.data(), empty.size(), "x", &error), LoadResult::kLoaded);
  EXPECT_EQ(dialog.editMode, kEditNewOperator);
}

TEST_F(ProjectFileTest, RecordOrderAndTrailingBytesDoNotMatter) {
  Timeline source;
  source.addClip(0, 1.0f, 1.0f, kBox);
  source.addClip(0, 2.0f, 1.0f, kFlat);
  source.addClip(9, 3.0f, 1.0f, kCamera);
  const std::vector<uint8_t> ordered = encodeProject(source);

  // Layers 15 down to 10 (empty), then 9, then 8 down to 1 (empty), then 0, then junk.
  std::vector<uint8_t> shuffled;
  for (uint8_t layer = 15; layer >= 10; --layer) shuffled.insert(shuffled.end(), {layer, 0, 0});
  const auto layer9 = ordered.begin() + 3 + 28 + 36 + 8 * 3;
  shuffled.insert(shuffled.end(), layer9, layer9 + 3 + 64);
  for (uint8_t layer = 8; layer >= 1; --layer) shuffled.insert(shuffled.end(), {layer, 0, 0});
  shuffled.insert(shuffled.end(), ordered.begin(), ordered.begin() + 3 + 28 + 36);
  shuffled.insert(shuffled.end(), {0xFF, 0xFF, 0xFF, 0x07});

  Timeline loaded;
  std::string error;
  ASSERT_EQ(decodeProject(loaded, shuffled.data(), shuffled.size(), "x", &error),
            LoadResult::kLoaded)
      << error;
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
      {with(1, {0xFF, 0xFF}), "layer record 0 at byte 1: clip count -1 is below 0"},
      // A count one too high reads the next record's header as a clip.
      {with(1, {2, 0}), "layer record 0 at byte 31: operator type 33554433 of clip 1"},
      {{}, "layer record 0 at byte 0: the file ends inside the layer header"},
  };
  for (const auto& [bytes, expected] : cases) {
    SCOPED_TRACE(expected);
    std::string error;
    EXPECT_EQ(decodeProject(work, bytes.data(), bytes.size(), "save.brz", &error),
              LoadResult::kMalformed);
    EXPECT_EQ(error.rfind("save.brz: ", 0), 0u) << error;
    EXPECT_NE(error.find(expected), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos);
    expectWorkUnchanged();
  }

  // Every proper prefix of a valid file ends early somewhere.
  for (size_t size = 0; size < good.size(); ++size) {
    std::string error;
    ASSERT_EQ(decodeProject(work, good.data(), size, "save.brz", &error), LoadResult::kMalformed);
    ASSERT_NE(error.find("ends inside"), std::string::npos) << error;
  }
  expectWorkUnchanged();

  // Through the file: the message names the path given.
  writeFile(path, with(31, {16}));
  std::string error;
  EXPECT_EQ(loadProject(work, path, &error), LoadResult::kMalformed);
  EXPECT_EQ(error.rfind(path + ": layer record 1", 0), 0u) << error;
  expectWorkUnchanged();
}

TEST_F(ProjectFileTest, MissingOrUnreadableFileChangesNothing) {
  std::string error;
  EXPECT_EQ(loadProject(work, path, &error), LoadResult::kMissing);
  EXPECT_EQ(error.rfind(path + ": ", 0), 0u) << error;
  fs::create_directory(path);  // opens, but cannot be read
  EXPECT_EQ(loadProject(work, path, &error), LoadResult::kMissing);
  expectWorkUnchanged();
}

TEST_F(ProjectFileTest, FailedSaveKeepsTheOldFileWhole) {
  Timeline first;
  first.addClip(2, 1.0f, 1.0f, kCamera);
  std::string error;
  ASSERT_TRUE(saveProject(first, path, &error)) << error;
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
  const std::vector<uint8_t> old = readFile(path);

  // The temporary file cannot be created.
  fs::create_directory(path + ".tmp");
  EXPECT_FALSE(saveProject(work, path, &error));
  EXPECT_EQ(error.rfind(path + ": ", 0), 0u) << error;
  EXPECT_EQ(readFile(path), old);
  fs::remove(path + ".tmp");

  // The rename fails (a non-empty folder is in the way): the temporary file goes too.
  const fs::path folder = dir / "folder";
  fs::create_directories(folder / "inside");
  EXPECT_FALSE(saveProject(work, folder.string(), &error));
  EXPECT_FALSE(fs::exists(folder.string() + ".tmp"));
  EXPECT_FALSE(saveProject(work, (dir / "no" / "save.brz").string(), &error));
  expectWorkUnchanged();

  // A stale temporary file from a crash is no obstacle; the user's permissions survive.
  writeFile(path + ".tmp", {1, 2, 3});
  ASSERT_TRUE(saveProject(work, path, &error)) << error;
  EXPECT_EQ(readFile(path), workBytes);
  EXPECT_FALSE(fs::exists(path + ".tmp"));
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
}

}  // namespace
}  // namespace korvalin
