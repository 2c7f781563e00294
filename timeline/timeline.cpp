#include "timeline/timeline.h"

#include <algorithm>

namespace korvalin {

const std::array<OperatorType, kOperatorTypeCount> kOperatorTypeTable = {{
    {"Layer 2D", 3, 1},
    {"Box", 4, 1},
    {"Camera", 13, 0},
    {"Start rend to Tex", 2, 3},
    {"End rend to Tex", 3, 3},
    {"Model 3D", 8, 1},
    {"Flat", 6, 1},
}};

int32_t paramCountOf(int32_t type) {
  if (type < 0 || type >= kOperatorTypeCount) return 0;
  return kOperatorTypeTable[type].paramCount;
}

Timeline::Timeline() {
  operatorTypes.assign(kOperatorTypeTable.begin(), kOperatorTypeTable.end());
  tracks.resize(kLayerCount);
  for (int i = 0; i < kLayerCount; ++i) tracks[i].index = i;
}

bool Timeline::addClip(int32_t layer, float start, float length, int32_t type) {
  if (layer < 0 || layer >= kLayerCount || type < 0 || type >= kOperatorTypeCount) return false;
  if (clipCount(layer) >= kMaxClipsPerLayer) return false;

  ClipBar bar;
  bar.start = start;
  bar.length = length;
  bar.operatorType = type;
  bar.colourClass = operatorTypes[type].colourClass;
  tracks[layer].bars.push_back(bar);
  layerClipTypes[layer].push_back(type);

  auto block = std::make_unique<ParameterBlock>();
  block->paramCount = operatorTypes[type].paramCount;
  layerClipParams[layer].push_back(std::move(block));
  // Filled at once rather than at the next sync, so a save in the same pass never sees
  // an unset record.
  layerClipTimes[layer].push_back(ClipTimes{start, length});
  return true;
}

void Timeline::removeClip(int32_t layer, int32_t index) {
  if (layer < 0 || layer >= kLayerCount || index < 0 || index >= clipCount(layer)) return;
  tracks[layer].bars.erase(tracks[layer].bars.begin() + index);
  layerClipTypes[layer].erase(layerClipTypes[layer].begin() + index);
  layerClipParams[layer].erase(layerClipParams[layer].begin() + index);
  layerClipTimes[layer].erase(layerClipTimes[layer].begin() + index);
}

void Timeline::deleteSelectedClip() {
  if (editMode != kEditClip) return;
  removeClip(selectedLayer, selectedClip);
  editMode = kEditNothing;
}

void Timeline::duplicateSelectedClip() {
  if (editMode != kEditClip) return;
  if (selectedLayer < 0 || selectedLayer >= kLayerCount) return;
  if (selectedClip < 0 || selectedClip >= clipCount(selectedLayer)) return;
  const ClipTimes times = layerClipTimes[selectedLayer][selectedClip];
  const int32_t type = tracks[selectedLayer].bars[selectedClip].operatorType;
  if (!addClip(selectedLayer, times.start + times.length, times.length, type)) return;
  // addClip may have moved the sequences; copy through fresh references.
  const ParameterBlock& from = *layerClipParams[selectedLayer][selectedClip];
  ParameterBlock& to = *layerClipParams[selectedLayer].back();
  std::copy(from.values, from.values + from.paramCount, to.values);
}

void Timeline::removeLayerClip(int32_t layer, int32_t index) {
  removeClip(layer, index);
  editMode = kEditNothing;
}

void Timeline::syncClipTimes(int32_t layer) {
  if (layer < 0 || layer >= kLayerCount) return;
  const std::vector<ClipBar>& bars = tracks[layer].bars;
  std::vector<ClipTimes>& times = layerClipTimes[layer];
  for (size_t i = 0; i < bars.size(); ++i) {
    times[i].start = bars[i].start;
    times[i].length = bars[i].length;
  }
}

void Timeline::syncAllClipTimes() {
  for (const LayerTrack& track : tracks) syncClipTimes(track.index);
}

void Timeline::clear() {
  // Removing from the end keeps this linear; the outcome is the same as removing clip 0
  // over and over.
  for (int layer = 0; layer < kLayerCount; ++layer) {
    if (clipCount(layer) == 0) continue;
    tracks[layer].bars.clear();
    layerClipTypes[layer].clear();
    layerClipParams[layer].clear();
    layerClipTimes[layer].clear();
    editMode = kEditNothing;
  }
}

}  // namespace korvalin
