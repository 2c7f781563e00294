// Undo and redo through scripted passes: 300 random edits of every kind, each step undone and
// redone to the project's exact bytes, selection and a panel on a live block, then all at once;
// the history's bounds; the Ctrl keys; the autosave and what start-up makes of one left behind.
#include <filesystem>
#include <random>
#include <regex>

#include "editor/autosave.h"
#include "editor/history.h"
#include "editor_fixture.h"

namespace korvalin::test {
namespace {

bool matches(const std::string& text, const char* pattern) { return std::regex_match(text, std::regex(pattern)); }

Timeline boxProject(int32_t moreOnLayer = -1) {
  Timeline t;
  for (int32_t layer : {1, moreOnLayer}) t.addClip(layer, 1.0f, 3.0f, kBox);  // a layer of -1 adds nothing
  return t;
}

class HistoryTest : public EditorTest {
 protected:
  void TearDown() override {
    autosave.reset();  // its worker may still write into the folder
    EditorTest::TearDown();
    glDisable(GL_SCISSOR_TEST);
  }
  void SetUp() override {
    EditorTest::SetUp();
    // Every pass is drawn, but only into one pixel: these tests need the draw's hover, not its
    // pictures, and hundreds of full canvases would take seconds.
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, 1, 1);
  }
  void begin(const Timeline& project) {
    start(project);
    history = std::make_unique<EditHistory>(*editor);
    editor->history = history.get();
    autosave = std::make_unique<Autosave>(path + ".autosave", 30.0);
  }
  std::vector<uint8_t> bytes() {
    timeline.syncAllClipTimes();
    return encodeProject(timeline);
  }
  // The project's bytes and what is selected.
  auto snap() {
    return std::pair(bytes(), std::array{timeline.editMode, timeline.selectedLayer, timeline.selectedClip});
  }
  void drag(int32_t layer, int32_t clip, int32_t dx, int button = L) {
    const ClipBar& bar = timeline.tracks[layer].bars[clip];
    const auto x = static_cast<int32_t>((bar.start + bar.length * 0.5f) * 1024.0 / 15.0), y = rowMiddle(layer);
    for (auto [mx, buttons] : {std::pair{x, 0}, {x, button}, {x + dx, button}, {x + dx, 0}}) pass(mx, y, buttons);
  }
  // The middle of field k's box in the panel shown; a place in the panel area with no box when
  // there is no panel or k is -1.
  std::pair<int32_t, int32_t> box(int32_t k) {
    if (timeline.editMode != kEditClip || !editor->panel || k < 0) return {700, 300};
    return {panel().field(k).boxLeft() + 2, panel().field(k).y + 8};
  }
  void wheel(int32_t k, int32_t step, double gap) {
    history->setTime(now += gap);
    const auto [x, y] = box(k);
    pass(x, y);
    pass(x, y, 0, step);
  }
  // A coarse drag of field k by dy pixels upwards.
  void valueDrag(int32_t k, int32_t dy) {
    const auto [x, y] = box(k);
    for (auto [my, buttons] : {std::pair{y, 0}, {y, L}, {y - dy, L}, {y - dy, 0}}) pass(x, my, buttons);
  }
  void expectLivePanel() {
    auto* panel = dynamic_cast<FieldListPanel*>(editor->panel.get());
    ASSERT_TRUE(timeline.editMode != kEditClip || (panel != nullptr && panel->param(0) ==
        &timeline.layerClipParams[timeline.selectedLayer][timeline.selectedClip]->values[0]));
  }
  // A pass at time `at`, then what the autosave holds (nothing when it is gone).
  std::vector<uint8_t> autosaved(double at) {
    autosave->pass(at, timeline, history->version(), history->unsaved());
    autosave->waitIdle();
    return readFile(path + ".autosave");
  }
  // What start-up makes of an autosave holding `left`, answering `answer` if asked; returns
  // the question and standard error.
  std::string recover(const std::vector<uint8_t>& left, RecoveryChoice answer = RecoveryChoice::kRestore) {
    EXPECT_TRUE(left.empty() || saveProjectBytes(left, path + ".autosave", nullptr));
    std::string question;
    testing::internal::CaptureStderr();
    recoverAutosave(*editor, *history, *autosave, [&](const std::string& q) {
      question = q;
      return answer;
    });
    return question + testing::internal::GetCapturedStderr();
  }

