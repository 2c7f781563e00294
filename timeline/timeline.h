// The whole project in memory: the operator type table, 16 layers of clips and the selection.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace korvalin {

constexpr int kLayerCount = 16;
constexpr int kOperatorTypeCount = 7;
constexpr int kMaxParamCount = 13;        // the Camera's block, the largest
constexpr int kMaxClipsPerLayer = 32767;  // the project file stores a layer's count as int16

// Operator type indices: the key shared by the model, the panels and the renderers.
enum OperatorTypeIndex : int32_t {
  kLayer2D = 0,
  kBox = 1,
  kCamera = 2,
  kStartRenderToTex = 3,
  kEndRenderToTex = 4,
  kModel3D = 5,
  kFlat = 6,
};

struct OperatorType {
  const char* name;
  int32_t paramCount;
  int32_t colourClass;
};

// The fixed table, in index order; the project file layout depends on every paramCount.
extern const std::array<OperatorType, kOperatorTypeCount> kOperatorTypeTable;

// paramCount of a type, or 0 for an index outside the table.
int32_t paramCountOf(int32_t type);

struct ClipTimes {
  float start;
  float length;
};

// A clip's parameters; only the first paramCount values belong to the clip.
struct ParameterBlock {
  int32_t paramCount = 0;
  float values[kMaxParamCount] = {};

  float& operator[](int i) { return values[i]; }
  const float& operator[](int i) const { return values[i]; }
};

// Editor-side record of one clip; the model fields plus what the timeline view keeps.
struct ClipBar {
  int32_t rowY = 0;
  int32_t mouseX = 0;
  float start = 0.0f;
  float length = 0.0f;
  float zoom = 0.0f;
  float startPx = 0.0f;
  float lengthPx = 0.0f;
  int32_t operatorType = 0;
  int32_t moveAnchorX = 0;
  int32_t resizeAnchorX = 0;
  float viewStart = 0.0f;
  int32_t colourClass = 0;
  bool hovered = false;
  bool moving = false;
  bool resizing = false;
};

// One layer's row in the editor: its bars in clip order plus the view fields.
struct LayerTrack {
  int32_t index = 0;
  int32_t row = -1;  // not visible until the first drawRow
  int32_t mouseX = 0;
  int32_t mouseY = 0;
  int32_t gridOffset = 0;
  std::vector<ClipBar> bars;
};

// Values of editMode.
enum EditModeValue : int32_t {
  kEditNothing = -1,
  kEditClip = 0,
  kEditChooseOperator = 1,
  kEditNewOperator = 2,
};

// The project: per layer three parallel clip sequences (type, times, parameters) and the
// LayerTrack whose ClipBars match them index for index. Parameter blocks live behind
// pointers so that a panel's pointer into one stays valid while clips are appended.
class Timeline {
 public:
  Timeline();

  std::vector<OperatorType> operatorTypes;
  std::array<std::vector<int32_t>, kLayerCount> layerClipTypes;
  std::array<std::vector<ClipTimes>, kLayerCount> layerClipTimes;
  std::array<std::vector<std::unique_ptr<ParameterBlock>>, kLayerCount> layerClipParams;
  std::vector<LayerTrack> tracks;

  int32_t editMode = kEditNothing;
  int32_t selectedLayer = 0;
  int32_t selectedClip = 0;

  int clipCount(int layer) const { return static_cast<int>(layerClipTypes[layer].size()); }

  // Appends a clip with a zero-filled parameter block. Refuses (returns false, changes
  // nothing) a layer outside 0-15, a type outside 0-6 or a layer that is already full.
  bool addClip(int32_t layer, float start, float length, int32_t type);
  // Removes clip `index` of `layer` from all four sequences; the selection is untouched.
  void removeClip(int32_t layer, int32_t index);
  void deleteSelectedClip();
  void duplicateSelectedClip();
  void removeLayerClip(int32_t layer, int32_t index);
  // ClipTimes of every clip of the layer take the start and length of its ClipBar.
  void syncClipTimes(int32_t layer);
  void syncAllClipTimes();
  // Removes every clip (each removal closes the selection, as the loader does).
  void clear();
};

// The strict activity rule: start < t < start + length, the sum in double precision.
// Written as min(t - start, end - t) > 0 so that the walk over a long layer runs without a
// branch per clip (starts fall either side of t at random and would mispredict). It is the
// same test: a difference of floats in double is never rounded to or across zero, and a NaN
// anywhere reaches the final comparison, which is then false.
inline bool isClipActive(const ClipTimes& times, float t) {
  const double start = times.start;
  const double end = start + static_cast<double>(times.length);
  const double afterStart = static_cast<double>(t) - start;
  const double beforeEnd = end - static_cast<double>(t);
  return (afterStart < beforeEnd ? afterStart : beforeEnd) > 0.0;
}

}  // namespace korvalin
