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
  std::unique_ptr<ParameterPanel> panel = makeParameterPanel(type, block, textures);
  auto* typed = dynamic_cast<Panel*>(panel.get());
  if (typed == nullptr) return nullptr;
  panel.release();
  return std::unique_ptr<Panel>(typed);
}

TEST(ParameterPanelTest, EveryTypeGetsItsPanelBoundValueByValueInRows) {
  const struct {
    const char* title;
    int32_t kind;
  } expected[kOperatorTypeCount] = {{"2D Layer", 1},          {"Box", 1},      {"Camera", 2},
                                    {"Start rend To Tex", 3}, {"End rend To Tex", 4},
                                    {"3D Model", 5},          {"Flat", 6}};
  for (int32_t type = 0; type < kOperatorTypeCount; ++type) {
    ParameterBlock block;
    block.paramCount = paramCountOf(type);
    std::unique_ptr<ParameterPanel> base = makeParameterPanel(type, block, nullptr);
    ASSERT_NE(base, nullptr) << type;
    auto& panel = dynamic_cast<FieldListPanel&>(*base);
    EXPECT_STREQ(panel.title(), expected[type].title);
    EXPECT_EQ(panel.kind(), expected[type].kind);
    // The panel's rows must match the block the project file stores for this type.
    ASSERT_EQ(panel.fieldCount(), paramCountOf(type)) << type;
    for (int32_t k = 0; k < panel.fieldCount(); ++k) {
      EXPECT_EQ(panel.param(k), &block.values[k]);
      EXPECT_EQ(panel.field(k).target, &block.values[k]);
      EXPECT_EQ(panel.field(k).x, 660);
      EXPECT_EQ(panel.field(k).y, 40 + 25 * k);
    }
  }
  ParameterBlock block;
  EXPECT_EQ(makeParameterPanel(-1, block, nullptr), nullptr);
  EXPECT_EQ(makeParameterPanel(kOperatorTypeCount, block, nullptr), nullptr);
}

TEST(ParameterPanelTest, ConstructionRepairsLowValuesOnly) {
  ParameterBlock layer;
  layer[0] = -3;
  layer[1] = 20;
  makeParameterPanel(kLayer2D, layer, nullptr);
  EXPECT_EQ(layer[0], 0);
  EXPECT_EQ(layer[1], 20);

  ParameterBlock camera;
  camera[12] = 0;                                         // Fov
  camera[0] = std::numeric_limits<float>::quiet_NaN();  // Target x
  camera[6] = -1;                                         // Position sin x
  makeParameterPanel(kCamera, camera, nullptr);
  EXPECT_EQ(camera[12], 105);
  EXPECT_EQ(camera[0], 0);
  EXPECT_EQ(camera[6], 50);

  ParameterBlock end;  // Image ID 90-100 of a fresh zero block
  makeParameterPanel(kEndRenderToTex, end, nullptr);
  EXPECT_EQ(end[2], 90);
}

TEST(ParameterPanelTest, OutOfRangeImageIdIsKeptAndWheelIgnoresIt) {
  ParameterBlock block;
  block[0] = 1500;
  auto panel = makeAs<Layer2DPanel>(kLayer2D, block);
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(block[0], 1500);
  hoverBox(panel->imageId);
  panel->wheel(1);
  panel->wheel(-1);
  EXPECT_EQ(block[0], 1500);
}

TEST(ParameterPanelTest, WheelReachesOnlyTheHoveredWidget) {
  ParameterBlock block;
  block[3] = 9.5f;
  block[0] = 10;
  auto panel = makeAs<BoxPanel>(kBox, block);
  hoverBox(panel->scale);
  panel->rotateX.track(0, 0);
  panel->wheel(1);
  EXPECT_EQ(block[3], 9.5f);  // 10.5 is not below 10
  EXPECT_EQ(block[0], 10);
  block[3] = 8.5f;
  panel->wheel(1);
  EXPECT_EQ(block[3], 9.5f);
}

TEST(ParameterPanelTest, ButtonCodesStartTheRightDrags) {
  ParameterBlock block;
  auto panel = makeAs<FlatPanel>(kFlat, block);
  block[0] = 5;    // Image ID, IntField
  block[4] = 1.0f;  // Position X, FloatField

  // Right button: fine drag on a FloatField, nothing on an IntField.
  hoverBox(panel->imageId);
  hoverBox(panel->positionX);
  panel->mouseButton(2);
  EXPECT_FALSE(panel->imageId.dragging);
  EXPECT_TRUE(panel->positionX.fineDragging);
  panel->positionX.track(panel->positionX.mouseX, panel->positionX.mouseY - 100);
  EXPECT_NEAR(block[4], 1.1f, 1e-5f);
  panel->mouseButton(-1);
  EXPECT_FALSE(panel->positionX.fineDragging);

  // Middle button: nothing anywhere.
  hoverBox(panel->imageId);
  hoverBox(panel->positionX);
  panel->mouseButton(1);
  panel->mouseButton(7);
  for (int32_t k = 0; k < panel->fieldCount(); ++k) {
    EXPECT_FALSE(panel->field(k).dragging) << k;
    EXPECT_FALSE(panel->field(k).fineDragging) << k;
  }

  // Left button: coarse drags on both kinds.
  panel->mouseButton(0);
  EXPECT_TRUE(panel->imageId.dragging);
  EXPECT_TRUE(panel->positionX.dragging);
  panel->imageId.track(panel->imageId.mouseX, panel->imageId.mouseY - 3);
  EXPECT_EQ(block[0], 8);
  panel->mouseButton(-1);
  EXPECT_FALSE(panel->imageId.dragging);
  EXPECT_FALSE(panel->positionX.dragging);
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
  panel->mouseButton(0);
  panel->targetX.track(panel->targetX.mouseX, panel->targetX.mouseY - 5);
  EXPECT_EQ(second[0], 26);
  EXPECT_EQ(first[0], 10);
}

TEST(ParameterPanelTest, PreviewNeverLooksOutsideTheTextureTable) {
  TextureTable table;
  ParameterBlock block;
  auto panel = makeAs<Layer2DPanel>(kLayer2D, block, &table);
  const struct {
    float id;
    int32_t slot;
  } cases[] = {{0, 0}, {5.9f, 5}, {99, 99}, {100, -1}, {1500, -1},
               {std::numeric_limits<float>::infinity(), -1}, {std::numeric_limits<float>::quiet_NaN(), -1}};
  for (const auto& c : cases) {
    block[0] = c.id;
    EXPECT_EQ(panel->previewSlot(), c.slot) << c.id;
  }
  auto withoutTable = makeAs<Layer2DPanel>(kLayer2D, block, nullptr);
  block[0] = 5;
  EXPECT_EQ(withoutTable->previewSlot(), -1);
}

}  // namespace
}  // namespace korvalin
