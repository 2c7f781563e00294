#include "editor/history.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "editor/editor.h"
#include "timeline/project_file.h"

namespace korvalin {

namespace {

// What malloc adds to each parameter block it hands out.
constexpr size_t kAllocationOverhead = 16;

// Moves the last element of a sequence to `index`, keeping the order of the others.
template <class Sequence>
void moveLastTo(Sequence& sequence, int32_t index) {
  std::rotate(sequence.begin() + index, sequence.end() - 1, sequence.end());
}

// Compared bit for bit: a value dragged away and back is no change, 0 and -0 are two values.
bool sameValues(const ClipValues& a, const ClipValues& b) { return std::memcmp(&a, &b, sizeof(ClipValues)) == 0; }

}  // namespace

void swapClips(Timeline& a, Timeline& b) {
  for (int layer = 0; layer < kLayerCount; ++layer) {
    std::swap(a.tracks[layer].bars, b.tracks[layer].bars);
    std::swap(a.layerClipTypes[layer], b.layerClipTypes[layer]);
    std::swap(a.layerClipTimes[layer], b.layerClipTimes[layer]);
    std::swap(a.layerClipParams[layer], b.layerClipParams[layer]);
  }
}

size_t clipMemory(const Timeline& timeline) {
  size_t bytes = sizeof(Timeline);
  for (int layer = 0; layer < kLayerCount; ++layer) {
    bytes += timeline.tracks[layer].bars.capacity() * sizeof(ClipBar);
    bytes += timeline.layerClipTypes[layer].capacity() * sizeof(int32_t);
    bytes += timeline.layerClipTimes[layer].capacity() * sizeof(ClipTimes);
    bytes += timeline.layerClipParams[layer].capacity() * sizeof(std::unique_ptr<ParameterBlock>);
    bytes += timeline.layerClipParams[layer].size() * (sizeof(ParameterBlock) + kAllocationOverhead);
  }
  return bytes;
}

EditHistory::EditHistory(Editor& editor) : editor_(editor), timeline_(editor.timeline) {}

// --- reading and writing clips ---------------------------------------------------------------

Selection EditHistory::currentSelection() const {
  return Selection{timeline_.editMode, timeline_.selectedLayer, timeline_.selectedClip};
}

bool EditHistory::selectedClip(int32_t& layer, int32_t& index) const {
  layer = timeline_.selectedLayer;
  index = timeline_.selectedClip;
  return timeline_.editMode == kEditClip && layer >= 0 && layer < kLayerCount && index >= 0 &&
         index < timeline_.clipCount(layer);
}

ClipValues EditHistory::read(int32_t layer, int32_t index) const {
  const ClipBar& bar = timeline_.tracks[layer].bars[index];
  const ParameterBlock& block = *timeline_.layerClipParams[layer][index];
  ClipValues values;
  values.start = bar.start;
  values.length = bar.length;
  std::copy(block.values, block.values + paramCountOf(timeline_.layerClipTypes[layer][index]), values.params);
  return values;
}

// The time record follows the bar at once, so the project's bytes are right before the next sync.
void EditHistory::write(int32_t layer, int32_t index, const ClipValues& values) {
  ClipBar& bar = timeline_.tracks[layer].bars[index];
  bar.start = values.start;
  bar.length = values.length;
  timeline_.layerClipTimes[layer][index] = ClipTimes{values.start, values.length};
  ParameterBlock& block = *timeline_.layerClipParams[layer][index];
  std::copy(values.params, values.params + paramCountOf(timeline_.layerClipTypes[layer][index]), block.values);
}


void EditHistory::insertClip(int32_t layer, int32_t index, int32_t type, const ClipValues& values) {
  timeline_.addClip(layer, values.start, values.length, type);
  const int32_t last = timeline_.clipCount(layer) - 1;
  write(layer, last, values);
  moveLastTo(timeline_.tracks[layer].bars, index);
  moveLastTo(timeline_.layerClipTypes[layer], index);
  moveLastTo(timeline_.layerClipTimes[layer], index);
  moveLastTo(timeline_.layerClipParams[layer], index);
}

// --- recording -------------------------------------------------------------------------------

void EditHistory::push(Step&& step) {
  for (const Step& dropped : redo_) bytes_ -= dropped.bytes;
  redo_.clear();
  step.id = ++nextId_;
  step.bytes += sizeof(Step) + step.changes.capacity() * sizeof(ClipChange);
  bytes_ += step.bytes;
  undo_.push_back(std::move(step));
  // The oldest go first; a step too large on its own goes too, with all before it.
  while (!undo_.empty() && (undo_.size() > kMaxSteps || bytes_ > kMaxBytes)) {
    base_ = undo_.front().id;
    bytes_ -= undo_.front().bytes;
    undo_.pop_front();
  }
}

void EditHistory::watch(int32_t layer, int32_t index) {
  for (const Watched& w : watched_) {
    if (w.layer == layer && w.index == index) return;
  }
  watched_.push_back(Watched{layer, index, read(layer, index)});
}

void EditHistory::watchSelected() {
  int32_t layer, index;
  if (selectedClip(layer, index)) watch(layer, index);
}

void EditHistory::beginGesture() {
  if (!gestureOpen_) {
    gestureOpen_ = true;
    gestureBefore_ = currentSelection();  // nothing is watched: the last gesture's end cleared it
  }
  // A press reaches only hovered bars, and hover needs a visible row; the panel edits the
  // selected clip, and selecting one may repair its values.
  for (int32_t layer = 0; layer < kLayerCount; ++layer) {
    const LayerTrack& track = timeline_.tracks[layer];
    if (track.row < 0 || track.row >= kVisibleRows) continue;
    for (size_t i = 0; i < track.bars.size(); ++i) {
      if (track.bars[i].hovered) watch(layer, static_cast<int32_t>(i));
    }
  }
  watchSelected();
}

void EditHistory::pushWatchedChanges() {
  Step step;
  for (const Watched& w : watched_) {
    const ClipValues now = read(w.layer, w.index);
    if (!sameValues(w.before, now)) step.changes.push_back(ClipChange{w.layer, w.index, w.before, now});
  }
  watched_.clear();
  if (step.changes.empty()) return;
  step.before = gestureBefore_;
  step.after = currentSelection();
  push(std::move(step));
}

void EditHistory::endGesture() {
  if (!gestureOpen_) return;
  gestureOpen_ = false;
  pushWatchedChanges();
}

// An edit in the middle of a drag ended the gesture's step; what the buttons still drag is the next.
void EditHistory::reopenGesture() {
  gestureOpen_ = true;
  gestureBefore_ = currentSelection();
  for (int32_t layer = 0; layer < kLayerCount; ++layer) {
    const std::vector<ClipBar>& bars = timeline_.tracks[layer].bars;
    for (size_t i = 0; i < bars.size(); ++i) {
      if (bars[i].moving || bars[i].resizing) watch(layer, static_cast<int32_t>(i));
    }
  }
  watchSelected();
}

void EditHistory::beforeWheel() {
  int32_t layer, index;
  wheelSnapValid_ = !gestureOpen_ && selectedClip(layer, index);
  if (wheelSnapValid_) wheelSnap_ = Watched{layer, index, read(layer, index)};
}

void EditHistory::afterWheel() {
  if (!wheelSnapValid_) return;
  wheelSnapValid_ = false;
  const int32_t layer = wheelSnap_.layer, index = wheelSnap_.index;
  const ClipValues now = read(layer, index);
  const int32_t count = paramCountOf(timeline_.layerClipTypes[layer][index]);
  int32_t param = 0;
  while (param < count && std::memcmp(&now.params[param], &wheelSnap_.before.params[param], sizeof(float)) == 0) {
    ++param;
  }
  if (param == count) return;  // the field discarded the notch

  // A run goes on while its step is the newest: any other step in between starts a new one.
  const bool runGoesOn = wheel_.stepId != 0 && !undo_.empty() && undo_.back().id == wheel_.stepId &&
                         wheel_.layer == layer && wheel_.index == index && wheel_.param == param &&
                         now_ - wheel_.last < kWheelRunSeconds;
  wheel_.last = now_;
  if (runGoesOn) {
    Step& top = undo_.back();
    top.changes.front().after = now;
    if (sameValues(wheel_.before, now)) {
      // Back where the run started: the run changed nothing.
      bytes_ -= top.bytes;
      undo_.pop_back();
      wheel_.stepId = 0;
    } else {
      top.id = wheel_.stepId = ++nextId_;
    }
    return;
  }
  Step step;
  step.changes.push_back(ClipChange{layer, index, wheelSnap_.before, now});
  step.before = step.after = currentSelection();
  push(std::move(step));
  wheel_ = WheelRun{layer, index, param, now_, wheelSnap_.before, undo_.empty() ? 0 : undo_.back().id};
}

void EditHistory::beginEdit() {
  mark_ = EditMark();
  mark_.before = currentSelection();
  for (int32_t layer = 0; layer < kLayerCount; ++layer) mark_.counts[layer] = timeline_.clipCount(layer);
  int32_t layer, index;
  if (selectedClip(layer, index)) {
    mark_.haveSelected = true;
    mark_.type = timeline_.layerClipTypes[layer][index];
    mark_.selected = read(layer, index);
  }
  mark_.gestureWasOpen = gestureOpen_;
  endGesture();
}

void EditHistory::endEdit() {
  for (int32_t layer = 0; layer < kLayerCount; ++layer) {
    const int32_t count = timeline_.clipCount(layer);
    Step step;
    if (count == mark_.counts[layer] + 1) {
      step.kind = Kind::kInsert;
      step.layer = layer;
      step.index = count - 1;
      step.type = timeline_.layerClipTypes[layer][count - 1];
      step.clip = read(layer, count - 1);
    } else if (count == mark_.counts[layer] - 1 && mark_.haveSelected && layer == mark_.before.layer) {
      step.kind = Kind::kRemove;
      step.layer = layer;
      step.index = mark_.before.clip;
      step.type = mark_.type;
      step.clip = mark_.selected;
    } else {
      continue;
    }
    step.before = mark_.before;
    step.after = currentSelection();
    push(std::move(step));
    break;
  }
  if (mark_.gestureWasOpen) reopenGesture();
}

void EditHistory::beforeLoad() {
  beginEdit();
  // The loader fills an empty project; the one it replaces waits here, untouched.
  held_ = std::make_unique<Timeline>();
  swapClips(timeline_, *held_);
}

void EditHistory::afterLoad(bool loaded) {
  if (!loaded) {
    swapClips(timeline_, *held_);
  } else {
    bool hadClips = false;
    for (int32_t layer = 0; layer < kLayerCount; ++layer) {
      hadClips = hadClips || held_->clipCount(layer) > 0;
      // No drag of the old project may resume if it comes back.
      for (ClipBar& bar : held_->tracks[layer].bars) bar.hovered = bar.moving = bar.resizing = false;
    }
    // Loading over clips closes the selection, as emptying the layers one by one does (the
    // editor then drops the panel).
    if (hadClips) timeline_.editMode = kEditNothing;
    if (encodeProject(*held_) != encodeProject(timeline_)) {
      Step step;
      step.kind = Kind::kProject;
      step.bytes = std::max(clipMemory(*held_), clipMemory(timeline_));
      step.project = std::move(held_);
      step.before = mark_.before;
      step.after = currentSelection();
      push(std::move(step));
    }
    markSaved();
  }
  held_.reset();
  if (mark_.gestureWasOpen) reopenGesture();
}

void EditHistory::markSaved() { saved_ = version(); }

void EditHistory::markUnsaved() { saved_ = UINT64_MAX; }

uint64_t EditHistory::version() const { return undo_.empty() ? base_ : undo_.back().id; }

// --- undo and redo ---------------------------------------------------------------------------

// A button held means an action in progress (an open gesture among them).
bool EditHistory::busy() const { return editor_.leftHeld || editor_.rightHeld || editor_.middleHeld; }

void EditHistory::restore(const Selection& selection) {
  timeline_.editMode = selection.editMode;
  timeline_.selectedLayer = selection.layer;
  timeline_.selectedClip = selection.clip;
  if (selection.editMode != kEditClip) return;
  int32_t layer, index;
  if (!selectedClip(layer, index)) {
    timeline_.editMode = kEditNothing;
    return;
  }
  // A new panel repairs values below its fields' minimums; the step's values stay as they were.
  ParameterBlock& block = *timeline_.layerClipParams[layer][index];
  const ParameterBlock kept = block;
  editor_.createParameterPanel();
  block = kept;
}

void EditHistory::apply(Step& step, bool undoing) {
  // Panels point into parameter blocks, which this may move or free.
  editor_.panel.reset();
  switch (step.kind) {
    case Kind::kChange:
      for (const ClipChange& change : step.changes) {
        write(change.layer, change.index, undoing ? change.before : change.after);
      }
      break;
    case Kind::kInsert:
    case Kind::kRemove:
      if ((step.kind == Kind::kInsert) != undoing) {
        insertClip(step.layer, step.index, step.type, step.clip);
      } else {
        timeline_.removeClip(step.layer, step.index);
      }
      break;
    case Kind::kProject:
      swapClips(timeline_, *step.project);
      break;
  }
  restore(undoing ? step.before : step.after);
}

// Takes the newest step of `from`, undone or redone, over to `to`.
bool EditHistory::shift(std::deque<Step>& from, std::deque<Step>& to, bool undoing) {
  if (busy() || from.empty()) return false;
  Step step = std::move(from.back());
  from.pop_back();
  apply(step, undoing);
  to.push_back(std::move(step));
  return true;
}

bool EditHistory::undo() { return shift(undo_, redo_, true); }

bool EditHistory::redo() { return shift(redo_, undo_, false); }

void EditHistory::handleChord(uint8_t key, bool shift) {
  if (key != 'Z') return;
  if (shift) {
    redo();
  } else {
    undo();
  }
}

}  // namespace korvalin
