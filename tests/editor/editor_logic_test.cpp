// The Editor's dispatch and the timeline view's drag rules, driven as sequences of entry-point
// calls one pass at a time, with no GL.
#include <gtest/gtest.h>

#include <climits>
#include <random>

#include "editor_fixture.h"

namespace korvalin::test {
namespace {

constexpr double kPps40 = 1024.0 / 15.0;  // pixels per second at zoom 40

FieldListPanel& panelOf(Editor& editor) { return dynamic_cast<FieldListPanel&>(*editor.panel); }

Timeline oneClip(int32_t layer, float start, float length, int32_t type) {
  Timeline t;
  t.addClip(layer, start, length, type);
  return t;
}

TEST_F(EditorTest, WheelSplitsAtY600AndRowsScrollBetweenTheEnds) {
  startWith(oneClip(0, 1.0f, 2.0f, kBox));
  run({});
  run({100, rowMiddle(0), true});
  ASSERT_EQ(timeline.editMode, kEditClip);
  panelOf(*editor).field(3).hovered = true;  // "Scale ", as the panel's draw leaves it
  run({700, 600, false, false, false, +1});
  run({700, 601, false, false, false, -1});
  EXPECT_EQ((*timeline.layerClipParams[0][0])[3], 1.0f);
  EXPECT_EQ(editor->trackScroll, -1);

  for (int i = 0; i < 12; ++i) editor->wheel(-1);
  EXPECT_EQ(editor->trackScroll, -10);  // layers 10 to 15
  for (int i = 0; i < 12; ++i) editor->wheel(+1);
  EXPECT_EQ(editor->trackScroll, 0);
  run({500, 700, false, true});  // with the middle button held the wheel zooms instead
  editor->wheel(+1);
  EXPECT_EQ(editor->zoom, 41);
  EXPECT_EQ(editor->trackScroll, 0);
}

TEST_F(EditorTest, HeldLeftButtonMakesOnePanelButFeedsItEveryPass) {
  Timeline project = oneClip(0, 1.0f, 2.0f, kBox);
  project.addClip(1, 1.0f, 2.0f, kBox);
  startWith(project);
  run({});
  run({100, rowMiddle(0), true});
  ParameterPanel* first = editor->panel.get();
  ASSERT_NE(first, nullptr);
  panelOf(*editor).field(0).hovered = true;
  for (int i = 0; i < 10; ++i) run({100, rowMiddle(0), true});
  EXPECT_EQ(editor->panel.get(), first);
  EXPECT_TRUE(panelOf(*editor).field(0).dragging);  // a press reached it in a later pass

  // The latch clears only with all buttons up: a new left press under a held right is not seen.
  run({100, rowMiddle(1), false, false, true});
  run({100, rowMiddle(1), true, false, true});
  EXPECT_EQ(timeline.selectedLayer, 0);
  run({100, rowMiddle(1)});
  run({100, rowMiddle(1), true});
  EXPECT_EQ(timeline.selectedLayer, 1);
}

TEST_F(EditorTest, PressesReachOnlyVisibleBarsRightResizesAllLeftTheFirst) {
  Timeline project = oneClip(0, 1.0f, 3.0f, kBox);
  project.addClip(1, 1.0f, 3.0f, kBox);
  project.addClip(1, 2.0f, 3.0f, kFlat);
  startWith(project);
  run({500, 700, false, false, false, -1});  // layer 0 scrolled out, layer 1 in row 0
  const int32_t x = static_cast<int32_t>(2.5 * kPps40);
  run({x, 611, false, false, true});
  std::vector<ClipBar>& bars = timeline.tracks[1].bars;
  EXPECT_FALSE(timeline.tracks[0].bars[0].hovered);
  EXPECT_TRUE(bars[0].resizing && bars[1].resizing);
  EXPECT_EQ(timeline.editMode, kEditNothing);
  run({x, 611});
  run({x, 611, true});
  EXPECT_TRUE(bars[0].moving);
  EXPECT_FALSE(bars[1].moving || timeline.tracks[0].bars[0].moving);
  EXPECT_EQ(timeline.selectedLayer, 1);
  EXPECT_EQ(timeline.selectedClip, 0);
}

TEST_F(EditorTest, KeyTableInEveryMode) {
  startWith(oneClip(0, 2.0f, 3.0f, kBox));
  run({});
  run({200, rowMiddle(0), true});
  key('c');  // lower-case codes count too
  ASSERT_EQ(timeline.clipCount(0), 2);
  EXPECT_EQ(timeline.tracks[0].bars[1].start, 5.0f);
  key('N');
  key(kKeyDelete);  // acts only on a selected clip
  EXPECT_EQ(timeline.clipCount(0), 2);
  EXPECT_EQ(timeline.editMode, kEditChooseOperator);
  timeline.editMode = kEditNewOperator;
  key('y');  // the dialog's keys: Y saves, N goes back to the list
  EXPECT_EQ(readFile(path), encodeProject(timeline));
  key('n');
  EXPECT_EQ(timeline.editMode, kEditChooseOperator);

  for (int i = 0; i < 5; ++i) key(kKeyLeft);
  EXPECT_EQ(editor->viewStart, -0.3662109375f);
  for (const LayerTrack& layer : timeline.tracks) EXPECT_EQ(layer.gridOffset, 25);
  editor->setZoom(3);
  key(kKeyHome);
  EXPECT_EQ(editor->viewStart, 0.0f);
}

TEST_F(EditorTest, LoadClosesTheSelectionAndAFailedLoadKeepsEverything) {
  startWith(oneClip(4, 1.0f, 2.0f, kCamera));
  EXPECT_FALSE(editor->hasUnsavedChanges());
  run({});
  run({100, rowMiddle(4), true});
  run({150, rowMiddle(4), true});  // drags the clip
  run({150, rowMiddle(4)});
  EXPECT_TRUE(editor->hasUnsavedChanges());
  ParameterPanel* panel = editor->panel.get();

  std::ofstream(path, std::ios::binary | std::ios::trunc).write("\x00\x05", 2);  // cut short
  testing::internal::CaptureStderr();
  key(kKeyL);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("save.brz"), std::string::npos);
  EXPECT_EQ(timeline.editMode, kEditClip);
  EXPECT_EQ(editor->panel.get(), panel);
  EXPECT_NE(timeline.tracks[4].bars[0].start, 1.0f);

