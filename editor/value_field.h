// The two numeric widgets: a label and a value box showing one float that lives elsewhere, edited
// by wheel notches and vertical drags. They write straight into the bound float.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korvalin {

class TextBatch;

// Shared record and rules of IntField and FloatField.
class ValueField {
 public:
  float* target = nullptr;
  float minimum = 0, upperBound = 0;  // minimum inclusive, upperBound exclusive
  const char* label = "";
  int32_t mouseX = 0, mouseY = 0, x = 0, y = 0;
  int32_t width = 0;  // value box width in characters of 8 pixels
  int32_t caret = 0, dragAnchorY = 0;
  bool hovered = false, dragging = false, fineDragging = false;
  int32_t labelLength = 0;

  // Adds delta when the result stays in [minimum, upperBound); otherwise the step is discarded.
  void nudge(float delta);
  // Nudges by steps while hovered.
  void wheel(int32_t steps);
  // Value box edges in canvas pixels; top is y, bottom y + 17.
  int32_t boxLeft() const;
  int32_t boxRight() const;

  // The three steps of draw, for owners that draw many widgets with few GL state changes:
  // frame and box (depth testing off), value text and label, then the caret mark.
  void drawBox() const;
  void addText(TextBatch& batch, const char* valueText) const;
  void drawCaret() const;

 protected:
  void hoverTest(int32_t mx, int32_t my);
  void coarseDragStep();
  void drawWith(const char* valueText);
};

class IntField : public ValueField {
 public:
  // maximum is inclusive. A value below the minimum (or NaN) is raised to the minimum; a value
  // above the maximum is left alone. Leaves hover and drag state as they are.
  void bind(float* target, float minimum, float maximum, int32_t x, int32_t y, int32_t digits, const char* label);
  void track(int32_t x, int32_t y);
  void draw();
  void press();
  void release();
  // The value as draw shows it, cut to the box.
  void valueText(char* buffer, size_t size) const;
};

class FloatField : public ValueField {
 public:
  // maximum is exclusive; the box is digits + 4 characters wide. A value below the minimum (or
  // NaN) becomes the middle of the range; a value above the maximum is left alone.
  void bind(float* target, float minimum, float maximum, int32_t x, int32_t y, int32_t digits, const char* label);
  void track(int32_t x, int32_t y);
  void draw();
  // Code 0 starts a coarse drag (1 per pixel), code 2 a fine one (0.001 per pixel).
  void press(int32_t code);
  void release();
  void valueText(char* buffer, size_t size) const;
};

// The value text as a field shows it, written into a buffer of `size` bytes (always terminated):
// "%d" of the value truncated toward zero, or "%.3f". Values outside int32 (and NaN, infinity)
// in an IntField are written with "%.0f" of the truncated value instead.
void formatIntFieldValue(float value, char* buffer, size_t size);
void formatFloatFieldValue(float value, char* buffer, size_t size);

// Cuts value text to a box `width` characters wide; a cut text ends in '>' so that a cut number
// is never mistaken for a smaller one.
void cutToBox(char* text, int32_t width);

}  // namespace korvalin
