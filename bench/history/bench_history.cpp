// Undo history and autosave on a 32,000-clip project (16 layers of 2,000): what recording a step,
// an undo with its redo, and the pass that starts an autosave cost; the history's memory.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <memory>
#include <string>

#include "editor/autosave.h"
#include "editor/editor.h"
#include "editor/history.h"
#include "timeline/project_file.h"
#include "timeline/timeline.h"

namespace {

using namespace korvalin;

constexpr int kClipsPerLayer = 2000;

void fill(Timeline& timeline, float length) {
  for (int layer = 0; layer < kLayerCount; ++layer) {
    for (int i = 0; i < kClipsPerLayer; ++i) {
      timeline.addClip(layer, 1.5f * i + 0.1f * layer, length, (i + layer) % kOperatorTypeCount);
    }
  }
  timeline.syncAllClipTimes();
}

// A fresh editor with its history over the 32,000 clips; rows 0-5 show layers 0-5.
struct Session {
  Session() {
    char pattern[] = "/tmp/korvalin-bench-XXXXXX";
    const char* made = mkdtemp(pattern);
    dir = made != nullptr ? made : "/tmp";
    fill(timeline, 1.0f);
    editor = std::make_unique<Editor>(timeline, nullptr, dir + "/absent.brz");
    history = std::make_unique<EditHistory>(*editor);
    editor->history = history.get();
    for (LayerTrack& track : timeline.tracks) track.row = track.index;
  }
  void select(int32_t layer, int32_t clip) {
    timeline.editMode = kEditClip;
    timeline.selectedLayer = layer;
    timeline.selectedClip = clip;
    editor->createParameterPanel();
  }
  std::string dir;
  Timeline timeline;
  std::unique_ptr<Editor> editor;
  std::unique_ptr<EditHistory> history;
};

// A left drag of one bar: the press (every visible row looked at for hovered bars), the bar's
// new start, the release that compares and records.
void BM_RecordDragStep(benchmark::State& state) {
  Session session;
  ClipBar& bar = session.timeline.tracks[2].bars[1000];
  bar.hovered = true;
  float start = bar.start;
  for (auto _ : state) {
    session.history->beginGesture();
    bar.start = start += 0.25f;
    session.history->endGesture();
  }
  state.counters["steps"] = static_cast<double>(session.history->undoCount());
  state.counters["history_bytes"] = static_cast<double>(session.history->bytes());
}
BENCHMARK(BM_RecordDragStep)->Unit(benchmark::kMicrosecond);

// One wheel notch on the selected clip's field, each a step of its own (1 s apart).
void BM_RecordWheelStep(benchmark::State& state) {
  Session session;
  session.select(5, 700);
  float& value = (*session.timeline.layerClipParams[5][700])[0];
  double now = 0.0;
  for (auto _ : state) {
    session.history->setTime(now += 1.0);
    session.history->beforeWheel();
    value += 1.0f;
    session.history->afterWheel();
  }
}
BENCHMARK(BM_RecordWheelStep)->Unit(benchmark::kMicrosecond);

// Undo and redo of one step; arg 0 a drag, 1 Delete of the first clip of a layer (the other
// 1,999 move), 2 a load of another 32,000-clip project.
void BM_UndoRedo(benchmark::State& state) {
  Session session;
  if (state.range(0) == 0) {
    ClipBar& bar = session.timeline.tracks[2].bars[1000];
    bar.hovered = true;
    session.history->beginGesture();
    bar.start += 1.0f;
    session.history->endGesture();
  } else if (state.range(0) == 1) {
    session.select(3, 0);
    session.history->beginEdit();
    session.timeline.deleteSelectedClip();
    session.editor->panel.reset();
    session.history->endEdit();
  } else {
    Timeline other;
    fill(other, 2.0f);
    session.editor->projectPath = session.dir + "/other.brz";
    saveProject(other, session.editor->projectPath, nullptr);
    session.editor->loadProject();
  }
  if (session.history->undoCount() != 1) state.SkipWithError("no step recorded");
  for (auto _ : state) {
    session.history->undo();
    session.history->redo();
  }
  state.counters["step_bytes"] = static_cast<double>(session.history->bytes());
}
BENCHMARK(BM_UndoRedo)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// The pass that starts an autosave: the project encoded and handed to the writer.
void BM_AutosaveTrigger(benchmark::State& state) {
  Session session;
  Autosave autosave(session.dir + "/save.brz.autosave", 0.0);
  uint64_t version = 0;
  double now = 0.0;
  for (auto _ : state) autosave.pass(now += 1.0, session.timeline, ++version, true);
  autosave.waitIdle();
}
BENCHMARK(BM_AutosaveTrigger)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
