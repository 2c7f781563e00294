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
    ASSERT_EQ(t.layerClipTimes[layer].size(), n);
    ASSERT_EQ(t.layerClipParams[layer].size(), n);
    ASSERT_EQ(t.tracks[layer].bars.size(), n);
    for (size_t i = 0; i < n; ++i) {
      EXPECT_EQ(t.tracks[layer].bars[i].operatorType, t.layerClipTypes[layer][i]);
      EXPECT_EQ(t.layerClipTimes[layer][i].start, t.tracks[layer].bars[i].start);
      EXPECT_EQ(t.layerClipParams[layer][i]->paramCount, paramCountOf(t.layerClipTypes[layer][i]));
    }
  }
}

void select(Timeline& t, int layer, int clip) {
  t.editMode = kEditClip;
  t.selectedLayer = layer;
  t.selectedClip = clip;
}

TEST(Timeline, AddClipRefusesWhatCouldNotBeSavedAndFillsTheRest) {
  Timeline t;
  EXPECT_FALSE(t.addClip(-1, 0, 1, kBox));
  EXPECT_FALSE(t.addClip(16, 0, 1, kBox));
  EXPECT_FALSE(t.addClip(0, 0, 1, -1));
  EXPECT_FALSE(t.addClip(0, 0, 1, 7));
  for (int i = 0; i < kMaxClipsPerLayer; ++i) ASSERT_TRUE(t.addClip(0, 0, 1, kFlat));
  EXPECT_FALSE(t.addClip(0, 0, 1, kFlat)) << "the file's count is an int16";

  // A clip added and saved in the same pass must not have an unset time record.
  ASSERT_TRUE(t.addClip(5, -1.0f, 2.5f, kCamera));
  EXPECT_EQ(t.layerClipTimes[5][0].start, -1.0f);
  EXPECT_EQ(t.layerClipTimes[5][0].length, 2.5f);
  EXPECT_EQ(t.tracks[5].bars[0].colourClass, 0);
  for (float v : t.layerClipParams[5][0]->values) EXPECT_EQ(v, 0.0f);
  expectMatched(t);
}

TEST(Timeline, DeleteAndDuplicateKeepTheSequencesMatched) {
  Timeline t;
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(t.addClip(4, float(i), 2.0f, i == 1 ? kCamera : kFlat));
    (*t.layerClipParams[4][i])[0] = 10.0f + float(i);
  }
  const ParameterBlock* third = t.layerClipParams[4][2].get();

  select(t, 4, 1);
  t.deleteSelectedClip();
  EXPECT_EQ(t.editMode, kEditNothing);
  ASSERT_EQ(t.clipCount(4), 2);
  expectMatched(t);
  EXPECT_EQ(t.layerClipTimes[4][1].start, 2.0f);
  EXPECT_EQ((*t.layerClipParams[4][1])[0], 12.0f);
  EXPECT_EQ(t.layerClipParams[4][1].get(), third) << "panels point into blocks";

  // Nothing selected: neither key acts. A stale selection removes nothing.
  t.deleteSelectedClip();
  t.duplicateSelectedClip();
  select(t, 4, 9);
  t.deleteSelectedClip();
  t.duplicateSelectedClip();
  EXPECT_EQ(t.clipCount(4), 2);

  // The copy starts where the clip ends and goes to the end of the layer, whatever follows
  // in time; times come from the record, not from a bar that may be ahead of it.
  for (int k = 0; k < 6; ++k) (*t.layerClipParams[4][0])[k] = float(k) + 0.5f;
  t.tracks[4].bars[0].start = 100.0f;
  select(t, 4, 0);
  t.duplicateSelectedClip();
  ASSERT_EQ(t.clipCount(4), 3);
  EXPECT_EQ(t.layerClipTimes[4][2].start, 2.0f);
  EXPECT_EQ(t.layerClipTimes[4][2].length, 2.0f);
  for (int k = 0; k < 6; ++k) EXPECT_EQ((*t.layerClipParams[4][2])[k], float(k) + 0.5f);
  EXPECT_EQ(t.editMode, kEditClip);
  EXPECT_EQ(t.selectedClip, 0);
  t.syncAllClipTimes();
  expectMatched(t);

  // Deleting the only clip of a layer empties it; clearing closes the selection only if it
  // removed something.
  t.addClip(9, 0, 1, kLayer2D);
  select(t, 9, 0);
  t.deleteSelectedClip();
  EXPECT_EQ(t.clipCount(9), 0);
  t.editMode = kEditNewOperator;
  Timeline empty;
  empty.editMode = kEditNewOperator;
  empty.clear();
  EXPECT_EQ(empty.editMode, kEditNewOperator);
  t.clear();
  EXPECT_EQ(t.editMode, kEditNothing);
  expectMatched(t);
  t.syncClipTimes(16);  // ignored, not indexed
}

// The rule as stated, with its two comparisons, against the branch-free form in the header.
TEST(Timeline, ActivityIsStrictAndMatchesThePlainRule) {
  EXPECT_FALSE(isClipActive(ClipTimes{2.0f, 3.0f}, 2.0f));
  EXPECT_TRUE(isClipActive(ClipTimes{2.0f, 3.0f}, 4.9999f));
  EXPECT_FALSE(isClipActive(ClipTimes{2.0f, 3.0f}, 5.0f));
  EXPECT_FALSE(isClipActive(ClipTimes{1.0f, 0.0f}, 1.0f));

  auto plain = [](float start, float length, float t) {
    return start < t && static_cast<double>(start) + static_cast<double>(length) > t;
  };
  const float inf = std::numeric_limits<float>::infinity();
  std::vector<float> values = {0.0f, -0.0f, 1.0f, -1.0f, 2.0f, 3.0f, 1.0e8f, 16777216.0f,
                               std::numeric_limits<float>::denorm_min(),
                               std::numeric_limits<float>::min(),
                               std::numeric_limits<float>::max(),
                               -std::numeric_limits<float>::max(), inf, -inf,
                               std::numeric_limits<float>::quiet_NaN()};
  const size_t base = values.size();
  for (size_t i = 0; i < base; ++i) {
    if (!std::isfinite(values[i])) continue;
    values.push_back(std::nextafter(values[i], inf));
    values.push_back(std::nextafter(values[i], -inf));
  }
  for (float s : values)
    for (float l : values)
      for (float t : values)
        ASSERT_EQ(isClipActive(ClipTimes{s, l}, t), plain(s, l, t)) << s << " " << l << " " << t;

  uint32_t seed = 99;
  auto randomFloat = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    float f;
    std::memcpy(&f, &seed, 4);
    return f;
  };
  for (int i = 0; i < 200000; ++i) {
    const float s = randomFloat(), l = randomFloat(), t = randomFloat();
    ASSERT_EQ(isClipActive(ClipTimes{s, l}, t), plain(s, l, t)) << s << " " << l << " " << t;
  }
}

}  // namespace
}  // namespace korvalin
