#include "timeline/project_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>

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

// A fresh folder per test, removed afterwards.
class ProjectFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "korvalin-project-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir = pattern;
    path = (dir / kProjectFileName).string();
  }
  void TearDown() override { fs::remove_all(dir); }

  fs::path dir;
  std::string path;
};

std::vector<uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// Everything a failed load must leave alone.
struct Snapshot {
  std::vector<uint8_t> encoded;
  std::vector<float> barStarts;
  int32_t editMode, selectedLayer, selectedClip;

  explicit Snapshot(const Timeline& t)
      : encoded(encodeProject(t)),
        editMode(t.editMode),
        selectedLayer(t.selectedLayer),
        selectedClip(t.selectedClip) {
    for (const LayerTrack& track : t.tracks)
      for (const ClipBar& bar : track.bars) barStarts.push_back(bar.start);
  }
  bool operator==(const Snapshot& o) const {
    return encoded == o.encoded && barStarts == o.barStarts && editMode == o.editMode &&
           selectedLayer == o.selectedLayer && selectedClip == o.selectedClip;
  }
};

// A project with a clip selected, so that an accidental clear would show.
void fillSomething(Timeline& t) {
  t.addClip(0, 1.0f, 2.0f, kLayer2D);
  t.addClip(7, 3.0f, 4.0f, kModel3D);
  (*t.layerClipParams[7][0])[3] = 42.0f;
  t.editMode = kEditClip;
  t.selectedLayer = 7;
  t.selectedClip = 0;
}

std::vector<uint8_t> emptyProjectBytes() {
  std::vector<uint8_t> bytes;
  for (int layer = 0; layer < kLayerCount; ++layer) {
    bytes.insert(bytes.end(), {uint8_t(layer), 0, 0});
  }
  return bytes;
}

TEST_F(ProjectFileTest, ByteExactLayout) {
  Timeline empty;
  EXPECT_EQ(encodeProject(empty), emptyProjectBytes());

  Timeline box;
  ASSERT_TRUE(box.addClip(3, 2.0f, 1.0f, kBox));
  ParameterBlock& p = *box.layerClipParams[3][0];
  p[0] = 90.0f;
  p[3] = 1.0f;
  std::string error;
  ASSERT_TRUE(saveProject(box, path, &error)) << error;
  const std::vector<uint8_t> file = readFile(path);
  ASSERT_EQ(file.size(), 76u);
  const std::vector<uint8_t> layer3 = {0x03, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                       0x40, 0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0xB4, 0x42, 0x00,
                                       0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80,
                                       0x3F};
  EXPECT_EQ(std::vector<uint8_t>(file.begin() + 9, file.begin() + 40), layer3);
  const std::vector<uint8_t> emptyBytes = emptyProjectBytes();
  EXPECT_TRUE(std::equal(file.begin(), file.begin() + 9, emptyBytes.begin()));
  EXPECT_EQ(file[40], 4);

  // A count above 255 needs both bytes, low first.
  Timeline many;
  for (int i = 0; i < 300; ++i) many.addClip(0, 0, 1, kStartRenderToTex);
  const std::vector<uint8_t> bytes = encodeProject(many);
  EXPECT_EQ(bytes[1], 300 & 0xFF);
  EXPECT_EQ(bytes[2], 300 >> 8);
  EXPECT_EQ(bytes.size(), 48u + 300u * 20u);
}

