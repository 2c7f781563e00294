// Undo and redo for the editor in --editor mode. One step is one user action: a drag from press
// to release, a run of wheel notches on one field, a new clip, C, Delete or L. A step keeps what
// the action changed (times and values of the clips it touched, the clip it added or removed),
// not a copy of the project; only a load keeps the project it replaced, moved aside whole.
//
// The Editor calls the hooks below around its own actions; without a history it behaves exactly
// as before.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "timeline/timeline.h"

namespace korvalin {

class Editor;

// What is selected, and so which panel or dialog is open.
struct Selection {
  int32_t editMode = kEditNothing;
  int32_t layer = 0;
  int32_t clip = 0;
};

// Everything of one clip that an edit can change: its bar's times and its parameters.
struct ClipValues {
  float start = 0.0f;
  float length = 0.0f;
  float params[kMaxParamCount] = {};
};

class EditHistory {
 public:
  static constexpr size_t kMaxSteps = 1000;
  static constexpr size_t kMaxBytes = size_t{64} << 20;
  // Wheel notches on one field closer together than this make one step.
  static constexpr double kWheelRunSeconds = 0.5;

  explicit EditHistory(Editor& editor);
  EditHistory(const EditHistory&) = delete;
  EditHistory& operator=(const EditHistory&) = delete;

  // The shell's time, in seconds, set every pass: wheel runs are told apart by it.
  void setTime(double seconds) { now_ = seconds; }

  // --- hooks for the Editor ---
  // A new left or right press, before the Editor handles it; the gesture lasts until all
  // buttons are up.
  void beginGesture();
  void endGesture();
  void beforeWheel();
  void afterWheel();
  // Around an action that adds or removes one clip (the dialog's Proceed, C, Delete).
  void beginEdit();
  void endEdit();
  // Around the loader: the project it replaces is moved aside, not copied.
  void beforeLoad();
  void afterLoad(bool loaded);
  // The project now equals the file.
  void markSaved();
  // The project differs from the file although no step says so (changes recovered at start-up).
  void markUnsaved();

  // Nothing happens while a mouse button is held: the action in progress is not a step yet.
  bool undo();
  bool redo();
  // A key pressed with Ctrl: Z undoes, Shift+Z redoes; any other does nothing.
  void handleChord(uint8_t key, bool shift);

  // Names the project's state: the same number means the same project.
  uint64_t version() const;
  bool unsaved() const { return version() != saved_; }

  size_t undoCount() const { return undo_.size(); }
  size_t redoCount() const { return redo_.size(); }
  // Heap memory the steps hold, estimated from what they allocate.
  size_t bytes() const { return bytes_; }

 private:
  enum class Kind : uint8_t { kChange, kInsert, kRemove, kProject };
  struct ClipChange {
    int32_t layer, index;
    ClipValues before, after;
  };
  struct Step {
    Kind kind = Kind::kChange;
    uint64_t id = 0;
    size_t bytes = 0;
    Selection before, after;
    std::vector<ClipChange> changes;  // kChange
    int32_t layer = 0, index = 0, type = 0;  // kInsert, kRemove: the clip and where it stands
    ClipValues clip;
    std::unique_ptr<Timeline> project;  // kProject: the project on the other side of the load
  };
  struct Watched {
    int32_t layer, index;
    ClipValues before;
  };
  // Where an edit started: the selection, the clip counts, the selected clip.
  struct EditMark {
    Selection before;
    std::array<int32_t, kLayerCount> counts{};
    bool haveSelected = false;
    int32_t type = 0;
    ClipValues selected;
    bool gestureWasOpen = false;
  };
  struct WheelRun {
    int32_t layer = 0, index = 0, param = 0;
    double last = 0.0;
    ClipValues before;
    uint64_t stepId = 0;  // the run's step while it is the newest
  };

  Selection currentSelection() const;
  bool selectedClip(int32_t& layer, int32_t& index) const;
  ClipValues read(int32_t layer, int32_t index) const;
  void write(int32_t layer, int32_t index, const ClipValues& values);
  void insertClip(int32_t layer, int32_t index, int32_t type, const ClipValues& values);
  void watch(int32_t layer, int32_t index);
  void watchSelected();
  void pushWatchedChanges();
  void reopenGesture();
  void push(Step&& step);
  void apply(Step& step, bool undoing);
  bool shift(std::deque<Step>& from, std::deque<Step>& to, bool undoing);
  void restore(const Selection& selection);
  bool busy() const;

  Editor& editor_;
  Timeline& timeline_;
  std::deque<Step> undo_, redo_;
  size_t bytes_ = 0;
  uint64_t nextId_ = 0;
  uint64_t base_ = 0;   // the state before the oldest step kept
  uint64_t saved_ = 0;  // the state last loaded or saved
  double now_ = 0.0;

  bool gestureOpen_ = false;
  Selection gestureBefore_;
  std::vector<Watched> watched_;

  bool wheelSnapValid_ = false;
  Watched wheelSnap_{};
  WheelRun wheel_;

  EditMark mark_;
  std::unique_ptr<Timeline> held_;  // the project a load in progress replaces
};

// Exchanges the clips of every layer of a and b: bars, types, times and parameter blocks.
void swapClips(Timeline& a, Timeline& b);

// Heap memory a project's clips take, estimated from the sequences' capacities.
size_t clipMemory(const Timeline& timeline);

}  // namespace korvalin
