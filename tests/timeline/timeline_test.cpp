#include "timeline/timeline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace korvalin {
namespace {

// Every layer's four sequences have one entry per clip, and entry i of each is clip i.
void expectMatched(const Timeline& t) {
  for (int layer = 0; layer < kLayerCount; ++layer) {
    const size_t n = t.layerClipTypes[layer].size();
    ASSERT_EQ(t.layerClipTimes[layer].size(), n) << "layer " << layer;
    ASSERT_EQ(t.layerClipParams[layer].size(), n) << "layer " << layer;
    ASSERT_EQ(t.tracks[layer].bars.size(), n) << "layer " << layer;
    for (size_t i = 0; i < n; ++i) {
      const int32_t type = t.layerClipTypes[layer][i];
      EXPECT_EQ(t.tracks[layer].bars[i].operatorType, type);
      EXPECT_EQ(t.layerClipParams[layer][i]->paramCount, paramCountOf(type));
    }
  }
}

// Adds a clip whose first parameter tags it, so that moved clips can be recognised.
void addTagged(Timeline& t, int layer, float start, float length, int type, float tag) {
  ASSERT_TRUE(t.addClip(layer, start, length, type));
  (*t.layerClipParams[layer].back())[0] = tag;
}

TEST(Timeline, FreshModelHasTheTypeTableAndSixteenEmptyLayers) {
  Timeline t;
  ASSERT_EQ(t.operatorTypes.size(), size_t(kOperatorTypeCount));
  const int counts[] = {3, 4, 13, 2, 3, 8, 6};
  const int classes[] = {1, 1, 0, 3, 3, 1, 1};
  for (int i = 0; i < kOperatorTypeCount; ++i) {
    EXPECT_EQ(t.operatorTypes[i].paramCount, counts[i]);
    EXPECT_EQ(t.operatorTypes[i].colourClass, classes[i]);
  }
  EXPECT_STREQ(t.operatorTypes[kStartRenderToTex].name, "Start rend to Tex");
  ASSERT_EQ(t.tracks.size(), size_t(kLayerCount));
  for (int i = 0; i < kLayerCount; ++i) {
    EXPECT_EQ(t.tracks[i].index, i);
    EXPECT_EQ(t.clipCount(i), 0);
  }
  EXPECT_EQ(t.editMode, kEditNothing);
}

TEST(Timeline, AddClipFillsEverythingAndRefusesWhatCannotBeSaved) {
  Timeline t;
  t.editMode = kEditClip;
  t.selectedLayer = 2;
  t.selectedClip = 0;
  ASSERT_TRUE(t.addClip(5, -1.0f, 2.5f, kCamera));
  const ClipBar& bar = t.tracks[5].bars[0];
  EXPECT_EQ(bar.start, -1.0f);
  EXPECT_EQ(bar.length, 2.5f);
  EXPECT_EQ(bar.colourClass, 0);
  EXPECT_FALSE(bar.hovered || bar.moving || bar.resizing);
  // Times are right before any sync, and the block starts zero-filled.
  EXPECT_EQ(t.layerClipTimes[5][0].start, -1.0f);
  EXPECT_EQ(t.layerClipTimes[5][0].length, 2.5f);
  for (float v : t.layerClipParams[5][0]->values) EXPECT_EQ(v, 0.0f);
  // The selection is not addClip's business.
  EXPECT_EQ(t.editMode, kEditClip);
  EXPECT_EQ(t.selectedLayer, 2);

  EXPECT_FALSE(t.addClip(-1, 0, 1, kBox));
  EXPECT_FALSE(t.addClip(16, 0, 1, kBox));
  EXPECT_FALSE(t.addClip(0, 0, 1, -1));
  EXPECT_FALSE(t.addClip(0, 0, 1, 7));
  for (int i = 0; i < kMaxClipsPerLayer; ++i) ASSERT_TRUE(t.addClip(0, 0, 1, kFlat));
  EXPECT_FALSE(t.addClip(0, 0, 1, kFlat));
  EXPECT_EQ(t.clipCount(0), kMaxClipsPerLayer);
  expectMatched(t);
}

TEST(Timeline, DeleteKeepsTheRestMatchedAndClosesTheSelection) {
  Timeline t;
  addTagged(t, 4, 0.0f, 1.0f, kBox, 10.0f);
  addTagged(t, 4, 1.0f, 2.0f, kCamera, 11.0f);
  addTagged(t, 4, 3.0f, 4.0f, kFlat, 12.0f);
  ParameterBlock* third = t.layerClipParams[4][2].get();

  t.editMode = kEditClip;
  t.selectedLayer = 4;
  t.selectedClip = 1;
  t.deleteSelectedClip();
  EXPECT_EQ(t.editMode, kEditNothing);
  ASSERT_EQ(t.clipCount(4), 2);
  expectMatched(t);
  EXPECT_EQ(t.layerClipTypes[4][1], kFlat);
  EXPECT_EQ(t.layerClipTimes[4][1].start, 3.0f);
  EXPECT_EQ(t.tracks[4].bars[1].start, 3.0f);
  EXPECT_EQ((*t.layerClipParams[4][1])[0], 12.0f);
  // Panels hold pointers into blocks; a removal elsewhere must not move them.
  EXPECT_EQ(t.layerClipParams[4][1].get(), third);

  // Nothing selected now: neither delete nor duplicate acts.
  t.deleteSelectedClip();
  t.duplicateSelectedClip();
  EXPECT_EQ(t.clipCount(4), 2);

  // Deleting the only clip of a layer empties it.
  addTagged(t, 9, 0.0f, 1.0f, kLayer2D, 1.0f);
  t.editMode = kEditClip;
  t.selectedLayer = 9;
  t.selectedClip = 0;
  t.deleteSelectedClip();
  EXPECT_EQ(t.clipCount(9), 0);
  expectMatched(t);

  // A stale selection pointing past the end removes nothing.
  t.editMode = kEditClip;
  t.selectedLayer = 4;
  t.selectedClip = 7;
  t.deleteSelectedClip();
  EXPECT_EQ(t.clipCount(4), 2);
  t.removeLayerClip(4, 0);
  EXPECT_EQ(t.clipCount(4), 1);
  EXPECT_EQ(t.editMode, kEditNothing);
}

TEST(Timeline, DuplicateAppendsACopyWhereTheClipEnds) {
  Timeline t;
  addTagged(t, 1, 2.0f, 3.0f, kCamera, 0.0f);
  addTagged(t, 1, 20.0f, 1.0f, kBox, 0.0f);
  for (int k = 0; k < 13; ++k) (*t.layerClipParams[1][0])[k] = float(k) + 0.5f;

  t.editMode = kEditChooseOperator;
  t.selectedLayer = 1;
  t.selectedClip = 0;
  t.duplicateSelectedClip();
  EXPECT_EQ(t.clipCount(1), 2) << "duplicate acts only with a clip selected";

  t.editMode = kEditClip;
  t.duplicateSelectedClip();
  ASSERT_EQ(t.clipCount(1), 3);
  expectMatched(t);
  // Appended at the end even though clip 1 follows in time.
  EXPECT_EQ(t.layerClipTypes[1][2], kCamera);
  EXPECT_EQ(t.tracks[1].bars[2].start, 5.0f);
  EXPECT_EQ(t.tracks[1].bars[2].length, 3.0f);
  EXPECT_EQ(t.layerClipTimes[1][2].start, 5.0f);
  for (int k = 0; k < 13; ++k) EXPECT_EQ((*t.layerClipParams[1][2])[k], float(k) + 0.5f);
  EXPECT_EQ(t.editMode, kEditClip);
  EXPECT_EQ(t.selectedClip, 0);

  // The copy is taken from the time record, not the bar, which may be ahead of it.
  t.tracks[1].bars[0].start = 100.0f;
  t.duplicateSelectedClip();
  EXPECT_EQ(t.layerClipTimes[1][3].start, 5.0f);
}

TEST(Timeline, SyncCopiesBarsIntoTimeRecords) {
  Timeline t;
  t.addClip(0, 1.0f, 1.0f, kBox);
  t.addClip(15, 2.0f, 1.0f, kBox);
  t.tracks[0].bars[0].start = 4.0f;
  t.tracks[15].bars[0].length = 9.0f;
  EXPECT_EQ(t.layerClipTimes[0][0].start, 1.0f);
  t.syncAllClipTimes();
  EXPECT_EQ(t.layerClipTimes[0][0].start, 4.0f);
  EXPECT_EQ(t.layerClipTimes[15][0].length, 9.0f);
  // Out-of-range layers are ignored rather than indexed.
  t.syncClipTimes(-1);
  t.syncClipTimes(16);
}

TEST(Timeline, ClearClosesTheSelectionOnlyWhenItRemovedSomething) {
  Timeline t;
  t.editMode = kEditNewOperator;
  t.clear();
  EXPECT_EQ(t.editMode, kEditNewOperator);
  t.addClip(3, 0, 1, kBox);
  t.clear();
  EXPECT_EQ(t.editMode, kEditNothing);
  EXPECT_EQ(t.clipCount(3), 0);
  expectMatched(t);
}

TEST(Timeline, ActivityIsStrictAtBothEnds) {
  const ClipTimes clip{2.0f, 3.0f};
  EXPECT_FALSE(isClipActive(clip, 2.0f));
  EXPECT_TRUE(isClipActive(clip, 2.0001f));
  EXPECT_TRUE(isClipActive(clip, 4.9999f));
  EXPECT_FALSE(isClipActive(clip, 5.0f));
  EXPECT_FALSE(isClipActive(ClipTimes{1.0f, 0.0f}, 1.0f));
  EXPECT_FALSE(isClipActive(ClipTimes{1.0f, -2.0f}, 0.5f));
  EXPECT_TRUE(isClipActive(ClipTimes{-1.0f, 1.5f}, 0.0f));
}

// The rule as stated, with its two comparisons, against the branch-free form in the header.
TEST(Timeline, ActivityMatchesThePlainRuleOnAwkwardValues) {
  auto plain = [](float start, float length, float t) {
    return start < t && static_cast<double>(start) + static_cast<double>(length) > t;
  };
  const float inf = std::numeric_limits<float>::infinity();
  std::vector<float> values = {0.0f, -0.0f, 1.0f, -1.0f, 2.0f, 3.0f, 5.0f, 1.0e8f, -1.0e8f,
                               std::numeric_limits<float>::denorm_min(),
                               -std::numeric_limits<float>::denorm_min(),
                               std::numeric_limits<float>::min(),
                               std::numeric_limits<float>::max(),
                               -std::numeric_limits<float>::max(), inf, -inf,
                               std::numeric_limits<float>::quiet_NaN(), 16777216.0f, 1.0e-30f};
  const size_t base = values.size();
  for (size_t i = 0; i < base; ++i) {
    if (std::isfinite(values[i])) {
      values.push_back(std::nextafter(values[i], inf));
      values.push_back(std::nextafter(values[i], -inf));
    }
  }
  for (float s : values)
    for (float l : values)
      for (float t : values)
        ASSERT_EQ(isClipActive(ClipTimes{s, l}, t), plain(s, l, t))
            << "start " << s << " length " << l << " t " << t;

  // Random bit patterns, and random values close to each other.
  uint32_t seed = 99;
  auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return seed;
  };
  auto fromBits = [](uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
  };
  for (int i = 0; i < 200000; ++i) {
    const float s = fromBits(next()), l = fromBits(next()), t = fromBits(next());
    ASSERT_EQ(isClipActive(ClipTimes{s, l}, t), plain(s, l, t)) << s << " " << l << " " << t;
    const float s2 = float(next() % 1000) * 0.25f, l2 = float(next() % 8) * 0.25f;
    const float t2 = s2 + float(next() % 12) * 0.25f - 0.5f;
    ASSERT_EQ(isClipActive(ClipTimes{s2, l2}, t2), plain(s2, l2, t2)) << s2 << " " << l2 << " " << t2;
  }
}

}  // namespace
}  // namespace korvalin
