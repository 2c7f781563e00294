// The Editor's dispatch and the timeline view's drag rules, driven as sequences of entry-point
// calls one pass at a time, with no GL.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <random>

#include "editor_fixture.h"

namespace korvalin::test {
namespace {

// At zoom 40 one second is 1024 / 15 pixels.
constexpr double kPps40 = 1024.0 / 15.0;

FieldListPanel& panelOf(Editor& editor) { return dynamic_cast<FieldListPanel&>(*editor.panel); }

// --- wheel ------------------------------------------------------------------------------------

TEST_F(EditorTest, WheelAtY600GoesToThePanelAndAt601ScrollsTheRows) {
  Timeline project;
  project.addClip(0, 1.0f, 2.0f, kBox);
  startWith(project);
  run({});
  run({100, rowMiddle(0), true});
  run({100, rowMiddle(0)});
  ASSERT_EQ(timeline.editMode, kEditClip);
  ValueField& scale = panelOf(*editor).field(3);
  scale.hovered = true;  // as the panel's draw would leave it under the mouse

  run({700, 600, false, false, false, +1});
  EXPECT_EQ((*timeline.layerClipParams[0][0])[3], 1.0f);
  EXPECT_EQ(editor->trackScroll, 0);

  run({700, 601, false, false, false, -1});
  EXPECT_EQ((*timeline.layerClipParams[0][0])[3], 1.0f);
  EXPECT_EQ(editor->trackScroll, -1);

  // The dialog's fields take the panel area's wheel in mode 2.
  key(kKeyN);
  timeline.editMode = kEditNewOperator;
  editor->layerField.hovered = true;
  editor->wheel(+1);  // mouse still at y 601
  EXPECT_EQ(editor->newClipLayer, 0.0f);
  editor->mouseMove(700, 600);
  editor->layerField.hovered = true;
  editor->wheel(+1);
  EXPECT_EQ(editor->newClipLayer, 1.0f);
}

TEST_F(EditorTest, RowsScrollDownToLayerTenAndNoFurther) {
  startEditor();
  editor->mouseMove(500, 700);
  editor->wheel(+1);
  EXPECT_EQ(editor->trackScroll, 0);
  for (int i = 0; i < 10; ++i) editor->wheel(-1);
  EXPECT_EQ(editor->trackScroll, -10);
  editor->wheel(-1);
  EXPECT_EQ(editor->trackScroll, -10);
  editor->wheel(+1);
  EXPECT_EQ(editor->trackScroll, -9);

  // With the middle button held the wheel over the rows zooms instead.
  run({500, 700, false, true});
  editor->wheel(+1);
  EXPECT_EQ(editor->zoom, 41);
  EXPECT_EQ(editor->trackScroll, -9);
  // In modes -1 and 1 the panel area ignores the wheel.
  run({500, 700});
  run({700, 300});
  editor->wheel(-1);
  EXPECT_EQ(editor->trackScroll, -9);
  EXPECT_EQ(editor->zoom, 41);
}

// --- buttons and latches -------------------------------------------------------------------------

TEST_F(EditorTest, HoldingTheLeftButtonMakesOnePanelButFeedsItEveryPass) {
  Timeline project;
  project.addClip(0, 1.0f, 2.0f, kBox);
  startWith(project);
  run({});
  run({100, rowMiddle(0), true});
  ASSERT_EQ(timeline.editMode, kEditClip);
  EXPECT_EQ(timeline.selectedLayer, 0);
  EXPECT_EQ(timeline.selectedClip, 0);
  ParameterPanel* first = editor->panel.get();
  ASSERT_NE(first, nullptr);

  // A widget that comes under the held button later still starts its drag: the panel is fed
  // mouseButton(0) in every pass.
  panelOf(*editor).field(0).hovered = true;
  for (int i = 0; i < 20; ++i) run({100, rowMiddle(0), true});
  EXPECT_EQ(editor->panel.get(), first);
  EXPECT_TRUE(panelOf(*editor).field(0).dragging);

  run({100, rowMiddle(0)});
  EXPECT_FALSE(panelOf(*editor).field(0).dragging);
  EXPECT_FALSE(editor->leftHeld);
}

TEST_F(EditorTest, LatchesClearOnlyWhenAllButtonsAreUp) {
  Timeline project;
  project.addClip(0, 1.0f, 2.0f, kBox);
  project.addClip(1, 1.0f, 2.0f, kBox);
  startWith(project);
  run({});
  run({100, rowMiddle(0), true});
  EXPECT_EQ(timeline.selectedLayer, 0);
  // Right joins, left goes up and down again over layer 1 while right stays down: no new press.
  run({100, rowMiddle(0), true, false, true});
  run({100, rowMiddle(1), false, false, true});
  run({100, rowMiddle(1), true, false, true});
  EXPECT_EQ(timeline.selectedLayer, 0);
  run({100, rowMiddle(1)});
  run({100, rowMiddle(1), true});
  EXPECT_EQ(timeline.selectedLayer, 1);
}

TEST_F(EditorTest, ScrolledOutLayerCanBeNeitherHoveredNorPressed) {
  Timeline project;
  project.addClip(0, 1.0f, 2.0f, kBox);
  project.addClip(1, 1.0f, 2.0f, kCamera);
  startWith(project);
  run({500, 700, false, false, false, -1});
  ASSERT_EQ(editor->trackScroll, -1);
  run({100, 611});
  EXPECT_EQ(timeline.tracks[0].row, -1);
  EXPECT_EQ(timeline.tracks[1].row, 0);
  EXPECT_FALSE(timeline.tracks[0].bars[0].hovered);
  EXPECT_TRUE(timeline.tracks[1].bars[0].hovered);
  run({100, 611, true});
  EXPECT_EQ(timeline.selectedLayer, 1);
  EXPECT_FALSE(timeline.tracks[0].bars[0].moving);
  EXPECT_EQ(panelOf(*editor).kind(), 2);
}

TEST_F(EditorTest, RightPressResizesEveryOverlappingBarLeftPressOnlyTheFirst) {
  Timeline project;
  project.addClip(2, 1.0f, 3.0f, kBox);
  project.addClip(2, 2.0f, 3.0f, kFlat);
  project.addClip(2, 9.0f, 1.0f, kFlat);
  startWith(project);
  const int32_t x = static_cast<int32_t>(2.5 * kPps40);
  run({});
  run({x, rowMiddle(2), false, false, true});
  std::vector<ClipBar>& bars = timeline.tracks[2].bars;
  EXPECT_TRUE(bars[0].resizing);
  EXPECT_TRUE(bars[1].resizing);
  EXPECT_FALSE(bars[2].resizing);
  EXPECT_EQ(timeline.editMode, kEditNothing);  // a right press selects nothing

  run({x, rowMiddle(2)});
  EXPECT_FALSE(bars[0].resizing);
  run({x, rowMiddle(2), true});
  EXPECT_TRUE(bars[0].moving);
  EXPECT_FALSE(bars[1].moving);
  EXPECT_EQ(timeline.selectedClip, 0);
  EXPECT_EQ(timeline.selectedLayer, 2);
}

TEST_F(EditorTest, PressOnABarWhileTheDialogIsOpenSelectsTheClipInstead) {
  Timeline project;
  project.addClip(0, 1.0f, 2.0f, kFlat);
  startWith(project);
  run({});
  key(kKeyN);
  run({700, 105});
  run({700, 105, true});
  run({700, 105});
  ASSERT_EQ(timeline.editMode, kEditNewOperator);
  run({100, rowMiddle(0), true});
  EXPECT_EQ(timeline.editMode, kEditClip);
  EXPECT_EQ(timeline.clipCount(0), 1);
}

// --- keys --------------------------------------------------------------------------------------

TEST_F(EditorTest, KeyTableIncludingLowerCaseCodes) {
  Timeline project;
  project.addClip(0, 2.0f, 3.0f, kBox);
  startWith(project);
  (*timeline.layerClipParams[0][0])[0] = 45.0f;
  run({});
  run({200, rowMiddle(0), true});
  run({200, rowMiddle(0)});

  key('c');  // 0x63, the keypad's 3 on the original platform
  ASSERT_EQ(timeline.clipCount(0), 2);
  EXPECT_EQ(timeline.tracks[0].bars[1].start, 5.0f);
  EXPECT_EQ((*timeline.layerClipParams[0][1])[0], 45.0f);
  EXPECT_EQ(timeline.editMode, kEditClip);

  key('n');
  EXPECT_EQ(timeline.editMode, kEditChooseOperator);
  key(kKeyDelete);  // Delete acts only on a selected clip
  EXPECT_EQ(timeline.clipCount(0), 2);
  EXPECT_EQ(timeline.editMode, kEditChooseOperator);

  key('Q');  // unbound: consumed without effect
  EXPECT_EQ(editor->pendingKey, 0);
  EXPECT_EQ(timeline.editMode, kEditChooseOperator);
}

TEST_F(EditorTest, DeleteRemovesTheSelectedClipOnce) {
  Timeline project;
  project.addClip(0, 1.0f, 2.0f, kBox);
  project.addClip(0, 5.0f, 1.0f, kFlat);
  startWith(project);
  run({});
  run({100, rowMiddle(0), true});
  run({100, rowMiddle(0)});
  key(kKeyDelete);
  EXPECT_EQ(timeline.editMode, kEditNothing);
  ASSERT_EQ(timeline.clipCount(0), 1);
  EXPECT_EQ(timeline.layerClipTypes[0][0], kFlat);
  key(kKeyDelete);
  key(kKeyC);
  EXPECT_EQ(timeline.clipCount(0), 1);
}

TEST_F(EditorTest, HomeAndArrowsScrollByFivePixelsAndShiftTheGrid) {
  startEditor();
  for (int i = 0; i < 5; ++i) key(kKeyLeft);
  EXPECT_EQ(editor->viewStart, -0.3662109375f);
  for (const LayerTrack& layer : timeline.tracks) EXPECT_EQ(layer.gridOffset, 25);
  key(kKeyRight);
  EXPECT_EQ(editor->viewStart, -0.29296875f);
  EXPECT_EQ(timeline.tracks[15].gridOffset, 20);

  editor->setZoom(3);
  editor->viewStart = 123.0f;
  key(kKeyHome);
  EXPECT_EQ(editor->viewStart, 0.0f);
}

TEST_F(EditorTest, KeysWhileTheDialogIsOpenUseTheSameTable) {
  startEditor();
  key(kKeyN);
  timeline.editMode = kEditNewOperator;
  timeline.selectedLayer = kCamera;
  key(kKeyY);
  EXPECT_EQ(readFile(path).size(), 48u);  // 16 empty layer records
  EXPECT_EQ(timeline.editMode, kEditNewOperator);
  key(kKeyN);
  EXPECT_EQ(timeline.editMode, kEditChooseOperator);
}

// --- load and save --------------------------------------------------------------------------------

TEST_F(EditorTest, LoadReplacesTheProjectAndClosesTheSelection) {
  Timeline project;
  project.addClip(4, 1.0f, 2.0f, kCamera);
  startWith(project);
  EXPECT_FALSE(editor->hasUnsavedChanges());
  run({});
  run({100, rowMiddle(4), true});
  run({150, rowMiddle(4), true});  // moves the clip
  run({150, rowMiddle(4)});
  ASSERT_EQ(timeline.editMode, kEditClip);
  EXPECT_TRUE(editor->hasUnsavedChanges());

  key(kKeyL);
  EXPECT_EQ(timeline.editMode, kEditNothing);
  ASSERT_EQ(timeline.clipCount(4), 1);
  EXPECT_EQ(timeline.tracks[4].bars[0].start, 1.0f);
  EXPECT_EQ(editor->panel, nullptr);
  EXPECT_FALSE(editor->hasUnsavedChanges());

  // Loading into an empty project leaves an open dialog open.
  timeline.clear();
  writeFile(path, encodeProject(Timeline()));
  key(kKeyN);
  key(kKeyL);
  EXPECT_EQ(timeline.editMode, kEditChooseOperator);
}

TEST_F(EditorTest, FailedLoadKeepsProjectSelectionAndPanel) {
  Timeline project;
  project.addClip(0, 1.0f, 2.0f, kBox);
  startWith(project);
  run({});
  run({100, rowMiddle(0), true});
  run({100, rowMiddle(0)});
  ParameterPanel* panel = editor->panel.get();

  writeFile(path, {0x00, 0x05});  // cut short
  testing::internal::CaptureStderr();
  key(kKeyL);
  const std::string malformed = testing::internal::GetCapturedStderr();
  EXPECT_NE(malformed.find("save.brz"), std::string::npos) << malformed;
  EXPECT_EQ(timeline.editMode, kEditClip);
  EXPECT_EQ(editor->panel.get(), panel);
  EXPECT_EQ(timeline.clipCount(0), 1);

  std::remove(path.c_str());
  testing::internal::CaptureStderr();
  EXPECT_EQ(editor->loadProject(), LoadResult::kMissing);
  EXPECT_FALSE(testing::internal::GetCapturedStderr().empty());
  EXPECT_EQ(timeline.editMode, kEditClip);
  EXPECT_EQ(editor->panel.get(), panel);
}

TEST_F(EditorTest, StartUpWithoutAProjectFileIsSilentAndEmpty) {
  testing::internal::CaptureStderr();
  startEditor();
  EXPECT_TRUE(testing::internal::GetCapturedStderr().empty());
  for (int layer = 0; layer < kLayerCount; ++layer) EXPECT_EQ(timeline.clipCount(layer), 0);
  EXPECT_FALSE(editor->hasUnsavedChanges());
  EXPECT_EQ(editor->zoom, 40);
  EXPECT_EQ(editor->viewSpan, 15.0f);
  ASSERT_EQ(editor->transportButtons.size(), 3u);
  EXPECT_STREQ(editor->transportButtons[2].label, "Stop");
  EXPECT_EQ(editor->transportButtons[2].x, 150);
}

TEST_F(EditorTest, SaveFailureIsReportedAndKeepsChangesUnsaved) {
  startEditor();
  timeline.addClip(0, 1.0f, 1.0f, kBox);
  editor->projectPath = dir + "/missing-folder/save.brz";
  testing::internal::CaptureStderr();
  EXPECT_FALSE(editor->saveProject());
  EXPECT_FALSE(testing::internal::GetCapturedStderr().empty());
  EXPECT_TRUE(editor->hasUnsavedChanges());
  editor->projectPath = path;
  EXPECT_TRUE(editor->saveProject());
  EXPECT_FALSE(editor->hasUnsavedChanges());
  EXPECT_EQ(readFile(path), encodeProject(timeline));
}

// --- transport and view -----------------------------------------------------------------------------

TEST_F(EditorTest, TransportHitReportsTheButtonUnderAHeldLeftButton) {
  startEditor();
  editor->mouseMove(160, 500);
  EXPECT_EQ(editor->transportHit(0), 3);
  EXPECT_EQ(editor->lastTransport, 2);
  EXPECT_EQ(editor->transportHit(2), 0);
  editor->mouseMove(30, 500);
  EXPECT_EQ(editor->transportHit(0), 1);
  EXPECT_EQ(editor->lastTransport, 0);
  editor->mouseMove(100, 500);
  EXPECT_EQ(editor->transportHit(0), 2);
  editor->mouseMove(100, 520);
  EXPECT_EQ(editor->transportHit(0), 0);
  EXPECT_EQ(editor->lastTransport, 1);
}

TEST_F(EditorTest, PlayCursorScrollsTheViewForwardOnly) {
  startEditor();
  editor->setPlayCursor(15.5f);
  EXPECT_EQ(editor->viewStart, 0.5f);
  EXPECT_EQ(editor->playCursor, 15.5f);
  editor->setPlayCursor(14.0f);
  EXPECT_EQ(editor->viewStart, 0.5f);
  editor->setPlayCursor(0.0f);
  EXPECT_EQ(editor->viewStart, 0.5f);
}

TEST_F(EditorTest, ZoomStaysWithinOneAndTheCap) {
  startEditor();
  editor->addZoom(-100);
  EXPECT_EQ(editor->zoom, 1);
  EXPECT_EQ(editor->viewSpan, 600.0f);
  editor->addZoom(INT_MAX);
  EXPECT_EQ(editor->zoom, kMaxZoom);
  editor->addZoom(INT_MAX);
  EXPECT_EQ(editor->zoom, kMaxZoom);
  EXPECT_GT(editor->viewSpan, 0.0f);
  editor->setZoom(INT_MIN);
  EXPECT_EQ(editor->zoom, 1);

  // A middle drag zooms by the vertical motion: up by 30 pixels, then down by 10.
  editor->setZoom(40);
  run({500, 700, false, true});
  run({500, 670, false, true});
  EXPECT_EQ(editor->zoom, 70);
  run({500, 680, false, true});
  EXPECT_EQ(editor->zoom, 60);
  run({500, 680});
  run({500, 600});
  EXPECT_EQ(editor->zoom, 60);
}

// --- bars ------------------------------------------------------------------------------------------

TEST(ClipBarTest, MoveHasNoLimitAndFollowsTheMouseExactly) {
  ClipBar bar;
  bar.start = 1.0f;
  bar.length = 2.0f;
  bar.rowY = 599;
  // At zoom 75 one second is 128 pixels, so every step is exact.
  track(bar, 0, 200, 610, 75, 0.0f);
  ASSERT_EQ(press(bar, 0), 1);
  track(bar, 0, 100, 610, 75, 0.0f);
  track(bar, 0, -184, 610, 75, 0.0f);
  EXPECT_EQ(bar.start, -2.0f);
  EXPECT_EQ(bar.length, 2.0f);
  EXPECT_EQ(press(bar, 0), 0);  // already moving
  release(bar);
  track(bar, 0, 0, 610, 75, 0.0f);
  EXPECT_EQ(bar.start, -2.0f);
}

TEST(ClipBarTest, HoverIsStrictlyInsideTheBox) {
  ClipBar bar;
  bar.start = 3.0f;
  bar.length = 1.5f;
  bar.rowY = 599;
  const struct {
    int32_t x, y;
    bool hovered;
  } cases[] = {{205, 611, true},  {204, 611, false}, {307, 611, true}, {308, 611, false},
               {250, 601, false}, {250, 602, true},  {250, 622, true}, {250, 623, false}};
  for (const auto& c : cases) {
    track(bar, 0, c.x, c.y, 40, 0.0f);
    EXPECT_EQ(bar.hovered, c.hovered) << c.x << "," << c.y;
  }
  track(bar, -1, 250, 611, 40, 0.0f);
  EXPECT_FALSE(bar.hovered);
  track(bar, 6, 250, 611, 40, 0.0f);
  EXPECT_FALSE(bar.hovered);
}

TEST(ClipBarTest, ResizeStopsAboveFivePixelsAndGrowsBack) {
  ClipBar bar;
  bar.start = 0.0f;
  bar.length = 1.46484375f;  // 100 pixels at zoom 40
  bar.rowY = 599;
  track(bar, 0, 98, 611, 40, 0.0f);
  ASSERT_EQ(press(bar, 2), 2);
  for (int32_t x = 96; x >= -50; x -= 2) track(bar, 0, x, 611, 40, 0.0f);
  // The last applied step left 6 pixels; the next would have left 4.
  EXPECT_NEAR(bar.length * kPps40, 6.0, 1e-3);
  EXPECT_EQ(bar.start, 0.0f);
  EXPECT_EQ(bar.resizeAnchorX, 4);
  // The edge waits until the mouse is back past it, then follows.
  track(bar, 0, 2, 611, 40, 0.0f);
  EXPECT_NEAR(bar.length * kPps40, 6.0, 1e-3);
  track(bar, 0, 54, 611, 40, 0.0f);
  EXPECT_NEAR(bar.length * kPps40, 56.0, 1e-3);

  // The left half moves the start and keeps the end.
  ClipBar left;
  left.start = 1.0f;
  left.length = 1.46484375f;
  left.rowY = 599;
  track(left, 0, 80, 611, 40, 0.0f);
  ASSERT_EQ(press(left, 2), 2);
  track(left, 0, 60, 611, 40, 0.0f);
  EXPECT_NEAR(left.start * kPps40, 48.2667, 1e-3);
  EXPECT_NEAR((left.start + left.length) * kPps40, 168.2667, 1e-3);
}

TEST(ClipBarTest, NoResizeDragEverShrinksABarToFivePixelsOrLess) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int32_t> jump(-400, 400);
  std::uniform_int_distribution<int32_t> zoomStep(-3, 3);
  for (int trial = 0; trial < 400; ++trial) {
    // In the second half the zoom changes under the drag: a bar may then look shorter than
    // 5 pixels, but its length never reaches zero.
    const bool zooming = trial >= 200;
    ClipBar bar;
    bar.start = 2.0f;
    bar.length = 0.2f + 0.05f * static_cast<float>(trial % 40);
    bar.rowY = 599;
    int32_t zoom = 40;
    int32_t x = static_cast<int32_t>((bar.start + bar.length * (trial % 2 == 0 ? 0.2 : 0.8)) * kPps40);
    track(bar, 0, x, 611, zoom, 0.0f);
    ASSERT_EQ(press(bar, 2), 2);
    if (trial % 3 == 0) press(bar, 0);  // moving at the same time
    for (int step = 0; step < 100; ++step) {
      x += jump(random);
      if (zooming) zoom = clampZoom(static_cast<int64_t>(zoom) + zoomStep(random));
      track(bar, 0, x, 611, zoom, 0.0f);
      ASSERT_GT(bar.length, 0.0f) << trial << "/" << step;
      if (!zooming) {
        ASSERT_GT(bar.length * kPps40, kMinResizePixels - 1e-3) << trial << "/" << step;
      }
    }
  }
}

TEST(ClipBarTest, FarAwayAndNonFinitePositionsStayDefined) {
  EXPECT_EQ(truncatePixel(12.9), 12);
  EXPECT_EQ(truncatePixel(-12.9), -12);
  EXPECT_EQ(truncatePixel(1e30), 16777216);
  EXPECT_EQ(truncatePixel(-1e30), -16777216);
  EXPECT_EQ(truncatePixel(std::nan("")), -16777216);
  EXPECT_STREQ(barLabel(5), "3dModel");
  EXPECT_STREQ(barLabel(7), "-----");
  EXPECT_STREQ(barLabel(-1), "-----");
}

// --- play marker -----------------------------------------------------------------------------------

TEST(PlayMarkerTest, DragsOnlyWhileAllowed) {
  PlayMarker marker;
  marker.update(0.0f, 3.0f, 75.0f, false);  // 128 pixels a second
  EXPECT_EQ(marker.markerX, 384);
  marker.drawX = marker.markerX;
  marker.track(390, 590, 75);
  EXPECT_TRUE(marker.hovered);
  marker.press(2);
  EXPECT_FALSE(marker.dragging);
  marker.press(0);
  ASSERT_TRUE(marker.dragging);

  marker.track(454, 700, 75);
  EXPECT_EQ(marker.update(0.0f, 3.0f, 75.0f, false), 3.0f);
  EXPECT_EQ(marker.update(0.0f, 3.0f, 75.0f, true), 3.5f);
  EXPECT_EQ(marker.markerX, 448);
  EXPECT_EQ(marker.update(0.0f, 3.5f, 75.0f, true), 3.5f);  // no motion since

  marker.release();
  marker.track(0, 0, 75);
  EXPECT_EQ(marker.update(0.0f, 3.5f, 75.0f, true), 3.5f);
  // Edges of the handle: x from drawX - 10 inclusive to drawX + 10 exclusive, y 580 to 599.
  marker.drawX = 100;
  marker.track(90, 580, 75);
  EXPECT_TRUE(marker.hovered);
  marker.track(110, 580, 75);
  EXPECT_FALSE(marker.hovered);
  marker.track(100, 600, 75);
  EXPECT_FALSE(marker.hovered);
}

// --- dialogs ---------------------------------------------------------------------------------------

TEST_F(EditorTest, ChooserIsRebuiltFromTheTypeTableAtEveryMove) {
  startEditor();
  key(kKeyN);
  run({700, 105});
  ASSERT_EQ(editor->chooserButtons.size(), 7u);
  EXPECT_STREQ(editor->chooserButtons[3].label, "Start rend to Tex");
  EXPECT_EQ(editor->chooserButtons[6].y, 220);
  EXPECT_TRUE(editor->chooserButtons[2].hovered);
  EXPECT_FALSE(editor->chooserButtons[1].hovered);
  run({700, 105, true});
  EXPECT_EQ(timeline.editMode, kEditNewOperator);
  EXPECT_EQ(timeline.selectedLayer, kCamera);
  // N goes back to the list; the chosen type stays until another row is pressed.
  run({700, 105});
  key(kKeyN);
  EXPECT_EQ(timeline.editMode, kEditChooseOperator);
  EXPECT_EQ(timeline.selectedLayer, kCamera);
}

TEST_F(EditorTest, OpeningTheDialogStartsNoDragOnAFieldTheMouseHasLeft) {
  startEditor();
  key(kKeyN);
  run({700, 45});
  run({700, 45, true});  // "Layer 2D"
  run({780, 45});        // over the Layer field's box
  ASSERT_EQ(timeline.editMode, kEditNewOperator);
  ASSERT_TRUE(editor->layerField.hovered);
  key(kKeyN);            // back to the list with the field still marked hovered
  run({700, 105});
  run({700, 105, true});  // "Camera", away from the field
  run({700, 95, true});   // a drag 10 pixels up would add 10 had the field started one
  EXPECT_EQ(timeline.editMode, kEditNewOperator);
  EXPECT_FALSE(editor->layerField.dragging);
  EXPECT_EQ(editor->newClipLayer, 0.0f);
}

}  // namespace
}  // namespace korvalin::test
