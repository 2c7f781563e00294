#include "timeline/timeline.h"

#include <gtest/gtest.h>

#include <tuple>

#include "timeline/project_file.h"

namespace korvalin {
namespace {

// Every layer's four sequences have one entry per clip, and entry i of each is clip i.
void expectMatched(const Timeline& t) {
  for (int layer = 0; layer < kLayerCount; ++layer) {
    const size_t n = t.layerClipTypes[layer].size();
    ASSERT_TRUE(t.layerClipTimes[layer].size() == n && t.layerClipParams[layer].size() == n && t.tracks[layer].bars.size() == n);
    for (size_t i = 0; i < n; ++i)
      EXPECT_TRUE(t.tracks[layer].bars[i].operatorType == t.layerClipTypes[layer][i] &&
                  t.layerClipTimes[layer][i].start == t.tracks[layer].bars[i].start);
  }
}

void select(Timeline& t, int layer, int clip) {
  t.editMode = kEditClip;
  t.selectedLayer = layer;
  t.selectedClip = clip;
}

// The table fixes the project file's layout: a clip record is 12 bytes and 4 per parameter.
// Layers, types and counts a file could not hold are refused.
TEST(Timeline, OperatorTypesFixNamesColoursAndRecordSizes) {
  const std::tuple<const char*, int, int, size_t> rows[] = {
      {"Layer 2D", 3, 1, 24}, {"Box", 4, 1, 28},    {"Camera", 13, 0, 64}, {"Start rend to Tex", 2, 3, 20},
      {"End rend to Tex", 3, 3, 24}, {"Model 3D", 8, 1, 44}, {"Flat", 6, 1, 36},
  };
  Timeline t;
  ASSERT_EQ(t.operatorTypes.size(), 7u);
  for (int type = 0; type < 7; ++type) {
    const auto& [name, params, colour, record] = rows[type];
    SCOPED_TRACE(name);
    EXPECT_STREQ(t.operatorTypes[type].name, name);
    EXPECT_TRUE(t.operatorTypes[type].paramCount == params && paramCountOf(type) == params);
    ASSERT_TRUE(t.addClip(type, 0.0f, 1.0f, type));
    EXPECT_TRUE(t.operatorTypes[type].colourClass == colour && t.tracks[type].bars[0].colourClass == colour);
    EXPECT_EQ(t.layerClipParams[type][0]->paramCount, params);
    EXPECT_EQ(encodeProject(t).size(), 48 + record);
    t.removeLayerClip(type, 0);
  }
  EXPECT_TRUE(paramCountOf(-1) == 0 && paramCountOf(7) == 0);
  for (int layer = 0; layer < kLayerCount; ++layer) EXPECT_EQ(t.tracks[layer].index, layer);
  for (auto [layer, type] : {std::pair{-1, 1}, {16, 1}, {0, -1}, {0, 7}}) EXPECT_FALSE(t.addClip(layer, 0, 1, type));
}

// Removing, copying and refreshing keep the sequences matched; keys that name no clip do nothing.
TEST(Timeline, DeleteDuplicateAndSyncKeepTheSequencesMatched) {
  Timeline t;
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(t.addClip(0, float(i), 2.0f, i == 1 ? kCamera : kFlat));
    (*t.layerClipParams[0][i])[0] = 10.0f + float(i);
  }
  const ParameterBlock* third = t.layerClipParams[0][2].get();
  select(t, 0, 1);
  t.deleteSelectedClip();
  EXPECT_EQ(t.editMode, kEditNothing);
  ASSERT_EQ(t.clipCount(0), 2);
  EXPECT_EQ((*t.layerClipParams[0][1])[0], 12.0f);
  EXPECT_EQ(t.layerClipParams[0][1].get(), third) << "panels point into blocks";
  t.deleteSelectedClip();
  t.duplicateSelectedClip();
  for (auto [layer, clip] : {std::pair{0, 2}, {0, -1}, {16, 0}, {-1, 0}}) {
    select(t, layer, clip);
    t.duplicateSelectedClip();
    t.removeClip(layer, clip);
    t.syncClipTimes(layer);
  }
  t.removeLayerClip(3, 0);
  EXPECT_EQ(t.editMode, kEditNothing);
  ASSERT_EQ(t.clipCount(0), 2);
  expectMatched(t);

  // The copy goes to the end of the layer, starting where the clip ends by its record (a bar
  // being dragged may be ahead of it).
  for (int k = 0; k < 6; ++k) (*t.layerClipParams[0][0])[k] = float(k) + 0.5f;
  t.tracks[0].bars[0].start = 100.0f;
  t.tracks[0].bars[1].length = 7.0f;
  select(t, 0, 0);
  t.duplicateSelectedClip();
  ASSERT_EQ(t.clipCount(0), 3);
  EXPECT_EQ(t.editMode, kEditClip);
  EXPECT_TRUE(t.layerClipTimes[0][2].start == 2.0f && t.layerClipTimes[0][2].length == 2.0f);
  for (int k = 0; k < 6; ++k) EXPECT_EQ((*t.layerClipParams[0][2])[k], float(k) + 0.5f);
  t.syncAllClipTimes();
  EXPECT_TRUE(t.layerClipTimes[0][0].start == 100.0f && t.layerClipTimes[0][1].length == 7.0f);
  expectMatched(t);

  // A full layer refuses the copy (the file's count is an int16) without touching its last clip.
  (*t.layerClipParams[0][0])[12] = 60.0f;
  while (t.clipCount(0) < kMaxClipsPerLayer) ASSERT_TRUE(t.addClip(0, 0, 1, kFlat));
  EXPECT_FALSE(t.addClip(0, 0, 1, kFlat));
  t.duplicateSelectedClip();
  EXPECT_EQ(t.clipCount(0), kMaxClipsPerLayer);
  EXPECT_EQ((*t.layerClipParams[0].back())[12], 0.0f);

  // Emptying closes the selection only where there was something to remove.
  t.clear();
  EXPECT_TRUE(t.editMode == kEditNothing && t.clipCount(0) == 0);
  expectMatched(t);
  select(t, 4, 0);
  t.clear();
  EXPECT_EQ(t.editMode, kEditClip);
}

}  // namespace
}  // namespace korvalin
