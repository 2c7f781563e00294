// Undo and redo through scripted passes: every kind of step gives back the project's exact bytes,
// its selection and a panel bound to a live block; a long random session undoes and redoes whole.
#include <filesystem>
#include <functional>
#include <random>
#include <regex>

#include "editor/autosave.h"
#include "editor/history.h"
#include "editor_fixture.h"
#include "shell/frame_pass.h"

namespace korvalin::test {
namespace {

Timeline sample() {
  Timeline t;
  t.addClip(0, 0.5f, 2.0f, kLayer2D);
  t.addClip(1, 1.0f, 3.0f, kBox);
  t.addClip(1, 9.0f, 2.0f, kFlat);
  t.addClip(2, 5.0f, 3.0f, kCamera);
  (*t.layerClipParams[1][0])[0] = 30.0f;
  (*t.layerClipParams[0][0])[0] = -3.0f;  // below the field's minimum: selecting repairs it
  return t;
}

bool operator==(const Selection& a, const Selection& b) {
  return a.editMode == b.editMode && a.layer == b.layer && a.clip == b.clip;
}

class HistoryTest : public EditorTest {
 protected:
  void begin(const Timeline& project) {
    startWith(project);
    history = std::make_unique<EditHistory>(*editor);
    editor->history = history.get();
    run({});
  }
  std::vector<uint8_t> bytes() {
    timeline.syncAllClipTimes();
    return encodeProject(timeline);
  }
  Selection selection() const { return {timeline.editMode, timeline.selectedLayer, timeline.selectedClip}; }
  int32_t barX(int32_t layer, int32_t clip) const {
    const ClipBar& bar = timeline.tracks[layer].bars[clip];
    return static_cast<int32_t>((bar.start + bar.length * 0.5f) * 1024.0 / 15.0);
  }
  void drag(int32_t layer, int32_t clip, int32_t dx, bool right) {
    const int32_t x = barX(layer, clip), y = rowMiddle(layer);
    run({x, y});
    run({x, y, !right, false, right});
    run({x + dx, y, !right, false, right});
    run({x + dx, y});
  }
  void select(int32_t layer, int32_t clip) { drag(layer, clip, 0, false); }
  ValueField& field(int32_t k) { return dynamic_cast<FieldListPanel&>(*editor->panel).field(k); }
  bool hover(int32_t k) {
    if (timeline.editMode != kEditClip || editor->panel == nullptr) return false;
    auto& panel = dynamic_cast<FieldListPanel&>(*editor->panel);
    for (int32_t i = 0; i < panel.fieldCount(); ++i) panel.field(i).hovered = i == k;
    return true;
  }
  void wheel(int32_t k, int32_t step, double gap) {
    history->setTime(now += gap);
    if (hover(k)) run({700, 300, false, false, false, step});
  }
  // A coarse drag of field k by dy pixels upwards, moved as the panel's draw moves it.
  void valueDrag(int32_t k, int32_t dy) {
    if (!hover(k)) return;
    const int32_t x = field(k).boxLeft() + 1, y = field(k).y + 5;
    auto track = [&](int32_t my) {
      if (dynamic_cast<FieldListPanel&>(*editor->panel).isFloatField(k)) {
        static_cast<FloatField&>(field(k)).track(x, my);
      } else {
        static_cast<IntField&>(field(k)).track(x, my);
      }
    };
    track(y);
    run({x, y, true});
    track(y - dy);
    run({x, y - dy});
  }
  void openDialog(int32_t type) {
    key(kKeyN);
    run({700, 50 + 30 * type});
    run({700, 50 + 30 * type, true});
  }
  void proceed(int32_t layer) {
    editor->newClipLayer = static_cast<float>(layer);
    editor->newClipStart = 2.5f;
    editor->newClipLength = 1.0f;
    editor->proceedButton.place("Proceed", 650, 140, 100, 30, 0);
    run({700, 155});
    run({700, 155, true});
    run({700, 155});
  }
  // In mode 0 the panel edits the selected clip's own block.
  void expectLivePanel() {
    if (timeline.editMode != kEditClip) return;
    ASSERT_NE(editor->panel, nullptr);
    EXPECT_EQ(dynamic_cast<FieldListPanel&>(*editor->panel).param(0),
              &timeline.layerClipParams[timeline.selectedLayer][timeline.selectedClip]->values[0]);
  }

