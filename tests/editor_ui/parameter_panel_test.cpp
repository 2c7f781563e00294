// Panels bound to clip parameter blocks: construction repairs, button codes, wheel, and which
// block a panel edits. Widgets are tracked directly; drawing is covered by the GL tests.
#include <gtest/gtest.h>

#include <limits>
#include <memory>

#include "assets/texture_table.h"
#include "editor/parameter_panel.h"
#include "timeline/timeline.h"

namespace korvalin {
namespace {

template <typename Field>
void hoverBox(Field& field) {
  field.track(field.boxLeft() + 1, field.y + 1);
}

template <typename Panel>
std::unique_ptr<Panel> makeAs(int32_t type, ParameterBlock& block, const TextureTable* textures = nullptr) {
  return std::unique_ptr<Panel>(dynamic_cast<Panel*>(makeParameterPanel(type, block, textures).release()));
}

TEST(ParameterPanelTest, EveryTypeGetsItsPanelBoundValueByValueInRows) {
  const char* titles[kOperatorTypeCount] = {"2D Layer", "Box", "Camera", "Start rend To Tex", "End rend To Tex",
                                            "3D Model", "Flat"};
  const int32_t kinds[kOperatorTypeCount] = {1, 1, 2, 3, 4, 5, 6};
  for (int32_t type = 0; type < kOperatorTypeCount; ++type) {
    ParameterBlock block;
    auto panel = makeAs<FieldListPanel>(type, block);
    ASSERT_NE(panel, nullptr) << type;
    EXPECT_STREQ(panel->title(), titles[type]);
    EXPECT_EQ(panel->kind(), kinds[type]);
    // The rows must match the block the project file stores for this type.
    ASSERT_EQ(panel->fieldCount(), paramCountOf(type)) << type;
    for (int32_t k = 0; k < panel->fieldCount(); ++k) {
      EXPECT_EQ(panel->field(k).target, &block.values[k]);
      EXPECT_EQ(panel->field(k).y, 40 + 25 * k);
    }
  }
  ParameterBlock block;
  EXPECT_EQ(makeParameterPanel(-1, block, nullptr), nullptr);
  EXPECT_EQ(makeParameterPanel(kOperatorTypeCount, block, nullptr), nullptr);
}

TEST(ParameterPanelTest, SelectingRepairsLowValuesAndKeepsHighOnes) {
  ParameterBlock layer;
  layer[0] = -3;
  makeParameterPanel(kLayer2D, layer, nullptr);
  EXPECT_EQ(layer[0], 0);

  layer[0] = 1500;  // kept, and no wheel step brings it back into 0-999
  auto panel = makeAs<Layer2DPanel>(kLayer2D, layer);
  hoverBox(panel->imageId);
  panel->wheel(1);
  panel->wheel(-1);
  EXPECT_EQ(layer[0], 1500);

  ParameterBlock camera;
  camera[0] = std::numeric_limits<float>::quiet_NaN();
  makeParameterPanel(kCamera, camera, nullptr);
  EXPECT_EQ(camera[12], 105);  // Fov 0 becomes the middle of 10-200
  EXPECT_EQ(camera[0], 0);
  EXPECT_EQ(camera[6], 0);     // Position sin x: 0 is in range

  ParameterBlock end;
  makeParameterPanel(kEndRenderToTex, end, nullptr);
  EXPECT_EQ(end[2], 90);
}

TEST(ParameterPanelTest, WheelReachesOnlyTheHoveredWidget) {
  ParameterBlock block;
  block[0] = 10;
  block[3] = 8.5f;
  auto panel = makeAs<BoxPanel>(kBox, block);
  hoverBox(panel->scale);
  panel->wheel(1);
  EXPECT_EQ(block[3], 9.5f);
  panel->wheel(1);  // 10.5 is not below 10
  EXPECT_EQ(block[3], 9.5f);
  EXPECT_EQ(block[0], 10);
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
  EXPECT_TRUE(panel->positionX.fineDragging);
  panel->positionX.track(panel->positionX.mouseX - 200, panel->positionX.mouseY - 250);
  EXPECT_NEAR(block[4], 1.25f, 1e-5f);
  panel->mouseButton(-1);
  EXPECT_FALSE(panel->positionX.fineDragging);

  hoverBox(panel->positionX);
  panel->mouseButton(0);  // left: coarse drags on both kinds
  EXPECT_TRUE(panel->imageId.dragging);
  EXPECT_TRUE(panel->positionX.dragging);
  panel->mouseButton(-1);
  EXPECT_FALSE(panel->imageId.dragging || panel->positionX.dragging);
}

TEST(ParameterPanelTest, ASecondPanelOfTheSameTypeEditsOnlyTheSecondClip) {
  ParameterBlock first;
  ParameterBlock second;
  first[0] = 10;
  second[0] = 20;
  auto panel = makeAs<CameraPanel>(kCamera, first);
  panel = makeAs<CameraPanel>(kCamera, second);
  hoverBox(panel->targetX);
  panel->wheel(1);
  EXPECT_EQ(second[0], 21);
  EXPECT_EQ(first[0], 10);
}

TEST(ParameterPanelTest, PreviewNeverLooksOutsideTheTextureTable) {
  TextureTable table;
  ParameterBlock block;
  auto panel = makeAs<Layer2DPanel>(kLayer2D, block, &table);
  const struct {
    float id;
    int32_t slot;
  } cases[] = {{5.9f, 5}, {99, 99}, {100, -1}, {1500, -1}, {std::numeric_limits<float>::infinity(), -1},
               {std::numeric_limits<float>::quiet_NaN(), -1}};
  for (const auto& c : cases) {
    block[0] = c.id;
    EXPECT_EQ(panel->previewSlot(), c.slot) << c.id;
  }
  block[0] = 5;
  EXPECT_EQ(makeAs<Layer2DPanel>(kLayer2D, block, nullptr)->previewSlot(), -1);
}

}  // namespace
}  // namespace korvalin
