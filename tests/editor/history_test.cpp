// Undo and redo through scripted passes: 500 random edits of every kind, each step undone and
// redone to the project's exact bytes, selection and a panel on a live block, then all at once;
// the history's bounds; the Ctrl keys; the autosave and what start-up makes of one left behind.
#include <filesystem>
#include <random>
#include <regex>
#include <tuple>

#include "editor/autosave.h"
#include "editor/history.h"
#include "editor_fixture.h"
#include "shell/frame_pass.h"

namespace korvalin::test {
namespace {

namespace fs = std::filesystem;

Timeline boxProject() {
  Timeline t;
  t.addClip(1, 1.0f, 3.0f, kBox);
  return t;
}

class HistoryTest : public EditorTest {
 protected:
  void TearDown() override {
    autosave.reset();
    EditorTest::TearDown();
    fs::remove_all(dir);
  }
  void begin(const Timeline& project) {
    startWith(project);
    history = std::make_unique<EditHistory>(*editor);
    editor->history = history.get();
    autosave = std::make_unique<Autosave>(path + ".autosave", 30.0);
    run({});
  }
  std::vector<uint8_t> bytes() {
    timeline.syncAllClipTimes();
    return encodeProject(timeline);
  }
  std::array<int32_t, 3> selection() const { return {timeline.editMode, timeline.selectedLayer, timeline.selectedClip}; }
  void drag(int32_t layer, int32_t clip, int32_t dx, bool right) {
    const ClipBar& bar = timeline.tracks[layer].bars[clip];
    const auto x = static_cast<int32_t>((bar.start + bar.length * 0.5f) * 1024.0 / 15.0), y = rowMiddle(layer);
    run({x, y});
    run({x, y, !right, false, right});
    run({x + dx, y, !right, false, right});
    run({x + dx, y});
  }
  void select(int32_t layer, int32_t clip) { drag(layer, clip, 0, false); }
  ValueField& field(int32_t k) { return dynamic_cast<FieldListPanel&>(*editor->panel).field(k); }
  // Makes field k the only one under the mouse; false when no panel is shown.
  bool hover(int32_t k) {
    auto* panel = timeline.editMode == kEditClip ? dynamic_cast<FieldListPanel*>(editor->panel.get()) : nullptr;
    for (int32_t i = 0; panel != nullptr && i < panel->fieldCount(); ++i) panel->field(i).hovered = i == k;
    return panel != nullptr;
  }
  void wheel(int32_t k, int32_t step, double gap) {
    history->setTime(now += gap);
    if (hover(k)) run({700, 300, false, false, false, step});
  }
  // A coarse drag of field k: pressed, moved as the panel's draw moves it, released.
  void valueDrag(int32_t k, int32_t dy) {
    if (!hover(k)) return;
    run({700, 300, true});
    field(k).nudge(static_cast<float>(dy));
    run({700, 300});
  }
  void openDialog(int32_t type) {
    key(kKeyN);
    run({700, 50 + 30 * type});
    run({700, 50 + 30 * type, true});
  }
  void proceed(int32_t layer) {
    editor->newClipLayer = static_cast<float>(layer);
    editor->newClipStart = 2.5f, editor->newClipLength = 1.0f;
    editor->proceedButton.place("Proceed", 650, 140, 100, 30, 0);
    for (bool left : {false, true, false}) run({700, 155, left});
  }
  void expectLivePanel() {
    if (timeline.editMode != kEditClip) return;
    ASSERT_NE(editor->panel, nullptr);
    EXPECT_EQ(dynamic_cast<FieldListPanel&>(*editor->panel).param(0),
              &timeline.layerClipParams[timeline.selectedLayer][timeline.selectedClip]->values[0]);
  }
  void autosavePass(double at) {
    autosave->pass(at, timeline, history->version(), history->unsaved());
    autosave->waitIdle();
  }
  // What start-up makes of the autosave, answering `answer` if asked; returns standard error.
  std::string recover(RecoveryChoice answer) {
    question.clear();
    testing::internal::CaptureStderr();
    recoverAutosave(*editor, *history, *autosave, [&](const std::string& q) { return question = q, answer; });
    return testing::internal::GetCapturedStderr();
  }