TEST_F(ProjectFileTest, SaveThenLoadRestoresEveryBit) {
  const float specials[] = {
      -0.0f,
      floatOf(0x7FC01234u),  // quiet NaN with a payload
      floatOf(0xFF800001u),  // signalling NaN, negative
      floatOf(0x00000001u),  // smallest denormal
      floatOf(0x807FFFFFu),  // largest negative denormal
      std::numeric_limits<float>::infinity(),
      -std::numeric_limits<float>::max(),
      1.0e-20f,
  };
  const int nSpecials = int(std::size(specials));

  Timeline saved;
  int n = 0;
  for (int layer = 0; layer < kLayerCount; ++layer) {
    for (int i = 0; i < layer % 5; ++i, ++n) {
      const int type = (layer + i) % kOperatorTypeCount;
      ASSERT_TRUE(saved.addClip(layer, specials[n % nSpecials], specials[(n + 3) % nSpecials], type));
      ParameterBlock& block = *saved.layerClipParams[layer].back();
      for (int k = 0; k < block.paramCount; ++k) block[k] = specials[(n + k) % nSpecials];
    }
  }
  std::string error;
  ASSERT_TRUE(saveProject(saved, path, &error)) << error;
  // Nothing but the project is left beside it.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);

  Timeline loaded;
  fillSomething(loaded);
  ASSERT_EQ(loadProject(loaded, path, &error), LoadResult::kLoaded) << error;
  for (int layer = 0; layer < kLayerCount; ++layer) {
    ASSERT_EQ(loaded.clipCount(layer), saved.clipCount(layer));
    for (int i = 0; i < saved.clipCount(layer); ++i) {
      SCOPED_TRACE(testing::Message() << "layer " << layer << " clip " << i);
      EXPECT_EQ(loaded.layerClipTypes[layer][i], saved.layerClipTypes[layer][i]);
      const ClipTimes& a = saved.layerClipTimes[layer][i];
      const ClipTimes& b = loaded.layerClipTimes[layer][i];
      EXPECT_EQ(bitsOf(b.start), bitsOf(a.start));
      EXPECT_EQ(bitsOf(b.length), bitsOf(a.length));
      // The bars carry the loaded times too, or the next sync would undo the load.
      EXPECT_EQ(bitsOf(loaded.tracks[layer].bars[i].start), bitsOf(a.start));
      EXPECT_EQ(bitsOf(loaded.tracks[layer].bars[i].length), bitsOf(a.length));
      const ParameterBlock& pa = *saved.layerClipParams[layer][i];
      const ParameterBlock& pb = *loaded.layerClipParams[layer][i];
      ASSERT_EQ(pb.paramCount, pa.paramCount);
      for (int k = 0; k < pa.paramCount; ++k) EXPECT_EQ(bitsOf(pb[k]), bitsOf(pa[k]));
    }
  }
  EXPECT_EQ(encodeProject(loaded), readFile(path));
}

TEST_F(ProjectFileTest, RecordOrderAndTrailingBytesDoNotMatter) {
  Timeline source;
  source.addClip(0, 1.0f, 1.0f, kBox);
  source.addClip(0, 2.0f, 1.0f, kFlat);
  source.addClip(9, 3.0f, 1.0f, kCamera);
  source.addClip(15, 4.0f, 1.0f, kEndRenderToTex);
  const std::vector<uint8_t> ordered = encodeProject(source);

  // Cut the ordered file into its records and lay them out back to front.
  std::vector<std::vector<uint8_t>> records;
  size_t pos = 0;
  for (int layer = 0; layer < kLayerCount; ++layer) {
    size_t size = 3;
    for (int32_t type : source.layerClipTypes[layer]) size += 12 + 4 * size_t(paramCountOf(type));
    records.emplace_back(ordered.begin() + pos, ordered.begin() + pos + size);
    pos += size;
  }
  std::vector<uint8_t> reversed;
  for (auto it = records.rbegin(); it != records.rend(); ++it)
    reversed.insert(reversed.end(), it->begin(), it->end());
  reversed.insert(reversed.end(), {0xFF, 0xFF, 0xFF, 0x07});  // garbage after the last record

  Timeline loaded;
  std::string error;
  ASSERT_EQ(decodeProject(loaded, reversed.data(), reversed.size(), "x", &error),
            LoadResult::kLoaded)
      << error;
  EXPECT_EQ(encodeProject(loaded), ordered);
}

TEST_F(ProjectFileTest, LoadClosesTheSelectionOnlyWhenItRemovedClips) {
  const std::vector<uint8_t> empty = emptyProjectBytes();
  std::string error;

  Timeline selected;
  fillSomething(selected);
  ASSERT_EQ(decodeProject(selected, empty.data(), empty.size(), "x", &error), LoadResult::kLoaded);
  EXPECT_EQ(selected.editMode, kEditNothing);

  Timeline dialogOpen;
  dialogOpen.editMode = kEditNewOperator;
  dialogOpen.selectedLayer = kFlat;
  ASSERT_EQ(decodeProject(dialogOpen, empty.data(), empty.size(), "x", &error),
            LoadResult::kLoaded);
  EXPECT_EQ(dialogOpen.editMode, kEditNewOperator);
  EXPECT_EQ(dialogOpen.selectedLayer, kFlat);
}