  void TearDown() override {
    autosave.reset();
    EditorTest::TearDown();
    std::filesystem::remove_all(dir);
  }
  void autosavePass(double at) {
    autosave->pass(at, timeline, history->version(), history->unsaved());
    autosave->waitIdle();
  }
  // What start-up makes of the autosave, answering `answer` if asked; returns standard error.
  std::string recover(RecoveryChoice answer) {
    question.clear();
    testing::internal::CaptureStderr();
    recoverAutosave(*editor, *history, *autosave, now, [&](const std::string& q) {
      question = q;
      return answer;
    });
    return testing::internal::GetCapturedStderr();
  }

  std::unique_ptr<EditHistory> history;
  std::unique_ptr<Autosave> autosave;
  std::string question;
  double now = 100.0;
};

TEST_F(HistoryTest, EveryKindOfStepUndoesAndRedoesExactly) {
  struct Kind {
    const char* name;
    std::function<void()> setUp, act;
  };
  Timeline other;
  other.addClip(4, 3.0f, 1.0f, kModel3D);
  const std::vector<Kind> kinds = {
      {"move", nullptr, [this] { drag(1, 0, 40, false); }},
      {"resize", nullptr, [this] { drag(1, 0, -25, true); }},
      {"select repairs", nullptr, [this] { select(0, 0); }},
      {"value drag", [this] { select(1, 0); }, [this] { valueDrag(3, 7); }},
      {"wheel run", [this] { select(1, 0); },
       [this] { for (int i = 0; i < 3; ++i) wheel(0, +1, 0.3); }},
      {"dialog", [this] { openDialog(kCamera); }, [this] { proceed(3); }},
      {"C", [this] { select(1, 0); }, [this] { key(kKeyC); }},
      {"Delete", [this] { select(1, 0); }, [this] { key(kKeyDelete); }},
      {"L", [&] { select(1, 0); writeProject(other); }, [this] { key(kKeyL); }},
  };
  for (const Kind& kind : kinds) {
    SCOPED_TRACE(kind.name);
    begin(sample());
    if (kind.setUp) kind.setUp();
    ASSERT_EQ(history->undoCount(), 0u);
    const std::vector<uint8_t> before = bytes();
    const Selection selectedBefore = selection();
    kind.act();
    const std::vector<uint8_t> after = bytes();
    const Selection selectedAfter = selection();
    ASSERT_NE(before, after);
    ASSERT_EQ(history->undoCount(), 1u);
    key(kKeyY);
    EXPECT_FALSE(history->unsaved());
    EXPECT_TRUE(history->undo());
    EXPECT_EQ(bytes(), before);
    EXPECT_TRUE(selection() == selectedBefore);
    expectLivePanel();
    EXPECT_TRUE(history->unsaved());
    EXPECT_TRUE(history->redo());
    EXPECT_EQ(bytes(), after);
    EXPECT_TRUE(selection() == selectedAfter);
    expectLivePanel();
    EXPECT_FALSE(history->unsaved());
  }
}

TEST_F(HistoryTest, StepsThatChangeNothingAreNotRecordedAndNewEditsDropRedo) {
  begin(sample());
  select(1, 0);  // a press and release without motion
  wheel(1, +1, 1.0);
  wheel(1, -1, 0.4);  // back where the run started
  hover(-1);
  run({700, 300, false, false, false, +1});  // no field hovered
  key(kKeyL);                // the file holds the same project
  EXPECT_EQ(history->undoCount(), 0u);
  select(1, 0);
  wheel(2, +1, 1.0);
  wheel(2, +1, 0.6);  // too late for the same run
  EXPECT_EQ(history->undoCount(), 2u);

  run({700, 300, true});  // nothing is undone while a button is held
  EXPECT_FALSE(history->undo());
  run({700, 300});
  history->handleChord('Y', false);
  history->handleChord('Z', false);
  EXPECT_EQ(history->redoCount(), 1u);
  history->handleChord('Z', true);
  history->handleChord('Z', false);
  drag(2, 0, 30, false);
  EXPECT_EQ(history->redoCount(), 0u);
  EXPECT_FALSE(history->redo());
}

TEST_F(HistoryTest, FiveHundredRandomEditsUndoToTheStartAndRedoToTheEnd) {
  std::mt19937 rng(14);
  auto pick = [&](int n) { return static_cast<int32_t>(rng() % static_cast<uint32_t>(n)); };
  auto randomProject = [&] {
    Timeline t;
    for (int i = 0; i < 12; ++i) t.addClip(pick(6), 0.5f * pick(24), 0.5f + 0.25f * pick(10), pick(7));
    return t;
  };
  begin(randomProject());
  const std::vector<uint8_t> start = bytes();
  for (int edit = 0; edit < 500; ++edit) {
    history->setTime(now += 1.0);
    int32_t layer = pick(6);
    while (timeline.clipCount(layer) == 0) layer = (layer + 1) % 6;
    const int32_t clip = pick(timeline.clipCount(layer));
    switch (pick(8)) {
      case 0: drag(layer, clip, pick(61) - 30, false); break;
      case 1: drag(layer, clip, pick(41) - 20, true); break;
      case 2: select(layer, clip); for (int n = pick(3); n >= 0; --n) wheel(pick(2), pick(2) * 2 - 1, 0.2); break;
      case 3: select(layer, clip); valueDrag(pick(2), pick(21) - 10); break;
      case 4: openDialog(pick(7)); proceed(pick(6)); break;
      case 5: select(layer, clip); key(kKeyC); break;
      case 6: select(layer, clip); key(kKeyDelete); break;
      default: writeProject(randomProject()); key(kKeyL); break;
    }
  }
  const std::vector<uint8_t> end = bytes();
  ASSERT_GT(history->undoCount(), 300u);
  while (history->undo()) expectLivePanel();
  EXPECT_EQ(bytes(), start);
  while (history->redo()) expectLivePanel();
  EXPECT_EQ(bytes(), end);
}

TEST_F(HistoryTest, AtMostAThousandStepsAndSixtyFourMegabytes) {
  begin(sample());
  select(1, 0);
  wheel(0, +1, 1.0);
  const std::vector<uint8_t> afterFirst = bytes();
  for (int i = 0; i < 1000; ++i) wheel(0, i % 2 == 0 ? +1 : -1, 1.0);
  EXPECT_EQ(history->undoCount(), 1000u);
  while (history->undo()) {
  }
  EXPECT_EQ(bytes(), afterFirst);

  // Loads of 32,000-clip projects keep the projects they replace, the oldest going first.
  Timeline big[2];
  for (int i = 0; i < 32000; ++i) {
    big[0].addClip(i % kLayerCount, 0.5f * i, 1.0f, i % kOperatorTypeCount);
    big[1].addClip(i % kLayerCount, 0.5f * i, 2.0f, i % kOperatorTypeCount);
  }
  for (int load = 0; load < 20; ++load) {
    writeProject(big[load % 2]);
    key(kKeyL);
    EXPECT_LE(history->bytes(), EditHistory::kMaxBytes);
  }
  EXPECT_LT(history->undoCount(), 20u);
  EXPECT_GT(history->undoCount(), 4u);
  EXPECT_TRUE(history->undo());
  EXPECT_EQ(bytes(), encodeProject(big[0]));
}

TEST_F(HistoryTest, CtrlKeysAreTheEditorsOwnOnlyInEditorMode) {
  ShellState state;
  WindowEvent event;
  event.kind = EventKind::kKeyDown;
  event.virtualKey = 'Y';
  event.ctrl = true;
  applyWindowEvent(event, state);
  EXPECT_EQ(state.input.lastKey, 'Y');  // the no-argument mode: just another key
  state.editorMode = true;
  state.input.lastKey = 0;
  event.virtualKey = 'Z';
  event.shift = true;
  applyWindowEvent(event, state);
  EXPECT_EQ(state.input.lastKey, 0);
  EXPECT_EQ(state.input.chordKey, 'Z');
  EXPECT_TRUE(state.input.chordShift);

  // Without a history Z is a key without binding, even right after an edit.
  startWith(sample());
  run({});
  drag(1, 0, 40, false);
  const std::vector<uint8_t> edited = bytes();
  key('Z');
  EXPECT_EQ(bytes(), edited);
}

TEST_F(HistoryTest, AutosaveWritesUnsavedChangesOncePerIntervalUntilSaved) {
  begin(sample());
  autosave = std::make_unique<Autosave>(path + ".autosave", 30.0);
  autosavePass(100.0);
  select(1, 0);
  key(kKeyC);
  autosavePass(129.0);
  EXPECT_FALSE(std::filesystem::exists(path + ".autosave"));
  autosavePass(130.0);
  EXPECT_EQ(readFile(path + ".autosave"), bytes());
  const std::vector<uint8_t> first = bytes();
  drag(1, 0, 20, false);
  autosavePass(159.0);
  EXPECT_EQ(readFile(path + ".autosave"), first);
  autosavePass(160.0);
  EXPECT_EQ(readFile(path + ".autosave"), bytes());
  key(kKeyY);
  autosavePass(161.0);
  EXPECT_FALSE(std::filesystem::exists(path + ".autosave"));
  drag(1, 0, 20, false);
  autosavePass(190.0);
  EXPECT_TRUE(std::filesystem::exists(path + ".autosave"));
  autosave->removeAndWait();
  EXPECT_FALSE(std::filesystem::exists(path + ".autosave"));
}

TEST_F(HistoryTest, StartUpOffersTheChangesARunLeftBehind) {
  Timeline changed = sample();
  changed.addClip(7, 1.0f, 1.0f, kBox);
  const std::vector<uint8_t> changedBytes = encodeProject(changed);
  begin(sample());
  autosave = std::make_unique<Autosave>(path + ".autosave", 30.0);
  auto leave = [&](const std::vector<uint8_t>& bytes) { ASSERT_TRUE(saveProjectBytes(bytes, path + ".autosave", nullptr)); };

  leave(readFile(path));
  EXPECT_EQ(recover(RecoveryChoice::kRestore), "");
  EXPECT_EQ(question, "");
  EXPECT_FALSE(std::filesystem::exists(path + ".autosave"));

  leave({1, 2, 3});
  EXPECT_NE(recover(RecoveryChoice::kRestore).find("not restored, kept as " + path + ".autosave.unreadable"),
            std::string::npos);
  EXPECT_EQ(question, "");
  EXPECT_EQ(readFile(path + ".autosave.unreadable"), (std::vector<uint8_t>{1, 2, 3}));

  leave(changedBytes);
  EXPECT_NE(recover(RecoveryChoice::kDiscard).find("kept as " + path + ".autosave.old\n"), std::string::npos);
  EXPECT_TRUE(std::regex_match(question, std::regex("Recovered unsaved changes from \\d\\d:\\d\\d\\. Restore them\\?")));
  leave(changedBytes);
  EXPECT_NE(recover(RecoveryChoice::kNobodyToAsk).find(".autosave.old.1 (no one to ask"), std::string::npos);
  EXPECT_EQ(readFile(path + ".autosave.old"), changedBytes);
  EXPECT_EQ(bytes(), encodeProject(sample()));

  std::remove(path.c_str());  // a project file that is gone does not hold the changes either
  leave(changedBytes);
  EXPECT_EQ(recover(RecoveryChoice::kRestore), "");
  EXPECT_EQ(bytes(), changedBytes);
  EXPECT_TRUE(history->unsaved() && editor->hasUnsavedChanges());
  autosavePass(200.0);
  EXPECT_EQ(readFile(path + ".autosave"), changedBytes) << "kept until the changes are saved";
  key(kKeyY);
  EXPECT_EQ(readFile(path), changedBytes);
  autosavePass(201.0);
  EXPECT_FALSE(std::filesystem::exists(path + ".autosave"));
}

}  // namespace
}  // namespace korvalin::test
