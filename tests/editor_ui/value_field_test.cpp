// Rules of the numeric widgets and the Button, driven as the editor drives them: one track per
// frame, press while a button is held, release when none is.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "editor/ui_draw.h"
#include "editor/value_field.h"

namespace korvalin {
namespace {

// A point inside the value box (the hover test is strict on all four sides).
template <typename Field>
void hoverBox(Field& field) {
  field.track(field.boxLeft() + 1, field.y + 1);
}

TEST(IntFieldTest, WheelStepsStopAtBothEndsOfTheRange) {
  float value = 14;
  IntField field;
  field.bind(&value, 0, 14, 660, 65, 3, "Blendmode Src");
  hoverBox(field);
  field.wheel(1);
  EXPECT_EQ(value, 14);
  field.wheel(-1);
  EXPECT_EQ(value, 13);

  value = 0;
  field.wheel(-1);
  EXPECT_EQ(value, 0);
  field.wheel(1);
  EXPECT_EQ(value, 1);
}

TEST(IntFieldTest, WheelNeedsHover) {
  float value = 5;
  IntField field;
  field.bind(&value, 0, 14, 660, 65, 3, "Blendmode Src");
  field.track(field.boxLeft() - 50, field.y + 1);
  field.wheel(1);
  EXPECT_EQ(value, 5);
}

TEST(IntFieldTest, DragStepLeavingTheRangeIsDiscardedWhole) {
  float value = 8;
  IntField field;
  field.bind(&value, 0, 9, 660, 40, 3, "Size X");
  const int32_t mx = field.boxLeft() + 4;
  field.track(mx, 48);
  field.press();
  ASSERT_TRUE(field.dragging);
  field.track(mx, 43);  // 5 up: 13 is out of range, no clamp to 9
  EXPECT_EQ(value, 8);
  field.track(mx, 42);  // 1 up from the new anchor
  EXPECT_EQ(value, 9);
  field.track(mx, 46);  // 4 down
  EXPECT_EQ(value, 5);
}

TEST(IntFieldTest, DragGoesOnOutsideTheBoxUntilRelease) {
  float value = 0;
  IntField field;
  field.bind(&value, -360, 360, 660, 40, 5, "Rotate X");
  const int32_t mx = field.boxLeft() + 4;
  field.track(mx, 45);
  field.press();
  field.track(mx + 300, 25);  // far outside, 20 up
  EXPECT_FALSE(field.hovered);
  EXPECT_EQ(value, 20);
  field.press();  // held button pressed again: anchor must not move
  field.track(mx + 300, 15);
  EXPECT_EQ(value, 30);
  field.release();
  field.track(mx, 5);
  EXPECT_EQ(value, 30);
}

TEST(IntFieldTest, PressOutsideTheBoxStartsNothingButMovingOntoItWhileHeldDoes) {
  float value = 3;
  IntField field;
  field.bind(&value, 0, 9, 660, 40, 3, "Size X");
  field.track(600, 48);
  field.press();
  EXPECT_FALSE(field.dragging);
  hoverBox(field);
  field.press();
  EXPECT_TRUE(field.dragging);
  EXPECT_EQ(field.dragAnchorY, field.y + 1);
}

TEST(FloatFieldTest, UpperBoundIsExclusiveButAStoredMaximumStays) {
  float value = 9.5f;
  FloatField field;
  field.bind(&value, 0, 10, 660, 115, 4, "Scale ");
  hoverBox(field);
  field.wheel(1);
  EXPECT_EQ(value, 9.5f);

  value = 10;
  field.bind(&value, 0, 10, 660, 115, 4, "Scale ");
  EXPECT_EQ(value, 10);
  char text[32];
  formatFloatFieldValue(value, text, sizeof text);
  EXPECT_STREQ(text, "10.000");
  field.wheel(-1);
  EXPECT_EQ(value, 9);
  field.wheel(1);
  EXPECT_EQ(value, 9);  // back to 10 is refused
}

TEST(ValueFieldTest, BindRaisesLowValuesDifferentlyPerKindAndLeavesHighOnesAlone) {
  float intValue = -1500;
  float floatValue = -1500;
  IntField intField;
  FloatField floatField;
  intField.bind(&intValue, -1000, 1000, 660, 40, 6, "Position X ");
  floatField.bind(&floatValue, -1000, 1000, 660, 40, 6, "Position X ");
  EXPECT_EQ(intValue, -1000);
  EXPECT_EQ(floatValue, 0);

  // NaN and -inf are repaired the same way; +inf is above the range and stays.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  intValue = nan;
  floatValue = -inf;
  intField.bind(&intValue, 0, 14, 660, 40, 4, "Blendmode src ");
  floatField.bind(&floatValue, 10, 200, 660, 340, 5, "Fov ");
  EXPECT_EQ(intValue, 0);
  EXPECT_EQ(floatValue, 105);
  floatValue = nan;
  floatField.bind(&floatValue, 10, 200, 660, 340, 5, "Fov ");
  EXPECT_EQ(floatValue, 105);
  floatValue = inf;
  floatField.bind(&floatValue, 10, 200, 660, 340, 5, "Fov ");
  EXPECT_EQ(floatValue, inf);

  // Above the maximum: kept; a step up is refused, a step down only once back in range.
  intValue = 1002;
  intField.bind(&intValue, -1000, 1000, 660, 40, 6, "Position X ");
  EXPECT_EQ(intValue, 1002);
  hoverBox(intField);
  intField.wheel(1);
  intField.wheel(-1);
  EXPECT_EQ(intValue, 1002);
  intValue = 1001;
  intField.wheel(-1);
  EXPECT_EQ(intValue, 1000);
}

TEST(ValueFieldTest, RebindKeepsHoverAndDragState) {
  float value = 1;
  FloatField field;
  field.bind(&value, -1, 500, 650, 70, 5, "Start time : ");
  hoverBox(field);
  field.press(0);
  const int32_t anchor = field.dragAnchorY;
  field.bind(&value, -1, 500, 650, 70, 5, "Start time : ");
  EXPECT_TRUE(field.hovered);
  EXPECT_TRUE(field.dragging);
  EXPECT_EQ(field.dragAnchorY, anchor);
  EXPECT_EQ(field.width, 9);
  EXPECT_EQ(field.labelLength, 13);
}

TEST(FloatFieldTest, FineDragAddsOneThousandthPerPixel) {
  float value = 1;
  FloatField field;
  field.bind(&value, -1000, 1000, 660, 40, 6, "Target x ");
  const int32_t mx = field.boxLeft() + 4;
  field.track(mx, 300);
  field.track(mx, 50);  // not pressed yet: nothing
  EXPECT_EQ(value, 1);
  field.press(2);
  EXPECT_TRUE(field.fineDragging);
  EXPECT_FALSE(field.dragging);
  field.track(mx - 200, -200);  // 250 pixels up
  EXPECT_NEAR(value, 1.25f, 1e-5f);
  field.track(mx, -190);
  EXPECT_NEAR(value, 1.24f, 1e-5f);
  field.release();
  EXPECT_FALSE(field.fineDragging);
}

TEST(FloatFieldTest, CoarseAndFineDragTogetherMoveOnlyByTheCoarseStep) {
  float value = 0;
  FloatField field;
  field.bind(&value, -1000, 1000, 660, 40, 6, "Target x ");
  hoverBox(field);
  field.press(0);
  field.press(2);  // coarse already running: the fine drag starts as well
  EXPECT_TRUE(field.dragging);
  EXPECT_TRUE(field.fineDragging);
  field.track(field.boxLeft() + 1, field.y - 9);
  EXPECT_EQ(value, 10);
}

TEST(FloatFieldTest, OtherButtonsStartNoDrag) {
  float value = 0;
  FloatField field;
  field.bind(&value, -1000, 1000, 660, 40, 6, "Target x ");
  hoverBox(field);
  field.press(1);
  field.press(-1);
  EXPECT_FALSE(field.dragging);
  EXPECT_FALSE(field.fineDragging);
}

TEST(ValueFieldTest, HoverTestIsStrictOnAllFourSides) {
  float value = 0;
  IntField field;
  field.bind(&value, 0, 9, 660, 40, 3, "Size X");  // box x 714..738, y 40..57
  ASSERT_EQ(field.boxLeft(), 714);
  ASSERT_EQ(field.boxRight(), 738);
  const struct {
    int32_t x, y;
    bool inside;
  } probes[] = {{715, 41, true}, {737, 56, true}, {714, 41, false}, {738, 41, false},
                {715, 40, false}, {715, 57, false}};
  for (const auto& p : probes) {
    field.track(p.x, p.y);
    EXPECT_EQ(field.hovered, p.inside) << p.x << "," << p.y;
    EXPECT_EQ(field.mouseX, p.x);
  }
}

TEST(ValueTextTest, IntegersTruncateTowardZero) {
  char text[32];
  formatIntFieldValue(2.7f, text, sizeof text);
  EXPECT_STREQ(text, "2");
  formatIntFieldValue(-2.7f, text, sizeof text);
  EXPECT_STREQ(text, "-2");
  formatIntFieldValue(-0.5f, text, sizeof text);
  EXPECT_STREQ(text, "0");
}

TEST(ValueTextTest, AnyFloatFitsTheBufferAndIsCutAtTheBox) {
  const float odd[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                       -std::numeric_limits<float>::infinity(), FLT_MAX, -FLT_MAX, 3e9f, -3e9f};
  for (float v : odd) {
    char text[64];
    std::memset(text, 'x', sizeof text);
    formatIntFieldValue(v, text, sizeof text);
    EXPECT_LT(std::strlen(text), sizeof text);
    formatFloatFieldValue(v, text, sizeof text);
    EXPECT_LT(std::strlen(text), sizeof text);
    // A tiny buffer is cut, still terminated, and the byte after it untouched.
    char tiny[5];
    tiny[4] = '#';
    formatFloatFieldValue(v, tiny, 4);
    EXPECT_LE(std::strlen(tiny), 3u);
    EXPECT_EQ(tiny[4], '#');
  }
  char text[64];
  formatIntFieldValue(3e9f, text, sizeof text);
  EXPECT_STREQ(text, "3000000000");
  formatFloatFieldValue(-FLT_MAX, text, sizeof text);
  cutToBox(text, 10);
  EXPECT_STREQ(text, "-34028234>");

  // Text that fits, an out-of-range Image ID of 1500 among them, is shown whole.
  formatIntFieldValue(1500, text, sizeof text);
  cutToBox(text, 4);
  EXPECT_STREQ(text, "1500");
  cutToBox(text, 0);
  EXPECT_STREQ(text, "");
}

TEST(ButtonTest, HoverBoundsAreStrict) {
  Button button("Play", 20, 490, 60, 20, 7);
  EXPECT_EQ(button.track(21, 491), 7);
  EXPECT_TRUE(button.hovered);
  EXPECT_EQ(button.track(79, 509), 7);
  EXPECT_EQ(button.track(80, 491), 0);
  EXPECT_FALSE(button.hovered);
  EXPECT_EQ(button.track(21, 510), 0);
  EXPECT_EQ(button.track(20, 491), 0);
  EXPECT_EQ(button.track(21, 490), 0);
}

TEST(ButtonTest, ClickedNeedsHoverAndTheLeftButtonAndMinusOneClearsHover) {
  Button button("Play", 20, 490, 60, 20, 1);
  button.track(30, 500);
  EXPECT_TRUE(button.clicked(0));
  EXPECT_FALSE(button.clicked(2));
  EXPECT_FALSE(button.clicked(1));
  EXPECT_TRUE(button.hovered);
  EXPECT_FALSE(button.clicked(-1));
  EXPECT_FALSE(button.hovered);
  EXPECT_FALSE(button.clicked(0));
}

TEST(ButtonTest, PlaceKeepsHoverAndColour) {
  Button button;
  EXPECT_FALSE(button.hovered);
  EXPECT_EQ(button.colour[0], 171);
  EXPECT_EQ(button.colour[1], 165);
  EXPECT_EQ(button.colour[2], 157);
  button.place("Stop", 0, 0, 100, 100, 3);
  button.setColour(1, 2, 3);
  button.track(50, 50);
  button.place("Pause", 200, 0, 10, 10, 4);
  EXPECT_TRUE(button.hovered);
  EXPECT_EQ(button.colour[2], 3);
  EXPECT_STREQ(button.label, "Pause");
  EXPECT_EQ(button.id, 4);
}

TEST(ButtonTest, ButtonNearTheInt32LimitDoesNotWrapIntoAHit) {
  Button button("x", std::numeric_limits<int32_t>::max() - 5, 0, 100, 100, 9);
  EXPECT_EQ(button.track(0, 50), 0);
}

TEST(CanvasUnitsTest, ConvertsPixelsToUnits) {
  EXPECT_FLOAT_EQ(toUnits(384), 1.0f);
  EXPECT_NEAR(toUnits(1024), 2.6667f, 1e-4f);
  EXPECT_FLOAT_EQ(-toUnits(768), -2.0f);
  EXPECT_EQ(textAdvance(14), 9);
  EXPECT_EQ(textAdvance(13), 0);
}

}  // namespace
}  // namespace korvalin