TEST_F(ProjectFileTest, BadFilesChangeNothingAndSayWhere) {
  // A valid base: one Box on layer 0, the rest empty. Its clip starts at byte 3.
  Timeline base;
  base.addClip(0, 0.5f, 1.0f, kBox);
  const std::vector<uint8_t> good = encodeProject(base);
  ASSERT_EQ(good.size(), 76u);

  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    const char* expected;
  };
  std::vector<Case> cases;
  auto with = [&](size_t offset, std::vector<uint8_t> patch) {
    std::vector<uint8_t> b = good;
    std::copy(patch.begin(), patch.end(), b.begin() + long(offset));
    return b;
  };
  cases.push_back({"layer 16", with(31, {16}), "layer record 1 at byte 31: layer number 16 is outside 0-15"});
  cases.push_back({"layer -1", with(31, {0xFF}), "layer record 1 at byte 31: layer number -1 is outside 0-15"});
  cases.push_back({"layer twice", with(34, {1}), "layer record 2 at byte 34: layer number 1 occurs twice"});
  cases.push_back({"type 7", with(3, {7, 0, 0, 0}), "layer record 0 at byte 3: operator type 7 of clip 0 is outside 0-6"});
  cases.push_back({"type -1", with(3, {0xFF, 0xFF, 0xFF, 0xFF}), "operator type -1 of clip 0 is outside 0-6"});
  cases.push_back({"huge type", with(3, {0, 0, 0, 0x80}), "operator type -2147483648 of clip 0"});
  cases.push_back({"count -1", with(1, {0xFF, 0xFF}), "layer record 0 at byte 1: clip count -1 is below 0"});
  cases.push_back({"count too big", with(1, {2, 0}), "layer record 0 at byte 31: operator type 33554433 of clip 1 is outside 0-6"});
  cases.push_back({"empty file", {}, "layer record 0 at byte 0: the file ends inside the layer header"});

  Timeline t;
  fillSomething(t);
  const Snapshot before(t);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string error;
    EXPECT_EQ(decodeProject(t, c.bytes.data(), c.bytes.size(), "save.brz", &error),
              LoadResult::kMalformed);
    EXPECT_EQ(error.rfind("save.brz: ", 0), 0u) << error;
    EXPECT_NE(error.find(c.expected), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos);
    EXPECT_TRUE(Snapshot(t) == before);
  }

  // Every proper prefix of a valid file ends early somewhere; none may load.
  for (size_t size = 0; size < good.size(); ++size) {
    std::string error;
    ASSERT_EQ(decodeProject(t, good.data(), size, "save.brz", &error), LoadResult::kMalformed)
        << "prefix of " << size << " bytes";
    ASSERT_NE(error.find("ends inside"), std::string::npos) << error;
  }
  EXPECT_TRUE(Snapshot(t) == before);

  // Through the file too: the message names the path given.
  writeFile(path, with(31, {16}));
  std::string error;
  EXPECT_EQ(loadProject(t, path, &error), LoadResult::kMalformed);
  EXPECT_EQ(error.rfind(path + ": layer record 1", 0), 0u) << error;
  EXPECT_TRUE(Snapshot(t) == before);
}

TEST_F(ProjectFileTest, MissingOrUnreadableFileChangesNothing) {
  Timeline t;
  fillSomething(t);
  const Snapshot before(t);
  std::string error;
  EXPECT_EQ(loadProject(t, (dir / "nothing.brz").string(), &error), LoadResult::kMissing);
  EXPECT_NE(error.find("nothing.brz"), std::string::npos);
  EXPECT_TRUE(Snapshot(t) == before);

  // A folder where the file should be: opens, but cannot be read.
  fs::create_directory(path);
  error.clear();
  EXPECT_EQ(loadProject(t, path, &error), LoadResult::kMissing);
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(Snapshot(t) == before);

  // A fresh project stays empty on a missing file.
  Timeline fresh;
  EXPECT_EQ(loadProject(fresh, (dir / "nothing.brz").string(), nullptr), LoadResult::kMissing);
  EXPECT_EQ(encodeProject(fresh), emptyProjectBytes());
}

TEST_F(ProjectFileTest, FailedSaveKeepsTheOldFileWhole) {
  Timeline first;
  first.addClip(2, 1.0f, 1.0f, kCamera);
  std::string error;
  ASSERT_TRUE(saveProject(first, path, &error)) << error;
  const std::vector<uint8_t> old = readFile(path);

  Timeline second;
  fillSomething(second);
  const Snapshot before(second);

  // The temporary file cannot be created: a folder stands in its way.
  fs::create_directory(path + ".tmp");
  EXPECT_FALSE(saveProject(second, path, &error));
  EXPECT_EQ(error.rfind(path + ": ", 0), 0u) << error;
  EXPECT_EQ(readFile(path), old);
  fs::remove(path + ".tmp");

  // The target is a non-empty folder: the rename fails and the temporary file goes away.
  const std::string folder = (dir / "folder").string();
  fs::create_directories(fs::path(folder) / "inside");
  EXPECT_FALSE(saveProject(second, folder, &error));
  EXPECT_FALSE(fs::exists(folder + ".tmp"));

  // A folder that does not exist.
  EXPECT_FALSE(saveProject(second, (dir / "no" / "save.brz").string(), &error));
  EXPECT_FALSE(error.empty());

  EXPECT_TRUE(Snapshot(second) == before);

  // A stale temporary file from an earlier crash does not get in the way.
  writeFile(path + ".tmp", {1, 2, 3});
  ASSERT_TRUE(saveProject(second, path, &error)) << error;
  EXPECT_EQ(readFile(path), encodeProject(second));
  EXPECT_FALSE(fs::exists(path + ".tmp"));
}

}  // namespace
}  // namespace korvalin
