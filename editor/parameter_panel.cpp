#include "editor/parameter_panel.h"

#include <GL/gl.h>

#include "assets/texture_table.h"
#include "editor/ui_draw.h"

namespace korvalin {

namespace {

constexpr int32_t kFieldX = 660;
constexpr int32_t kTitleX = 650;
constexpr int32_t kTitleY = 20;

// Panel layouts, one row per value of the ParameterBlock in index order. The order is also the
// project file's, so rows must never be reordered.
constexpr PanelFieldSpec kLayer2DFields[] = {
    {"Image ID ", false, 0, 999, 40, 4},
    {"Blendmode Src", false, 0, 14, 65, 3},
    {"Blendmode Dst", false, 0, 14, 90, 3},
};

constexpr PanelFieldSpec kBoxFields[] = {
    {"Rotate X", false, -360, 360, 40, 5},
    {"Rotate Y", false, -360, 360, 65, 5},
    {"Rotate Z", false, -360, 360, 90, 5},
    {"Scale ", true, 0, 10, 115, 4},
};

constexpr PanelFieldSpec kCameraFields[] = {
    {"Target x ", true, -1000, 1000, 40, 6},
    {"Target y ", true, -1000, 1000, 65, 6},
    {"Target z ", true, -1000, 1000, 90, 6},
    {"Position x ", true, -1000, 1000, 115, 6},
    {"Position y ", true, -1000, 1000, 140, 6},
    {"Position z ", true, -1000, 1000, 165, 6},
    {"Position sin x ", true, 0, 100, 190, 5},
    {"Position sin y ", true, 0, 100, 215, 5},
    {"Position sin z ", true, 0, 100, 240, 5},
    {"Position sin x offset ", true, 0, 100, 265, 5},
    {"Position sin y offset ", true, 0, 100, 290, 5},
    {"Position sin z offset ", true, 0, 100, 315, 5},
    {"Fov ", true, 10, 200, 340, 5},
};

constexpr PanelFieldSpec kStartRenderToTexFields[] = {
    {"Size X", false, 0, 9, 40, 3},
    {"Size Y", false, 0, 9, 65, 3},
};

constexpr PanelFieldSpec kEndRenderToTexFields[] = {
    {"Size X ", false, 0, 9, 40, 3},
    {"Size Y ", false, 0, 9, 65, 3},
    {"Image ID ", false, 90, 100, 90, 5},
};

constexpr PanelFieldSpec kModel3DFields[] = {
    {"Position X ", true, -1000, 1000, 40, 6},
    {"Position Y ", true, -1000, 1000, 65, 6},
    {"Position Z ", true, -1000, 1000, 90, 6},
    {"Speed ", true, -100, 100, 115, 5},
    {"Distance ", true, -1000, 1000, 140, 6},
    {"Rotate speed ", true, -720, 720, 165, 5},
    {"Offset ", true, -720, 720, 190, 5},
    {"Model ID ", false, 0, 6, 215, 3},
};

constexpr PanelFieldSpec kFlatFields[] = {
    {"Image ID ", false, 0, 100, 40, 5},
    {"Blendmode src ", false, 0, 14, 65, 4},
    {"Blendmode dst ", false, 0, 14, 90, 4},
    {"Scale ", true, -50, 50, 115, 4},
    {"Position X ", true, -1000, 1000, 140, 6},
    {"Position Y ", true, -1000, 1000, 165, 6},
};

template <size_t N>
constexpr int32_t countOf(const PanelFieldSpec (&)[N]) {
  return static_cast<int32_t>(N);
}

// Canvas rectangle of the Layer2DPanel's image preview.
constexpr int32_t kPreviewLeft = 660;
constexpr int32_t kPreviewTop = 130;
constexpr int32_t kPreviewRight = 860;
constexpr int32_t kPreviewBottom = 330;

}  // namespace

FieldListPanel::FieldListPanel(const char* title, const PanelFieldSpec* specs, int32_t count)
    : title_(title), specs_(specs), count_(count) {}

namespace {

template <class Field>
void bindField(const PanelFieldSpec& field, float* param, Field& widget) {
  widget.dragging = false;
  widget.fineDragging = false;
  widget.bind(param, field.minimum, field.maximum, kFieldX, field.y, field.digits, field.label);
}

}  // namespace

void FieldListPanel::attach(int32_t k, ParameterBlock& block, IntField& widget) {
  params_[k] = &block.values[k];
  fields_[k] = &widget;
  bindField(specs_[k], params_[k], widget);
}

void FieldListPanel::attach(int32_t k, ParameterBlock& block, FloatField& widget) {
  params_[k] = &block.values[k];
  fields_[k] = &widget;
  bindField(specs_[k], params_[k], widget);
}

// Hover for every widget first, then each drawing step for all widgets at once: the picture is
// the same as widget by widget (rows do not overlap), with three GL state switches instead of a
// dozen per widget. The text batch leaves depth testing on.
void FieldListPanel::draw(int32_t mouseX, int32_t mouseY) {
  for (int32_t k = 0; k < count_; ++k) {
    if (specs_[k].isFloat) {
      static_cast<FloatField&>(*fields_[k]).track(mouseX, mouseY);
    } else {
      static_cast<IntField&>(*fields_[k]).track(mouseX, mouseY);
    }
  }
  // The caret goes with the boxes: no glyph reaches the caret's pixel column, so drawing it
  // before the text instead of after saves one more state change.
  glDisable(GL_DEPTH_TEST);
  for (int32_t k = 0; k < count_; ++k) {
    fields_[k]->drawBox();
    fields_[k]->drawCaret();
  }
  {
    TextBatch batch;
    batch.add(title_, 18, 0, kTitleX, kTitleY);
    char text[64];
    for (int32_t k = 0; k < count_; ++k) {
      if (specs_[k].isFloat) {
        static_cast<const FloatField&>(*fields_[k]).valueText(text, sizeof text);
      } else {
        static_cast<const IntField&>(*fields_[k]).valueText(text, sizeof text);
      }
      fields_[k]->addText(batch, text);
    }
  }
}

void FieldListPanel::wheel(int32_t steps) {
  for (int32_t k = 0; k < count_; ++k) fields_[k]->wheel(steps);
}

void FieldListPanel::mouseButton(int32_t code) {
  for (int32_t k = 0; k < count_; ++k) {
    if (specs_[k].isFloat) {
      auto& widget = static_cast<FloatField&>(*fields_[k]);
      if (code == 0 || code == 2) widget.press(code);
      if (code == -1) widget.release();
    } else {
      auto& widget = static_cast<IntField&>(*fields_[k]);
      if (code == 0) widget.press();
      if (code == -1) widget.release();
    }
  }
}

Layer2DPanel::Layer2DPanel(ParameterBlock& block, const TextureTable* textures)
    : FieldListPanel("2D Layer", kLayer2DFields, countOf(kLayer2DFields)), textures_(textures) {
  attach(0, block, imageId);
  attach(1, block, blendSrc);
  attach(2, block, blendDst);
}

int32_t Layer2DPanel::previewSlot() const {
  const float id = *param(0);
  // Compared as a float first: the Image ID may hold anything the project file had (1500, NaN).
  if (textures_ == nullptr || !(id > -1.0f && id < static_cast<float>(kTextureSlotCount))) return -1;
  return static_cast<int32_t>(id);
}

void Layer2DPanel::draw(int32_t mouseX, int32_t mouseY) {
  FieldListPanel::draw(mouseX, mouseY);
  const int32_t slot = previewSlot();
  if (slot < 0) return;
  const float left = toUnits(kPreviewLeft);
  const float right = toUnits(kPreviewRight);
  const float top = -toUnits(kPreviewTop);
  const float bottom = -toUnits(kPreviewBottom);
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, textures_->names[slot]);
  glColor3f(1.0f, 1.0f, 1.0f);
  glBegin(GL_QUADS);
  glTexCoord2f(0.0f, 1.0f);
  glVertex3f(left, top, 0.0f);
  glTexCoord2f(1.0f, 1.0f);
  glVertex3f(right, top, 0.0f);
  glTexCoord2f(1.0f, 0.0f);
  glVertex3f(right, bottom, 0.0f);
  glTexCoord2f(0.0f, 0.0f);
  glVertex3f(left, bottom, 0.0f);
  glEnd();
  glDisable(GL_TEXTURE_2D);
}

