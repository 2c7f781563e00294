// The parameter panel of the selected clip: a title at (650, 20) and one IntField or FloatField
// per value of the clip's ParameterBlock, at x 660 from y 40 in steps of 25. Widgets edit the
// block in place; a panel owns neither the block nor its strings.
#pragma once

#include <cstdint>
#include <memory>

#include "editor/value_field.h"
#include "timeline/timeline.h"

namespace korvalin {

struct TextureTable;

class ParameterPanel {
 public:
  virtual ~ParameterPanel() = default;
  // Draws the panel and feeds the mouse position (canvas pixels) to every widget.
  virtual void draw(int32_t mouseX, int32_t mouseY) = 0;
  // One wheel step, +1 or -1; only a hovered widget changes.
  virtual void wheel(int32_t steps) = 0;
  // 0 left, 1 middle, 2 right held; -1 none held.
  virtual void mouseButton(int32_t code) = 0;
  virtual int32_t kind() const = 0;
};

// Layout of one parameter: its label (exact, trailing spaces included), widget kind, the range
// handed to bind, its y and digit count.
struct PanelFieldSpec {
  const char* label;
  bool isFloat;
  float minimum;
  float maximum;
  int32_t y;
  int32_t digits;
};

// Shared body of the seven panels: parameter k edits value k of the block.
class FieldListPanel : public ParameterPanel {
 public:
  FieldListPanel(const FieldListPanel&) = delete;
  FieldListPanel& operator=(const FieldListPanel&) = delete;

  void draw(int32_t mouseX, int32_t mouseY) override;
  void wheel(int32_t steps) override;
  void mouseButton(int32_t code) override;

  const char* title() const { return title_; }
  int32_t fieldCount() const { return count_; }
  // Widget k (an IntField or FloatField) and the value it edits.
  ValueField& field(int32_t k) { return *fields_[k]; }
  bool isFloatField(int32_t k) const { return specs_[k].isFloat; }
  float* param(int32_t k) const { return params_[k]; }

 protected:
  FieldListPanel(const char* title, const PanelFieldSpec* specs, int32_t count);
  // Points parameter k at value k of the block, clears the drag flags and binds the widget.
  void attach(int32_t k, ParameterBlock& block, IntField& widget);
  void attach(int32_t k, ParameterBlock& block, FloatField& widget);

 private:
  const char* title_;
  const PanelFieldSpec* specs_;
  int32_t count_;
  float* params_[kMaxParamCount] = {};
  ValueField* fields_[kMaxParamCount] = {};
};

class Layer2DPanel final : public FieldListPanel {
 public:
  Layer2DPanel(ParameterBlock& block, const TextureTable* textures);
  void draw(int32_t mouseX, int32_t mouseY) override;
  int32_t kind() const override { return 1; }
  // Slot of the preview for the current Image ID, or -1 when it lies outside the table.
  int32_t previewSlot() const;

  IntField imageId, blendSrc, blendDst;

 private:
  const TextureTable* textures_;
};

class BoxPanel final : public FieldListPanel {
 public:
  explicit BoxPanel(ParameterBlock& block);
  int32_t kind() const override { return 1; }
  IntField rotateX, rotateY, rotateZ;
  FloatField scale;
};

class CameraPanel final : public FieldListPanel {
 public:
  explicit CameraPanel(ParameterBlock& block);
  int32_t kind() const override { return 2; }
  FloatField targetX, targetY, targetZ, positionX, positionY, positionZ;
  FloatField sinX, sinY, sinZ, sinOffsetX, sinOffsetY, sinOffsetZ, fov;
};

class StartRenderToTexPanel final : public FieldListPanel {
 public:
  explicit StartRenderToTexPanel(ParameterBlock& block);
  int32_t kind() const override { return 3; }
  IntField sizeX, sizeY;
};

class EndRenderToTexPanel final : public FieldListPanel {
 public:
  explicit EndRenderToTexPanel(ParameterBlock& block);
  int32_t kind() const override { return 4; }
  IntField sizeX, sizeY, imageId;
};

class Model3DPanel final : public FieldListPanel {
 public:
  explicit Model3DPanel(ParameterBlock& block);
  int32_t kind() const override { return 5; }
  FloatField positionX, positionY, positionZ, speed, distance, rotateSpeed, offset;
  IntField modelId;
};

class FlatPanel final : public FieldListPanel {
 public:
  explicit FlatPanel(ParameterBlock& block);
  int32_t kind() const override { return 6; }
  IntField imageId, blendSrc, blendDst;
  FloatField scale, positionX, positionY;
};

// The panel class of `type` bound to `block` (nullptr for a type outside 0-6). `textures` for the
// Layer2DPanel preview; may be nullptr (no preview).
std::unique_ptr<ParameterPanel> makeParameterPanel(int32_t type, ParameterBlock& block, const TextureTable* textures);

}  // namespace korvalin