  std::unique_ptr<EditHistory> history;
  std::unique_ptr<Autosave> autosave;
  std::string question;
  double now = 100.0;
};

TEST_F(HistoryTest, FiveHundredRandomEditsUndoAndRedoExactlyOneByOneAndAllTogether) {
  std::mt19937 rng(14);
  auto pick = [&](int n) { return static_cast<int32_t>(rng() % static_cast<uint32_t>(n)); };
  auto randomProject = [&] {
    Timeline t;
    for (int i = 0; i < 12; ++i) t.addClip(pick(6), 0.5f * pick(24), 0.5f + 0.25f * pick(10), pick(7));
    return t;
  };
  begin(randomProject());
  const std::vector<uint8_t> start = bytes();
  int recorded[8] = {};
  for (int edit = 0; edit < 500; ++edit) {
    history->setTime(now += 1.0);
    int32_t layer = pick(6);
    while (timeline.clipCount(layer) == 0) layer = (layer + 1) % 6;
    const int32_t clip = pick(timeline.clipCount(layer)), kind = pick(8), k = pick(2);
    // What leads up to an action is no part of its step (a select may be a step of its own).
    if (kind == 2 || kind == 3 || kind == 5 || kind == 6) select(layer, clip);
    if (kind == 4) openDialog(pick(7));
    if (kind == 7) writeProject(randomProject());
    const std::vector<uint8_t> before = bytes();
    const auto selectedBefore = selection();
    const size_t steps = history->undoCount();
    switch (kind) {
      case 0: drag(layer, clip, pick(61) - 30, false); break;
      case 1: drag(layer, clip, pick(41) - 20, true); break;
      case 2: for (int n = pick(3); n >= 0; --n) wheel(k, pick(2) * 2 - 1, 0.2); break;
      case 3: valueDrag(k, pick(21) - 10); break;
      case 4: proceed(pick(6)); break;
      case 5: key(kKeyC); break;
      case 6: key(kKeyDelete); break;
      default: key(kKeyL); break;
    }
    if (history->undoCount() == steps) {
      ASSERT_EQ(bytes(), before) << "edit " << edit << " changed the project without a step";
      continue;
    }
    ASSERT_EQ(history->undoCount(), steps + 1) << "edit " << edit << " made more than one step";
    ++recorded[kind];
    const std::vector<uint8_t> after = bytes();
    const auto selectedAfter = selection();
    ASSERT_TRUE(history->undo());
    ASSERT_EQ(bytes(), before) << "edit " << edit;
    EXPECT_EQ(selection(), selectedBefore);
    expectLivePanel();
    ASSERT_TRUE(history->redo());
    ASSERT_EQ(bytes(), after) << "edit " << edit;
    EXPECT_EQ(selection(), selectedAfter);
    expectLivePanel();
  }
  for (int count : recorded) EXPECT_GT(count, 5);
  const std::vector<uint8_t> end = bytes();
  while (history->undo()) expectLivePanel();
  EXPECT_EQ(bytes(), start);
  while (history->redo()) expectLivePanel();
  EXPECT_EQ(bytes(), end);
}

TEST_F(HistoryTest, ActionsThatChangeNothingAreNoStepsAndANewEditDropsRedo) {
  begin(boxProject());
  select(1, 0);  // a press and release without motion
  wheel(1, +1, 1.0);
  wheel(1, -1, 0.4);   // back where the run started
  wheel(-1, +1, 1.0);  // no field under the mouse
  key(kKeyL);          // the file holds the same project
  EXPECT_EQ(history->undoCount(), 0u);
  select(1, 0);
  wheel(2, +1, 1.0);
  wheel(2, +1, 0.6);  // too late to join the run
  EXPECT_EQ(history->undoCount(), 2u);
  run({700, 300, true});
  EXPECT_FALSE(history->undo()) << "a button is held";
  run({700, 300});
  history->handleChord('Y', false);
  history->handleChord('Z', false);
  EXPECT_EQ(history->redoCount(), 1u);
  history->handleChord('Z', true);
  EXPECT_EQ(history->redoCount(), 0u);
  history->handleChord('Z', false);
  drag(1, 0, 30, false);
  EXPECT_EQ(history->redoCount(), 0u);

  // C in the middle of a drag: the drag before it, the copy, the drag after it.
  const std::vector<uint8_t> before = bytes();
  for (const Pass& pass : {Pass{150, 635}, Pass{150, 635, true}, Pass{170, 635, true, false, false, 0, kKeyC},
                           Pass{190, 635, true}, Pass{190, 635}}) {
    run(pass);
  }
  EXPECT_EQ(history->undoCount(), 5u);
  for (int i = 0; i < 3; ++i) history->undo();
  EXPECT_EQ(bytes(), before);
}

TEST_F(HistoryTest, AtMostAThousandStepsAndSixtyFourMegabytes) {
  begin(boxProject());
  select(1, 0);
  for (int i = 0; i <= 1000; ++i) wheel(0, i % 2 == 0 ? +1 : -1, 1.0);
  EXPECT_EQ(history->undoCount(), 1000u);
  while (history->undo()) {
  }
  EXPECT_EQ((*timeline.layerClipParams[1][0])[0], 1.0f) << "the oldest step went first";

  // Loads of 32,000-clip projects keep the projects they replace.
  Timeline big[2];
  for (int i = 0; i < 32000; ++i) {
    for (int b = 0; b < 2; ++b) big[b].addClip(i % kLayerCount, 0.5f * i, 1.0f + b, i % kOperatorTypeCount);
  }
  for (int load = 0; load < 20; ++load) {
    writeProject(big[load % 2]);
    key(kKeyL);
    EXPECT_LE(history->bytes(), EditHistory::kMaxBytes);
  }
  EXPECT_LT(history->undoCount(), 20u);
  EXPECT_TRUE(history->undo());
  EXPECT_EQ(bytes(), encodeProject(big[0]));
}

TEST_F(HistoryTest, CtrlKeysAreTheEditorsOwnOnlyInEditorMode) {
  ShellState state;
  WindowEvent event;
  event.kind = EventKind::kKeyDown;
  event.virtualKey = 'Z';
  event.ctrl = event.shift = true;
  applyWindowEvent(event, state);
  EXPECT_EQ(state.input.lastKey, 'Z');  // the no-argument mode: just another key
  state = ShellState();
  state.editorMode = true;
  applyWindowEvent(event, state);
  EXPECT_EQ(std::make_tuple(state.input.lastKey, state.keyState['Z'], state.input.chordKey, state.input.chordShift),
            std::make_tuple(uint8_t{0}, 0, uint8_t{'Z'}, true));

  startWith(boxProject());  // no history: Z is a key without binding, even right after an edit
  run({});
  drag(1, 0, 40, false);
  const std::vector<uint8_t> edited = bytes();
  key('Z');
  EXPECT_EQ(bytes(), edited);
}

TEST_F(HistoryTest, AutosaveWritesUnsavedChangesOncePerIntervalUntilSaved) {
  begin(boxProject());
  autosavePass(100.0);
  select(1, 0);
  key(kKeyC);
  autosavePass(129.0);
  EXPECT_FALSE(fs::exists(path + ".autosave"));
  autosavePass(130.0);
  EXPECT_EQ(readFile(path + ".autosave"), bytes());
  key(kKeyY);
  autosavePass(131.0);
  EXPECT_FALSE(fs::exists(path + ".autosave"));
  history->undo();  // unsaved again
  autosavePass(159.0);
  EXPECT_FALSE(fs::exists(path + ".autosave"));
  autosavePass(160.0);
  EXPECT_EQ(readFile(path + ".autosave"), bytes());
  autosave->removeAndWait();
  EXPECT_FALSE(fs::exists(path + ".autosave"));
}

TEST_F(HistoryTest, StartUpOffersTheChangesARunLeftBehind) {
  Timeline changed = boxProject();
  changed.addClip(7, 1.0f, 1.0f, kFlat);
  const std::vector<uint8_t> changes = encodeProject(changed);
  begin(boxProject());
  auto leave = [&](const std::vector<uint8_t>& bytes) { ASSERT_TRUE(saveProjectBytes(bytes, path + ".autosave", nullptr)); };

  leave(readFile(path));
  EXPECT_EQ(recover(RecoveryChoice::kRestore) + question, "");
  EXPECT_FALSE(fs::exists(path + ".autosave"));

  leave({1, 2, 3});
  EXPECT_NE(recover(RecoveryChoice::kRestore).find("; not restored, kept as " + path + ".autosave.unreadable"), std::string::npos);
  EXPECT_EQ(question, "");

  leave(changes);
  EXPECT_NE(recover(RecoveryChoice::kDiscard).find("kept as " + path + ".autosave.old\n"), std::string::npos);
  EXPECT_TRUE(std::regex_match(question, std::regex("Recovered unsaved changes from \\d\\d:\\d\\d\\. Restore them\\?")));
  leave(changes);
  EXPECT_NE(recover(RecoveryChoice::kNobodyToAsk).find(".autosave.old.1 (no one to ask"), std::string::npos);
  EXPECT_EQ(readFile(path + ".autosave.old"), changes);
  EXPECT_EQ(bytes(), encodeProject(boxProject()));

  std::remove(path.c_str());  // a project file that is gone does not hold the changes either
  leave(changes);
  EXPECT_EQ(recover(RecoveryChoice::kRestore), "");
  EXPECT_EQ(bytes(), changes);
  EXPECT_TRUE(history->unsaved() && editor->hasUnsavedChanges());
  autosavePass(200.0);
  EXPECT_EQ(readFile(path + ".autosave"), changes) << "kept until the changes are saved";
  key(kKeyY);
  EXPECT_EQ(readFile(path), changes);
  autosavePass(201.0);
  EXPECT_FALSE(fs::exists(path + ".autosave"));
}

}  // namespace
}  // namespace korvalin::test
