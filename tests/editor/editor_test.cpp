// The Editor driven one pass at a time in the shell's order, each pass drawn on the canvas as the
// shell draws it: clicks, drags, wheel, keys and dialogs, and the timeline view's pixels.
#include "editor_fixture.h"

namespace korvalin::test {
namespace {

TEST_F(EditorTest, TimelineMarkerTransportArrowsAndTheNewOperatorDialog) {
  Timeline project;
  const int32_t types[] = {kBox, kCamera, kEndRenderToTex, kFlat, kFlat, kFlat};
  for (int32_t layer = 0; layer < 6; ++layer) project.addClip(layer, 3.0f, 1.5f, types[layer]);
  testing::internal::CaptureStderr();
  start(project);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "a good file loads without a word";
  timeline.tracks[3].bars[0].colourClass = 2;
  timeline.tracks[4].bars[0].colourClass = 9;
  cursor = 2.0f;
  pass(250, 730);
  pass(250, 730);  // the marker stands where the last pass placed it: x 136
  grab();
  const Rgb bars[] = {kBlue, {128, 255, 128}, {255, 128, 128}, {255, 255, 128}, {171, 165, 157}, {255, 240, 240}};
  for (int r = 0; r < 6; ++r) {
    const Rgb row = r % 2 == 0 ? kEvenRow : kOddRow, bar = over(bars[r], 84.0 / 255.0, row);
    const int y = 601 + 24 * r;
    // The box from x 204 to 307 with 2-pixel edges, below the row's top line.
    expectPixels({{210, y + 19, bar}, {300, y, bar}, {204, y + 19, over(kBlack, 0.33, bar)},
                  {203, y + 19, over(kBlack, 0.33, row)}, {306, y + 19, over(kBlack, 0.33, bar)},
                  {307, y + 19, over(kBlack, 0.33, row)}}, 1);
    expectPixels({{308, y + 19, row}, {250, y - 1, row}, {250, y - 2, kCanvas}});
  }
  EXPECT_EQ(centred(12, 256, 611, "Box") + centred(12, 256, 635, "Camera") + centred(12, 256, 659, "End rend to Tex"),
            "BoxCameraEnd rend to Tex");
  // Grid lines every 80 pixels, 2 wide; the marker's handle, face and line.
  const Rgb marker{191, 191, 64}, red{255, 102, 102};
  expectPixels({{79, 710, kGrid}, {80, 710, kGrid}, {78, 710, kEvenRow}, {81, 710, kEvenRow}, {160, 700, kGrid},
                {126, 590, kBlack}, {128, 583, marker}, {136, 581, kBlack}, {136, 582, marker}, {143, 597, marker},
                {136, 598, kBlack}, {145, 590, kBlack}, {146, 590, kCanvas}, {135, 700, red}, {136, 700, red},
                {134, 700, kEvenRow}, {137, 700, kEvenRow}});

  // The transport buttons (a press beside one misses), each followed by a drag of the marker
  // 64 pixels to the right: 0.9375 seconds later, but only after Pause or Stop, and only when
  // pressed on the handle.
  const struct { int x; int32_t hit, last; } buttons[] = {{79, 1, 0}, {140, 2, 1}, {205, 3, 2}, {82, 0, 2}, {145, 0, 2}};
  for (const auto& b : buttons) {
    pass(b.x, 500, L);
    EXPECT_TRUE(editor->transportHit(0) == b.hit && editor->lastTransport == b.last) << b.x;
    pass(b.x, 500);
    for (int i = 0; i < 3; ++i) pass(136, 590);
    pass(136, 590, L);
    EXPECT_EQ(pass(200, 590, L), b.last == 0 ? 2.0f : 2.9375f) << b.x;
    pass(200, 590);
  }
  pass(300, 590, L);
  EXPECT_EQ(pass(364, 590, L), 2.0f);
  // Both arrows scroll by the time of 5 pixels, and move the grid.
  for (int i = 0; i < 5; ++i) key(kKeyLeft);
  key(kKeyRight);
  EXPECT_TRUE(std::abs(editor->viewStart + 0.29296875f) < 1e-6f && timeline.tracks[15].gridOffset == 20);

  // The new operator dialog, with the view 20 pixels to the right.
  cursor = 12.5f;
  key('n');
  pass(700, 105);  // over "Camera"
  grab();
  EXPECT_EQ(text(18, 650, 10, 19), "Choose new operator");
  const char* names[] = {"Layer 2D", "Box", "Camera", "Start rend to Tex", "End rend to Tex", "Model 3D", "Flat"};
  const Rgb faces[] = {kBlue, kBlue, {185, 185, 128}, {255, 128, 128}, {255, 128, 128}, kBlue, kBlue};
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(centred(14, 730, 50 + 30 * i, names[i]), names[i]);
    expectPixels({{651, 41 + 30 * i, faces[i]}, {651, 60 + 30 * i, kCanvas}});
  }
  pass(700, 105, L);
  pass(780, 45);
  EXPECT_TRUE(timeline.editMode == kEditNewOperator && timeline.selectedLayer == kCamera);
  grab();
  EXPECT_EQ(text(18, 650, 10, 21) + text(14, 644, 51, 13) + text(14, 761, 81, 6, true) + text(14, 761, 111, 5, true),
            "New operator - CameraLayer      : 12.5001.000");
  EXPECT_EQ(centred(14, 700, 155, "Proceed") + centred(14, 840, 155, "Cancel"), "ProceedCancel");
  // Buttons with their shadows 3.84 pixels right and down, fields with white boxes when hovered.
  const Rgb face{171, 165, 157}, shadow{141, 135, 127};
  expectPixels({{650, 140, face}, {749, 169, face}, {650, 139, kCanvas}, {753, 144, shadow}, {752, 143, kCanvas},
                {754, 150, kCanvas}, {654, 173, shadow}, {652, 172, kCanvas}, {790, 140, face}, {889, 169, face},
                {790, 48, {255, 255, 255}}, {793, 48, kCanvas}, {838, 78, {220, 220, 220}}, {842, 78, kCanvas}});

