#include "editor/value_field.h"

#include <GL/gl.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "editor/ui_draw.h"

namespace korvalin {

namespace {

constexpr int32_t kBoxHeight = 17;
constexpr int32_t kLabelAdvance = 9;  // pixels per label character before the box
constexpr int32_t kBoxCharWidth = 8;
constexpr float kFrameMargin = 0.005f;  // GL units
constexpr float kCaretWidth = 0.003f;   // GL units
constexpr float kFineStep = 0.001f;

float units64(int64_t px) { return static_cast<float>(static_cast<double>(px) / 384.0); }


int32_t labelLengthOf(const char* label) {
  const size_t n = std::strlen(label);
  return n > 0x7fffffff ? 0x7fffffff : static_cast<int32_t>(n);
}

// Mouse motion since the last drag step, without int32 overflow.
float dragDelta(int32_t anchor, int32_t mouse) {
  return static_cast<float>(static_cast<int64_t>(anchor) - static_cast<int64_t>(mouse));
}

}  // namespace

void ValueField::nudge(float delta) {
  if (target == nullptr) return;
  const float v = *target + delta;
  if (minimum <= v && v < upperBound) *target = v;
}

void ValueField::wheel(int32_t steps) {
  if (hovered) nudge(static_cast<float>(steps));
}

int32_t ValueField::boxLeft() const { return x + kLabelAdvance * labelLength; }

int32_t ValueField::boxRight() const { return boxLeft() + kBoxCharWidth * width; }

void ValueField::hoverTest(int32_t mx, int32_t my) {
  mouseX = mx;
  mouseY = my;
  hovered = boxLeft() < mx && mx < boxRight() && y < my && my < y + kBoxHeight;
}

void ValueField::coarseDragStep() {
  if (!dragging) return;
  nudge(dragDelta(dragAnchorY, mouseY));
  dragAnchorY = mouseY;
}

void ValueField::drawBox() const {
  const float leftU = toUnits(boxLeft());
  const float rightU = toUnits(boxRight());
  const float topU = -toUnits(y);
  const float bottomU = -units64(static_cast<int64_t>(y) + kBoxHeight);
  setColourBytes(0, 0, 0);
  unitQuad(leftU - kFrameMargin, topU + kFrameMargin, rightU + kFrameMargin, bottomU - kFrameMargin);
  if (hovered) {
    setColourBytes(255, 255, 255);
  } else {
    setColourBytes(220, 220, 220);
  }
  unitQuad(leftU, topU, rightU, bottomU);
}

void ValueField::addText(TextBatch& batch, const char* valueText) const {
  batch.add(valueText, 14, 0, boxLeft() - 6, y + 11);
  batch.add(label, 14, 0, x - 6, y + 11);
}

void ValueField::drawCaret() const {
  const float topU = -toUnits(y);
  const float bottomU = -units64(static_cast<int64_t>(y) + kBoxHeight);
  const float caretU = units64(static_cast<int64_t>(boxLeft()) + static_cast<int64_t>(caret) * kBoxCharWidth);
  setColourBytes(0, 0, 0);
  unitQuad(caretU, topU - kCaretWidth, caretU + kCaretWidth, bottomU + kCaretWidth);
}

void ValueField::drawWith(const char* valueText) {
  glDisable(GL_DEPTH_TEST);
  drawBox();
  {
    TextBatch batch;
    addText(batch, valueText);
  }
  drawCaret();
  glEnable(GL_DEPTH_TEST);
}

void formatIntFieldValue(float value, char* buffer, size_t size) {
  if (size == 0) return;
  // Only values that survive the cast to int32 go through "%d"; the cast is undefined otherwise.
  if (value > -2147483649.0f && value < 2147483648.0f) {
    std::snprintf(buffer, size, "%d", static_cast<int32_t>(value));
  } else {
    std::snprintf(buffer, size, "%.0f", static_cast<double>(std::trunc(value)));
  }
}

void formatFloatFieldValue(float value, char* buffer, size_t size) {
  if (size == 0) return;
  std::snprintf(buffer, size, "%.3f", static_cast<double>(value));
}

void cutToBox(char* text, int32_t width) {
  const size_t length = std::strlen(text);
  if (width <= 0) {
    text[0] = '\0';
  } else if (length > static_cast<size_t>(width)) {
    text[width - 1] = '>';
    text[width] = '\0';
  }
}

void IntField::bind(float* newTarget, float newMinimum, float maximum, int32_t newX, int32_t newY, int32_t digits,
                    const char* newLabel) {
  target = newTarget;
  minimum = newMinimum;
  upperBound = maximum + 1.0f;
  x = newX;
  y = newY;
  width = digits;
  label = newLabel != nullptr ? newLabel : "";
  labelLength = labelLengthOf(label);
  // Written so that NaN counts as below the minimum.
  if (target != nullptr && !(*target >= minimum)) *target = minimum;
}

void IntField::track(int32_t mx, int32_t my) {
  hoverTest(mx, my);
  coarseDragStep();
}

void IntField::valueText(char* buffer, size_t size) const {
  if (size == 0) return;
  buffer[0] = '\0';
  if (target != nullptr) formatIntFieldValue(*target, buffer, size);
  if (width < static_cast<int64_t>(size)) cutToBox(buffer, width);
}

void IntField::draw() {
  // Large enough for any float written with "%.0f" (39 digits and a sign).
  char text[64];
  valueText(text, sizeof text);
  drawWith(text);
}

void IntField::press() {
  if (!dragging && hovered) {
    dragging = true;
    dragAnchorY = mouseY;
  }
}

void IntField::release() { dragging = false; }

void FloatField::bind(float* newTarget, float newMinimum, float maximum, int32_t newX, int32_t newY, int32_t digits,
                      const char* newLabel) {
  target = newTarget;
  minimum = newMinimum;
  upperBound = maximum;
  x = newX;
  y = newY;
  width = digits + 4;
  label = newLabel != nullptr ? newLabel : "";
  labelLength = labelLengthOf(label);
  if (target != nullptr && !(*target >= minimum)) *target = (minimum + maximum) / 2.0f;
}

void FloatField::track(int32_t mx, int32_t my) {
  hoverTest(mx, my);
  coarseDragStep();
  if (fineDragging) {
    nudge(dragDelta(dragAnchorY, mouseY) * kFineStep);
    dragAnchorY = mouseY;
  }
}

void FloatField::valueText(char* buffer, size_t size) const {
  if (size == 0) return;
  buffer[0] = '\0';
  if (target != nullptr) formatFloatFieldValue(*target, buffer, size);
  if (width < static_cast<int64_t>(size)) cutToBox(buffer, width);
}

void FloatField::draw() {
  char text[64];
  valueText(text, sizeof text);
  drawWith(text);
}

void FloatField::press(int32_t code) {
  if (!hovered) return;
  if (!dragging && code == 0) {
    dragging = true;
    dragAnchorY = mouseY;
  } else if (!fineDragging && code == 2) {
    fineDragging = true;
    dragAnchorY = mouseY;
  }
}

void FloatField::release() {
  dragging = false;
  fineDragging = false;
}

}  // namespace korvalin
