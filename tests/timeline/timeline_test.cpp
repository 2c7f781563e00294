#include "timeline/timeline.h"

#include <gtest/gtest.h>

#include <cmath>
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
    }
  }
}

void select(Timeline& t, int layer, int clip) {
  t.editMode = kEditClip;
  t.selectedLayer = layer;
  t.selectedClip = clip;
}

TEST(Timeline, AddClipRefusesWhatCouldNotBeSaved) {
  Timeline t;
  EXPECT_FALSE(t.addClip(-1, 0, 1, kBox));
  EXPECT_FALSE(t.addClip(16, 0, 1, kBox));
  EXPECT_FALSE(t.addClip(0, 0, 1, -1));
  EXPECT_FALSE(t.addClip(0, 0, 1, 7));
  for (int i = 0; i < kMaxClipsPerLayer; ++i) ASSERT_TRUE(t.addClip(0, 0, 1, kFlat));
  EXPECT_FALSE(t.addClip(0, 0, 1, kFlat)) << "the file's count is an int16";

  // A clip saved in the same pass as its add must already have its time record.
  ASSERT_TRUE(t.addClip(5, -1.0f, 2.5f, kCamera));
  EXPECT_EQ(t.layerClipTimes[5][0].length, 2.5f);
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
  EXPECT_EQ((*t.layerClipParams[4][1])[0], 12.0f);
  EXPECT_EQ(t.layerClipParams[4][1].get(), third) << "panels point into blocks";

  // With nothing selected, or a stale selection, neither key removes or adds anything.
  t.deleteSelectedClip();
  t.duplicateSelectedClip();
  select(t, 4, 9);
  t.duplicateSelectedClip();
  t.deleteSelectedClip();
  EXPECT_EQ(t.clipCount(4), 2);

  // The copy goes to the end of the layer, starting where the clip ends by its record (a bar
  // being dragged may be ahead of it).
  for (int k = 0; k < 6; ++k) (*t.layerClipParams[4][0])[k] = float(k) + 0.5f;
  t.tracks[4].bars[0].start = 100.0f;
  select(t, 4, 0);
  t.duplicateSelectedClip();
  ASSERT_EQ(t.clipCount(4), 3);
  EXPECT_EQ(t.layerClipTimes[4][2].start, 2.0f);
  EXPECT_EQ(t.layerClipTimes[4][2].length, 2.0f);
  for (int k = 0; k < 6; ++k) EXPECT_EQ((*t.layerClipParams[4][2])[k], float(k) + 0.5f);
  t.syncAllClipTimes();
  expectMatched(t);
}

// Strict bounds, and the branch-free form in the header against the rule with its two
// comparisons, over the values where rounding, signed zeros, infinities and NaN bite.
TEST(Timeline, ActivityIsStrictAndMatchesThePlainRule) {
  const ClipTimes clip{2.0f, 3.0f};
  EXPECT_FALSE(isClipActive(clip, 2.0f));
  EXPECT_TRUE(isClipActive(clip, 4.9999f));
  EXPECT_FALSE(isClipActive(clip, 5.0f));

  using limits = std::numeric_limits<float>;
  const float inf = limits::infinity();
  std::vector<float> values = {0.0f, -0.0f, 1.0f, -1.0f, 3.0f, 1.0e8f, 16777216.0f,
                               limits::denorm_min(), limits::min(), limits::max(),
                               -limits::max(), inf, -inf, limits::quiet_NaN()};
  for (size_t i = 0, n = values.size(); i < n; ++i) {
    if (!std::isfinite(values[i])) continue;
    values.push_back(std::nextafter(values[i], inf));
    values.push_back(std::nextafter(values[i], -inf));
  }
  for (float s : values)
    for (float l : values)
      for (float t : values) {
        const bool plain = s < t && double(s) + double(l) > double(t);
        ASSERT_EQ(isClipActive(ClipTimes{s, l}, t), plain) << s << " " << l << " " << t;
      }
}

}  // namespace
}  // namespace korvalin