  std::unique_ptr<EditHistory> history;
  std::unique_ptr<Autosave> autosave;
  double now = 100.0;
};

TEST_F(HistoryTest, RandomEditsUndoAndRedoExactlyOneByOneAndAllTogether) {
  std::mt19937 rng(14);
  auto pick = [&](int n) { return static_cast<int32_t>(rng() % static_cast<uint32_t>(n)); };
  auto randomProject = [&] {
    Timeline t;
    for (int i = 0; i < 12; ++i) t.addClip(pick(6), 0.5f * pick(24), 0.5f + 0.25f * pick(10), pick(7));
    return t;
  };
  begin(randomProject());
  const std::vector<uint8_t> start = bytes();
  for (int edit = 0; edit < 300; ++edit) {
    history->setTime(now += 1.0);
    int32_t layer = pick(6);
    while (timeline.clipCount(layer) == 0) layer = (layer + 1) % 6;
    const int32_t clip = pick(timeline.clipCount(layer)), kind = pick(8), k = pick(2);
    // What leads up to an action is no part of its step (a select may be a step of its own).
    if (kind == 2 || kind == 3 || kind == 5 || kind == 6) drag(layer, clip, 0);
    if (kind == 4) timeline.editMode = kEditNewOperator, timeline.selectedLayer = pick(7);  // N, then a type
    if (kind == 7) writeProject(randomProject());
    const auto [before, steps] = std::pair(snap(), history->undoCount());
    switch (kind) {
      case 0: case 1: drag(layer, clip, pick(61) - 30, kind == 1 ? R : L); break;
      case 2: for (int n = pick(3); n >= 0; --n) wheel(k, pick(2) * 2 - 1, 0.2); break;
      case 3: valueDrag(k, pick(21) - 10); break;
      case 4:  // Proceed, the new clip going to a random layer
        editor->newClipLayer = static_cast<float>(pick(6));
        for (int buttons : {0, L, 0}) pass(700, 155, buttons);
        break;
      default: key(kind == 5 ? kKeyC : kind == 6 ? kKeyDelete : kKeyL); break;
    }
    const auto after = snap();
    ASSERT_TRUE(kind != 7 || editor->panel == nullptr) << "a panel on the blocks of the project replaced";
    // Every change of the project is one step, and every step a change.
    ASSERT_EQ(history->undoCount() - steps, after.first == before.first ? 0u : 1u) << "edit " << edit;
    if (after.first == before.first) continue;
    for (bool undoing : {true, false}) {
      ASSERT_TRUE(undoing ? history->undo() : history->redo());
      ASSERT_EQ(snap(), undoing ? before : after) << "edit " << edit;
      expectLivePanel();
    }
  }
  const std::vector<uint8_t> end = bytes();
  while (history->undo()) expectLivePanel();
  EXPECT_EQ(bytes(), start);
  while (history->redo()) expectLivePanel();
  EXPECT_EQ(bytes(), end);
}

TEST_F(HistoryTest, WheelRunsHeldButtonsAndAThousandSteps) {
  begin(boxProject());
  drag(1, 0, 0);
  wheel(2, +1, 1.0);
  wheel(2, +1, 0.6);  // too late to join the run
  EXPECT_EQ(history->undoCount(), 2u);
  pass(700, 300, L);
  EXPECT_FALSE(history->undo()) << "a button is held";
  pass(700, 300);
  history->undo();
  EXPECT_EQ(history->redoCount(), 1u);
  drag(1, 0, 30);
  EXPECT_EQ(history->redoCount(), 0u);

  // At most a thousand steps: the oldest go first.
  const float before = (*timeline.layerClipParams[1][0])[0];
  for (int i = 0; i <= 1000; ++i) wheel(0, i % 2 == 0 ? +1 : -1, 1.0);
  EXPECT_EQ(history->undoCount(), 1000u);
  while (history->undo()) continue;
  EXPECT_EQ((*timeline.layerClipParams[1][0])[0], before + 1.0f);
}

TEST_F(HistoryTest, AutosaveKeepsUnsavedChangesAndStartUpOffersThem) {
  begin(boxProject());
  autosaved(100.0);
  drag(1, 0, 30);
  EXPECT_TRUE(autosaved(129.0).empty()) << "the first interval counts from the first pass";
  EXPECT_EQ(autosaved(130.0), bytes());
  EXPECT_TRUE(history->undo() && autosaved(131.0).empty()) << "back to what the file holds";
  EXPECT_TRUE(history->redo() && autosaved(159.0).empty());
  EXPECT_EQ(autosaved(160.0), bytes()) << "the same changes again, after they were gone";
  std::remove((path + ".autosave").c_str());
  EXPECT_TRUE(autosaved(190.0).empty()) << "no change since: not written again";
  drag(1, 0, 30);
  EXPECT_EQ(autosaved(220.0), bytes()) << "and what came after them";
  key(kKeyY);
  EXPECT_TRUE(autosaved(230.0).empty());
  key(kKeyC);
  EXPECT_EQ(autosaved(260.0), bytes());
  autosave->removeAndWait();
  EXPECT_TRUE(readFile(path + ".autosave").empty());
  std::filesystem::create_directory(path + ".autosave.tmp");  // every write fails: said once
  testing::internal::CaptureStderr();
  for (double at : {290.0, 320.0}) key(kKeyC), autosaved(at);
  key(kKeyY), autosaved(321.0);
  EXPECT_PRED2(matches, testing::internal::GetCapturedStderr(), "autosave: [^\n]*\n");
  std::filesystem::remove(path + ".autosave.tmp");

  const std::vector<uint8_t> saved = bytes(), changes = encodeProject(boxProject(7));
  EXPECT_EQ(recover({}) + recover(saved), "");
  EXPECT_TRUE(readFile(path + ".autosave").empty());
  EXPECT_PRED2(matches, recover({1, 2, 3}), ".*; not restored, kept as .*save.brz.autosave.unreadable\n");
  EXPECT_PRED2(matches, recover(changes, RecoveryChoice::kDiscard),
               "Recovered unsaved changes from \\d\\d:\\d\\d\\. Restore them\\?.*kept as .*save.brz.autosave.old\n");
  EXPECT_EQ(readFile(path + ".autosave.old"), changes);
  EXPECT_EQ(bytes(), saved);

  std::remove(path.c_str());  // a project file that is gone does not hold the changes either
  EXPECT_PRED2(matches, recover(changes), "Recovered .* them\\?");
  EXPECT_EQ(bytes(), changes);
  EXPECT_TRUE(history->unsaved() && editor->hasUnsavedChanges());
  EXPECT_EQ(autosaved(330.0), changes) << "kept until the changes are saved";
  key(kKeyY);
  EXPECT_EQ(readFile(path), changes);
  EXPECT_TRUE(autosaved(331.0).empty());
}

}  // namespace
}  // namespace korvalin::test
