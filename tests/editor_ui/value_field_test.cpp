// Widget and Button rules, driven as the editor drives them: track every frame, press while a
// button is held, release when none is.
#include <gtest/gtest.h>

#include <cfloat>
#include <cstring>
#include <limits>

#include "editor/ui_draw.h"
#include "editor/value_field.h"

namespace korvalin {
namespace {

template <typename Field>
void hoverBox(Field& field) {
  field.track(field.boxLeft() + 1, field.y + 1);
}

TEST(ValueFieldTest, StepsLeavingTheRangeAreDiscardedWhole) {
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

  // Float maximum is exclusive: a stored 10 stays, but 9 cannot step back to it.
  float scale = 10;
  FloatField floatField;
  floatField.bind(&scale, 0, 10, 660, 115, 4, "Scale ");
  hoverBox(floatField);
  EXPECT_EQ(scale, 10);
  floatField.wheel(-1);
  floatField.wheel(1);
  EXPECT_EQ(scale, 9);
}

TEST(ValueFieldTest, CoarseDragIsRelativeDiscardsOutOfRangeStepsAndLastsUntilRelease) {
  float value = 8;
  IntField field;
  field.bind(&value, 0, 9, 660, 40, 3, "Size X");
  const int32_t mx = field.boxLeft() + 4;
  field.track(600, 48);
  field.press();  // not hovered: no drag
  EXPECT_FALSE(field.dragging);
  field.track(mx, 48);
  field.press();
  field.track(mx, 43);  // 5 up: 13 is out of range, no clamp to 9
  EXPECT_EQ(value, 8);
  field.track(mx, 42);
  EXPECT_EQ(value, 9);
  field.press();  // held button: the anchor must not move
  field.track(mx + 300, 50);  // far outside the box, 8 down
  EXPECT_FALSE(field.hovered);
  EXPECT_EQ(value, 1);
  field.release();
  field.track(mx, 49);
  EXPECT_EQ(value, 1);
}

TEST(ValueFieldTest, BindRaisesLowAndNaNValuesPerKindAndLeavesHighOnesAlone) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const struct {
    bool isFloat;
    float stored, expected;
  } cases[] = {{false, -1500, -1000}, {true, -1500, 0}, {false, nan, -1000}, {true, nan, 0},
               {true, -inf, 0},       {true, inf, inf}, {false, 1002, 1002}, {true, 1000, 1000}};
  for (const auto& c : cases) {
    float value = c.stored;
    if (c.isFloat) {
      FloatField().bind(&value, -1000, 1000, 660, 40, 6, "Position X ");
    } else {
      IntField().bind(&value, -1000, 1000, 660, 40, 6, "Position X ");
    }
    EXPECT_EQ(value, c.expected) << c.isFloat << " " << c.stored;
  }

  // Above the maximum: a step down is taken only when it lands back in range.
  float value = 1002;
  IntField field;
  field.bind(&value, -1000, 1000, 660, 40, 6, "Position X ");
  hoverBox(field);
  field.wheel(-1);
  EXPECT_EQ(value, 1002);
  value = 1001;
  field.wheel(-1);
  EXPECT_EQ(value, 1000);
}

// The creation dialog binds its fields every frame while they may be mid-drag.
TEST(ValueFieldTest, RebindKeepsHoverAndDragState) {
  float value = 1;
  FloatField field;
  field.bind(&value, -1, 500, 650, 70, 5, "Start time : ");
  hoverBox(field);
  field.press(0);
  field.bind(&value, -1, 500, 650, 70, 5, "Start time : ");
  EXPECT_TRUE(field.hovered);
  EXPECT_TRUE(field.dragging);
  EXPECT_EQ(field.dragAnchorY, 71);
  EXPECT_EQ(field.boxRight() - field.boxLeft(), 72);
}

TEST(ValueFieldTest, HoverTestIsStrictOnAllFourSides) {
  float value = 0;
  IntField field;
  field.bind(&value, 0, 9, 660, 40, 3, "Size X");  // box x 714..738, y 40..57
  const auto hoveredAt = [&](int32_t x, int32_t y) { return field.track(x, y), field.hovered; };
  EXPECT_TRUE(hoveredAt(715, 41) && hoveredAt(737, 56));
  EXPECT_FALSE(hoveredAt(714, 41) || hoveredAt(738, 41) || hoveredAt(715, 40) || hoveredAt(715, 57));
}

TEST(ValueTextTest, FormatsTruncatedIntegersAndAnyFloatWithinTheBuffer) {
  char text[64];
  const struct {
    float value;
    const char* asInt;
  } ints[] = {{2.7f, "2"}, {-2.7f, "-2"}, {3e9f, "3000000000"}, {-std::numeric_limits<float>::infinity(), "-inf"}};
  for (const auto& c : ints) {
    formatIntFieldValue(c.value, text, sizeof text);
    EXPECT_STREQ(text, c.asInt);
  }
  formatFloatFieldValue(10, text, sizeof text);
  EXPECT_STREQ(text, "10.000");

  // Cut at the box width, marked so a cut number is not read as a smaller one.
  formatFloatFieldValue(-FLT_MAX, text, sizeof text);
  cutToBox(text, 10);
  EXPECT_STREQ(text, "-34028234>");
  formatIntFieldValue(1500, text, sizeof text);
  cutToBox(text, 4);
  EXPECT_STREQ(text, "1500");
}

TEST(ButtonTest, StrictHoverBoundsAndClickCodes) {
  Button button("Play", 20, 490, 60, 20, 7);
  EXPECT_EQ(button.track(21, 491), 7);
  EXPECT_EQ(button.track(80, 491), 0);
  EXPECT_EQ(button.track(21, 510), 0);
  EXPECT_EQ(button.track(20, 491), 0);
  EXPECT_EQ(button.track(79, 509), 7);
  EXPECT_TRUE(button.clicked(0));
  EXPECT_FALSE(button.clicked(2));
  EXPECT_FALSE(button.clicked(-1));
  EXPECT_FALSE(button.hovered);
  EXPECT_FALSE(button.clicked(0));

  // place keeps hover and colour; a button near the int32 limit does not wrap into a hit.
  button.track(30, 500);
  button.setColour(1, 2, 3);
  button.place("Pause", std::numeric_limits<int32_t>::max() - 5, 0, 100, 100, 4);
  EXPECT_TRUE(button.hovered);
  EXPECT_EQ(button.colour[2], 3);
  EXPECT_EQ(button.track(0, 50), 0);
  EXPECT_EQ(Button().colour[1], 165);
}

}  // namespace
}  // namespace korvalin