BoxPanel::BoxPanel(ParameterBlock& block) : FieldListPanel("Box", kBoxFields, countOf(kBoxFields)) {
  attach(0, block, rotateX);
  attach(1, block, rotateY);
  attach(2, block, rotateZ);
  attach(3, block, scale);
}

CameraPanel::CameraPanel(ParameterBlock& block)
    : FieldListPanel("Camera", kCameraFields, countOf(kCameraFields)) {
  FloatField* widgets[] = {&targetX, &targetY, &targetZ, &positionX,  &positionY,  &positionZ, &sinX,
                           &sinY,    &sinZ,    &sinOffsetX, &sinOffsetY, &sinOffsetZ, &fov};
  for (int32_t k = 0; k < countOf(kCameraFields); ++k) attach(k, block, *widgets[k]);
}

StartRenderToTexPanel::StartRenderToTexPanel(ParameterBlock& block)
    : FieldListPanel("Start rend To Tex", kStartRenderToTexFields, countOf(kStartRenderToTexFields)) {
  attach(0, block, sizeX);
  attach(1, block, sizeY);
}

EndRenderToTexPanel::EndRenderToTexPanel(ParameterBlock& block)
    : FieldListPanel("End rend To Tex", kEndRenderToTexFields, countOf(kEndRenderToTexFields)) {
  attach(0, block, sizeX);
  attach(1, block, sizeY);
  attach(2, block, imageId);
}

Model3DPanel::Model3DPanel(ParameterBlock& block)
    : FieldListPanel("3D Model", kModel3DFields, countOf(kModel3DFields)) {
  FloatField* floats[] = {&positionX, &positionY, &positionZ, &speed, &distance, &rotateSpeed, &offset};
  for (int32_t k = 0; k < 7; ++k) attach(k, block, *floats[k]);
  attach(7, block, modelId);
}

FlatPanel::FlatPanel(ParameterBlock& block) : FieldListPanel("Flat", kFlatFields, countOf(kFlatFields)) {
  attach(0, block, imageId);
  attach(1, block, blendSrc);
  attach(2, block, blendDst);
  attach(3, block, scale);
  attach(4, block, positionX);
  attach(5, block, positionY);
}

std::unique_ptr<ParameterPanel> makeParameterPanel(int32_t type, ParameterBlock& block,
                                                   const TextureTable* textures) {
  switch (type) {
    case kLayer2D: return std::make_unique<Layer2DPanel>(block, textures);
    case kBox: return std::make_unique<BoxPanel>(block);
    case kCamera: return std::make_unique<CameraPanel>(block);
    case kStartRenderToTex: return std::make_unique<StartRenderToTexPanel>(block);
    case kEndRenderToTex: return std::make_unique<EndRenderToTexPanel>(block);
    case kModel3D: return std::make_unique<Model3DPanel>(block);
    case kFlat: return std::make_unique<FlatPanel>(block);
    default: return nullptr;
  }
}

}  // namespace korvalin
