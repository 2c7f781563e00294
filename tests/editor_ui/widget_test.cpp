// Widget, Button and panel rules without GL, driven as the editor drives them: track every frame,
// press while a button is held, release when none is.
#include <gtest/gtest.h>

#include <cfloat>
#include <limits>
#include <memory>

#include "assets/texture_table.h"
#include "editor/parameter_panel.h"
#include "editor/ui_draw.h"
#include "editor/value_field.h"

namespace korvalin {
namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

template <typename Field>
void hoverBox(Field& field) { field.track(field.boxLeft() + 1, field.y + 1); }

template <typename Panel>
std::unique_ptr<Panel> makeAs(int32_t type, ParameterBlock& block, const TextureTable* textures = nullptr) {
  return std::unique_ptr<Panel>(dynamic_cast<Panel*>(makeParameterPanel(type, block, textures).release()));
}

TEST(ValueFieldTest, WheelStepsLeavingTheRangeAreDiscardedWhole) {
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
  value = 16;  // above the maximum a step down is taken only when it lands back in range
  field.wheel(-1);
  EXPECT_EQ(value, 16);
  value = 15;
  field.wheel(-1);
  EXPECT_EQ(value, 14);

  // The float maximum is exclusive: a stored 10 stays, but 9 cannot step back to it.
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
  field.bind(&value, 0, 9, 660, 40, 3, "Size X");  // box x 714..738, y 40..57
  const int32_t mx = field.boxLeft() + 4;
  field.track(714, 48);  // hover is strict: the box edge is outside
  field.press();
  EXPECT_FALSE(field.dragging);
  field.track(mx, 48);
  field.press();
  field.track(mx, 43);  // 5 up: 13 is out of range, no clamp to 9
  EXPECT_EQ(value, 8);
  field.track(mx, 42);
  EXPECT_EQ(value, 9);
  field.press();              // a held button must not move the anchor
  field.track(mx + 300, 50);  // far outside the box, 8 down
  EXPECT_EQ(value, 1);
  field.release();
  field.track(mx, 49);
  EXPECT_EQ(value, 1);
}

TEST(ValueFieldTest, BindRaisesLowAndNaNValuesPerKindAndKeepsWidgetState) {
  const struct { bool isFloat; float stored, expected; } cases[] = {
      {false, -1500, -1000}, {true, -1500, 0}, {false, kNaN, -1000}, {true, kNaN, 0},
      {true, -kInf, 0},      {true, kInf, kInf}, {false, 1002, 1002}, {true, 1000, 1000}};
  for (const auto& c : cases) {
    float value = c.stored;
    if (c.isFloat) FloatField().bind(&value, -1000, 1000, 660, 40, 6, "Position X ");
    if (!c.isFloat) IntField().bind(&value, -1000, 1000, 660, 40, 6, "Position X ");
    EXPECT_EQ(value, c.expected) << c.isFloat << " " << c.stored;
  }

  // The creation dialog binds its fields every frame while they may be mid-drag.
  float value = 1;
  FloatField field;
  field.bind(&value, -1, 500, 650, 70, 5, "Start time : ");
  hoverBox(field);
  field.press(0);
  field.bind(&value, -1, 500, 650, 70, 5, "Start time : ");
  EXPECT_TRUE(field.hovered && field.dragging);
  EXPECT_EQ(field.dragAnchorY, 71);
}

TEST(ValueTextTest, FormatsTruncatedIntegersAndAnyFloatWithinTheBuffer) {
  char text[64];
  const struct { float value; const char* asInt; } ints[] = {{2.7f, "2"}, {-2.7f, "-2"}, {3e9f, "3000000000"}, {-kInf, "-inf"}};
  for (const auto& c : ints) {
    formatIntFieldValue(c.value, text, sizeof text);
    EXPECT_STREQ(text, c.asInt);
  }
  char small[6];
  formatFloatFieldValue(-FLT_MAX, small, sizeof small);
  EXPECT_STREQ(small, "-3402");
  // Cut at the box width, marked so that a cut number is not read as a smaller one.
  formatFloatFieldValue(-FLT_MAX, text, sizeof text);
  cutToBox(text, 10);
  EXPECT_STREQ(text, "-34028234>");
  formatIntFieldValue(1500, text, sizeof text);
  cutToBox(text, 4);
  EXPECT_STREQ(text, "1500");
}

TEST(ButtonTest, StrictHoverBoundsAndClickCodes) {
  Button button("Play", 20, 490, 60, 20, 7);
  EXPECT_EQ(button.track(79, 509), 7);
  for (auto [x, y] : {std::pair{80, 491}, {21, 510}, {20, 491}, {21, 490}}) EXPECT_EQ(button.track(x, y), 0);
  EXPECT_EQ(button.track(21, 491), 7);
  EXPECT_TRUE(button.clicked(0));
  EXPECT_FALSE(button.clicked(2) || button.clicked(-1));
  // place keeps hover and colour; a button near the int32 limit does not wrap into a hit.
  button.track(30, 500);
  button.setColour(1, 2, 3);
  button.place("Pause", std::numeric_limits<int32_t>::max() - 5, 0, 100, 100, 4);
  EXPECT_TRUE(button.hovered && button.colour[2] == 3);
  EXPECT_EQ(button.track(0, 50), 0);
}

TEST(ParameterPanelTest, EveryTypeBindsItsBlockAndRepairsLowValuesOnly) {
  for (int32_t type = 0; type < kOperatorTypeCount; ++type) {
    ParameterBlock block;
    auto panel = makeAs<FieldListPanel>(type, block);
    // The rows must match the block the project file stores for this type.
    ASSERT_EQ(panel->fieldCount(), paramCountOf(type)) << type;
    for (int32_t k = 0; k < panel->fieldCount(); ++k) EXPECT_EQ(panel->field(k).target, &block.values[k]);
  }
  ParameterBlock block;
  EXPECT_TRUE(makeParameterPanel(-1, block, nullptr) == nullptr && makeParameterPanel(kOperatorTypeCount, block, nullptr) == nullptr);

  block[0] = -3;
  makeParameterPanel(kLayer2D, block, nullptr);
  EXPECT_EQ(block[0], 0);
  block[0] = 1500;  // kept, and no wheel step brings it back into 0-999
  auto layer = makeAs<Layer2DPanel>(kLayer2D, block);
  hoverBox(layer->imageId);
  layer->wheel(1);
  layer->wheel(-1);
  EXPECT_EQ(block[0], 1500);

  ParameterBlock camera;
  camera[0] = kNaN;
  makeParameterPanel(kCamera, camera, nullptr);
  EXPECT_EQ(camera[12], 105);  // Fov 0 becomes the middle of 10-200
  EXPECT_EQ(camera[0], 0);
  EXPECT_EQ(camera[6], 0);  // Position sin x: 0 is in range
}

TEST(ParameterPanelTest, ButtonCodesStartTheRightDrags) {
  ParameterBlock block;
  block[0] = 5;     // Image ID, IntField
  block[4] = 1.0f;  // Position X, FloatField
  auto panel = makeAs<FlatPanel>(kFlat, block);
  hoverBox(panel->imageId);
  hoverBox(panel->positionX);
  panel->mouseButton(1);  // middle: nothing anywhere
  for (int32_t k = 0; k < panel->fieldCount(); ++k) EXPECT_FALSE(panel->field(k).dragging || panel->field(k).fineDragging);
  panel->mouseButton(2);  // right: fine drag on a FloatField, nothing on an IntField
  EXPECT_FALSE(panel->imageId.dragging);
  panel->positionX.track(panel->positionX.mouseX - 200, panel->positionX.mouseY - 250);
  EXPECT_NEAR(block[4], 1.25f, 1e-5f);
  panel->mouseButton(-1);
  EXPECT_FALSE(panel->positionX.fineDragging);

  hoverBox(panel->positionX);
  panel->mouseButton(0);  // left: coarse drags on both kinds
  EXPECT_TRUE(panel->imageId.dragging && panel->positionX.dragging);
  panel->mouseButton(-1);
  EXPECT_FALSE(panel->imageId.dragging || panel->positionX.dragging);
}

TEST(ParameterPanelTest, ASecondPanelOfTheSameTypeEditsOnlyTheSecondClipsHoveredValue) {
  ParameterBlock first, second;
  first[0] = 10;
  second[0] = 20;
  auto panel = makeAs<CameraPanel>(kCamera, first);
  panel = makeAs<CameraPanel>(kCamera, second);
  hoverBox(panel->targetX);
  panel->wheel(1);
  EXPECT_TRUE(second[0] == 21 && second[1] == 0 && first[0] == 10);
}

TEST(ParameterPanelTest, PreviewNeverLooksOutsideTheTextureTable) {
  TextureTable table;
  ParameterBlock block;
  auto panel = makeAs<Layer2DPanel>(kLayer2D, block, &table);
  const struct { float id; int32_t slot; } cases[] = {{5.9f, 5}, {99, 99}, {100, -1}, {1500, -1}, {kInf, -1}, {kNaN, -1}};
  for (const auto& c : cases) {
    block[0] = c.id;
    EXPECT_EQ(panel->previewSlot(), c.slot) << c.id;
  }
  block[0] = 5;
  EXPECT_EQ(makeAs<Layer2DPanel>(kLayer2D, block, nullptr)->previewSlot(), -1);
}

}  // namespace
}  // namespace korvalin
