// Undo and redo through scripted passes: 300 random edits of every kind, each step undone and
// redone to the project's exact bytes, selection and a panel on a live block; the autosave and
// what start-up makes of one left behind.
#include <random>
#include <regex>

#include "editor/autosave.h"
#include "editor/history.h"
#include "editor_fixture.h"

namespace korvalin::test {
namespace {

bool matches(const std::string& text, const char* pattern) { return std::regex_match(text, std::regex(pattern)); }

class HistoryTest : public EditorTest {
 protected:
  void begin(const Timeline& project) {
    // Every pass is drawn, but only into one pixel: these tests need the draw's hover, not its
    // pictures, and hundreds of full canvases would take seconds.
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, 1, 1);
    start(project);
    history = std::make_unique<EditHistory>(*editor);
    editor->history = history.get();
    autosave = std::make_unique<Autosave>(path + ".autosave", 30.0);
  }
  std::vector<uint8_t> bytes() { return encodeProject(timeline); }
  // The project's bytes and what is selected.
  auto snap() { return std::pair(bytes(), std::array{timeline.editMode, timeline.selectedLayer, timeline.selectedClip}); }
  void dragBar(int32_t layer, int32_t clip, int32_t dx, int button = L) {
    const ClipBar& bar = timeline.tracks[layer].bars[clip];
    const auto x = static_cast<int32_t>((bar.start + bar.length * 0.5f) * 1024.0 / 15.0);
    drag({x, x + dx}, 611 + kRowPitch * (layer + editor->trackScroll), button);
  }
  // On field k's box in the panel shown (in the panel area when there is none), a turn of the
  // wheel by `step`, then a coarse drag by dy pixels upwards.
  void onField(int32_t k, int32_t step, int32_t dy) {
    auto* panel = timeline.editMode == kEditClip ? dynamic_cast<FieldListPanel*>(editor->panel.get()) : nullptr;
    const int32_t x = panel ? panel->field(k).boxLeft() + 2 : 700, y = panel ? panel->field(k).y + 8 : 300;
    history->setTime(now += 0.2);
    pass(x, y);
    pass(x, y, 0, step);
    if (dy == 0) return;
    for (auto [my, buttons] : {std::pair{y, L}, {y - dy, L}, {y - dy, 0}}) pass(x, my, buttons);
  }
  // A pass at time `at`, then what the autosave holds (nothing when it is gone).
  std::vector<uint8_t> autosaved(double at) {
    autosave->pass(at, timeline, history->version(), history->unsaved());
    autosave->waitIdle();
    return std::filesystem::is_regular_file(path + ".autosave") ? readFile(path + ".autosave") : std::vector<uint8_t>();
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

TEST_F(HistoryTest, RandomEditsUndoAndRedoExactlyOneByOne) {
  std::mt19937 rng(14);
  auto pick = [&](int n) { return static_cast<int32_t>(rng() % static_cast<uint32_t>(n)); };
  auto randomProject = [&] {
    Timeline t;
    for (int i = 0; i < 12; ++i) t.addClip(pick(6), 0.5f * pick(24), 0.5f + 0.25f * pick(10), pick(7));
    return t;
  };
  begin(randomProject());
  for (int edit = 0; edit < 300; ++edit) {
    history->setTime(now += 1.0);
    int32_t layer = pick(6);
    while (timeline.clipCount(layer) == 0) layer = (layer + 1) % 6;
    const int32_t clip = pick(timeline.clipCount(layer)), kind = pick(8), k = pick(2);
    // What leads up to an action is no part of its step (a select may be a step of its own).
    if (kind == 2 || kind == 3 || kind == 5 || kind == 6) dragBar(layer, clip, 0);
    if (kind == 4) timeline.editMode = kEditNewOperator, timeline.selectedLayer = pick(7);  // N, then a type
    if (kind == 7) writeProject(randomProject());
    const auto [before, steps] = std::pair(snap(), history->undoCount());
    switch (kind) {
      case 0: case 1: dragBar(layer, clip, pick(61) - 30, kind == 1 ? R : L); break;
      case 2: for (int n = pick(3); n >= 0; --n) onField(k, pick(2) * 2 - 1, 0); break;
      case 3: onField(k, 0, pick(21) - 10); break;
      case 4:  // Proceed, the new clip going to a random layer
        editor->newClipLayer = static_cast<float>(pick(6));
        drag({700}, 155);
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
      auto* panel = dynamic_cast<FieldListPanel*>(editor->panel.get());
      ASSERT_TRUE(timeline.editMode != kEditClip || (panel != nullptr && panel->param(0) ==
          &timeline.layerClipParams[timeline.selectedLayer][timeline.selectedClip]->values[0]));
    }
  }
}

TEST_F(HistoryTest, AutosaveKeepsUnsavedChangesAndStartUpOffersThem) {
  Timeline project;
  project.addClip(1, 1.0f, 3.0f, kBox);
  begin(project);
  autosaved(100.0);
  dragBar(1, 0, 30);
  EXPECT_TRUE(autosaved(129.0).empty()) << "the first interval counts from the first pass";
  EXPECT_EQ(autosaved(130.0), bytes());
  EXPECT_TRUE(history->undo() && autosaved(131.0).empty()) << "back to what the file holds";
  EXPECT_TRUE(history->redo() && autosaved(159.0).empty());
  EXPECT_EQ(autosaved(160.0), bytes()) << "the same changes again, after they were gone";
  std::remove((path + ".autosave").c_str());
  EXPECT_TRUE(autosaved(190.0).empty()) << "no change since: not written again";
  dragBar(1, 0, 30);
  EXPECT_EQ(autosaved(220.0), bytes()) << "and what came after them";
  // A folder in the copy's place: every write fails, said once, and so does the removal after a save.
  std::filesystem::remove(path + ".autosave");
  std::filesystem::create_directory(path + ".autosave");
  testing::internal::CaptureStderr();
  for (double at : {290.0, 320.0}) key(kKeyC), autosaved(at);
  key(kKeyY), autosaved(321.0);
  EXPECT_PRED2(matches, testing::internal::GetCapturedStderr(),
               "autosave: [^\n]*not a regular file[^\n]*\nautosave: [^\n]*cannot remove: Is a directory\n");
  std::filesystem::remove(path + ".autosave");

  project.addClip(7, 1.0f, 3.0f, kBox);
  const std::vector<uint8_t> saved = bytes(), changes = encodeProject(project);
  EXPECT_TRUE(recover({}) + recover(saved) == "" && !std::filesystem::exists(path + ".autosave"));
  EXPECT_PRED2(matches, recover({1, 2, 3}), ".*; not restored, kept as .*save.brz.autosave.unreadable\n");
  EXPECT_PRED2(matches, recover(changes, RecoveryChoice::kDiscard),
               "Recovered unsaved changes from \\d\\d:\\d\\d\\. Restore them\\?.*kept as .*save.brz.autosave.old\n");
  EXPECT_TRUE(readFile(path + ".autosave.old") == changes && bytes() == saved);

  std::remove(path.c_str());  // a project file that is gone does not hold the changes either
  EXPECT_PRED2(matches, recover(changes), "Recovered .* them\\?");
  EXPECT_TRUE(bytes() == changes && editor->hasUnsavedChanges());
  EXPECT_EQ(autosaved(330.0), changes) << "kept until the changes are saved";
  key(kKeyY);
  EXPECT_TRUE(readFile(path) == changes && autosaved(331.0).empty());
}

}  // namespace
}  // namespace korvalin::test