  writeProject(oneClip(4, 1.0f, 2.0f, kCamera));
  key(kKeyL);
  EXPECT_EQ(timeline.editMode, kEditNothing);
  EXPECT_EQ(timeline.tracks[4].bars[0].start, 1.0f);
  EXPECT_FALSE(editor->hasUnsavedChanges());

  timeline.addClip(0, 1.0f, 1.0f, kBox);
  editor->projectPath = dir + "/no-such-folder/save.brz";
  testing::internal::CaptureStderr();
  EXPECT_FALSE(editor->saveProject());
  EXPECT_FALSE(testing::internal::GetCapturedStderr().empty());
  EXPECT_TRUE(editor->hasUnsavedChanges());
}

TEST_F(EditorTest, ViewFollowsThePlayCursorAndZoomStaysFinite) {
  startWith(Timeline());
  editor->setPlayCursor(15.5f);
  EXPECT_EQ(editor->viewStart, 0.5f);
  editor->setPlayCursor(14.0f);
  EXPECT_EQ(editor->viewStart, 0.5f);

  editor->addZoom(-100);
  EXPECT_EQ(editor->zoom, 1);
  EXPECT_EQ(editor->viewSpan, 600.0f);
  editor->addZoom(INT_MAX);
  EXPECT_EQ(editor->zoom, kMaxZoom);
  run({500, 700, false, true});
  run({500, INT_MIN + 1000, false, true});  // a huge middle drag neither overflows nor escapes
  EXPECT_EQ(editor->zoom, kMaxZoom);
}

TEST(ClipBarTest, ResizeStopsAboveFivePixelsAndNeverInverts) {
  ClipBar bar;
  bar.length = 1.46484375f;  // 100 pixels at zoom 40
  bar.rowY = 599;
  track(bar, 0, 98, 611, 40, 0.0f);
  ASSERT_EQ(press(bar, 2), 2);  // right half
  for (int32_t x = 96; x >= -50; x -= 2) track(bar, 0, x, 611, 40, 0.0f);
  EXPECT_NEAR(bar.length * kPps40, 6.0, 1e-3);  // the next step would have left 4
  EXPECT_EQ(bar.start, 0.0f);
  track(bar, 0, 54, 611, 40, 0.0f);  // grows back once the mouse passes the edge
  EXPECT_NEAR(bar.length * kPps40, 56.0, 1e-3);

  // Wild resizes, half of them while moving and zooming (a bar may then look shorter than the
  // floor at the new zoom, but its length stays positive).
  std::mt19937 random(7);
  for (int trial = 0; trial < 200; ++trial) {
    ClipBar b;
    b.start = 2.0f;
    b.length = 0.2f + 0.05f * static_cast<float>(trial % 40);
    b.rowY = 599;
    int32_t zoom = 40;
    int32_t x = static_cast<int32_t>((b.start + b.length * (trial % 2 == 0 ? 0.2 : 0.8)) * kPps40);
    track(b, 0, x, 611, zoom, 0.0f);
    press(b, 2);
    if (trial % 3 == 0) press(b, 0);
    for (int step = 0; step < 100; ++step) {
      x += static_cast<int32_t>(random() % 801) - 400;
      if (trial >= 100) zoom = clampZoom(static_cast<int64_t>(zoom) + static_cast<int32_t>(random() % 7) - 3);
      track(b, 0, x, 611, zoom, 0.0f);
      ASSERT_GT(b.length, 0.0f) << trial << "/" << step;
      ASSERT_TRUE(trial >= 100 || b.length * kPps40 > kMinResizePixels - 1e-3) << trial << "/" << step;
    }
  }
}

TEST_F(EditorTest, OpeningTheDialogStartsNoDragOnAFieldTheMouseHasLeft) {
  startWith(Timeline());
  key(kKeyN);
  run({700, 45});
  run({700, 45, true});  // "Layer 2D"
  editor->layerField.hovered = true;  // as a draw and a move over the Layer field leave it
  key(kKeyN);  // back to the list, the field still marked hovered
  run({700, 105});
  run({700, 105, true});  // "Camera", away from the field
  run({700, 95, true});   // 10 pixels up: would add 10 had the field started a drag
  EXPECT_EQ(timeline.editMode, kEditNewOperator);
  EXPECT_EQ(timeline.selectedLayer, kCamera);
  EXPECT_EQ(editor->newClipLayer, 0.0f);
}

}  // namespace
}  // namespace korvalin::test