  // The Layer field takes 0 to 15 only, by wheel and by drag.
  for (int i = 0; i < 17; ++i) pass(780, 45, 0, +1);
  EXPECT_EQ(editor->newClipLayer, 15.0f);
  for (int i = 0; i < 15; ++i) pass(780, 45, 0, -1);
  for (int y : {45, 44, 56}) pass(780, y, L);  // 1 up, then -11 refused
  EXPECT_EQ(editor->newClipLayer, 1.0f);
  pass(780, 105);
  pass(780, 105, L);
  editor->mouseMove(780, -394);  // 500: refused
  EXPECT_EQ(editor->newClipLength, 1.0f);

  // Cancel closes without a clip; the Layer value stays for next time; Proceed appends.
  drag({840}, 155);
  EXPECT_TRUE(timeline.editMode == kEditNothing && timeline.clipCount(1) == 1);
  key('N');
  pass(700, 105, L);
  pass(700, 160);
  pass(700, 155, L);  // moved 5 up: a field still dragging would change with it
  pass(700, 155);
  EXPECT_TRUE(timeline.editMode == kEditNothing && timeline.clipCount(1) == 2 && timeline.layerClipTypes[1][1] == kCamera);
  EXPECT_TRUE(timeline.layerClipTimes[1][1].start == 12.5f && timeline.layerClipTimes[1][1].length == 1.0f);

  // A press on a bar while the dialog is open selects that clip and closes the dialog.
  key('N');
  pass(700, 45, L);
  pass(250, 611);
  pass(250, 611, L);
  EXPECT_TRUE(timeline.editMode == kEditClip && timeline.selectedLayer == 0 && timeline.clipCount(0) == 1);

  // A bar wholly off the canvas is culled: not drawn at all, it leaves the GL state as it was.
  editor->setViewStart(100.0f);
  pass(0, 0);
  glEnable(GL_BLEND);
  drawBars(timeline.tracks[0], true);
  EXPECT_TRUE(glIsEnabled(GL_BLEND));
}

}  // namespace
}  // namespace korvalin::test
