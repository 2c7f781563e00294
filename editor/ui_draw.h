// Canvas drawing for the editor: pixel-to-unit conversion, bitmap text, rectangles, lines and
// the Button. The canvas is 1024 x 768 pixels, origin top left, y downwards; the shell sets up a
// view in which 384 pixels make one GL unit (toUnits) and a point (x, y) lies at
// (toUnits(x), -toUnits(y), 0).
#pragma once

#include <cstdint>

namespace korvalin {

struct TextureTable;

// px / 384: canvas pixels to GL units.
float toUnits(int32_t px);

// The editor pass's set-up: 1024 x 768 viewport, the editor's clear colour, colour and depth
// cleared, modelview moved so that the canvas origin is the viewport's top-left, white.
void beginEditorCanvas();

// Font sheets for sizes 12, 14 and 18 come from slots 0, 1 and 2 of this table. Not owned; the
// one settable pointer of the editor's drawing. With nullptr, text advances but draws no glyphs.
void setTextTextures(const TextureTable* table);
const TextureTable* textTextures();

// One line of black text in size 12, 14 or 18; centred 1 shifts it left by half its layout width.
// The baseline lies one layout advance below y. Leaves blending off and depth testing on.
// Other sizes and a null text draw nothing (the state is left the same way).
void drawText(const char* text, int32_t size, int32_t centred, int32_t x, int32_t y);
// Moves the pen one step right, then draws c. Codes outside 32-127 draw nothing but still advance.
void drawGlyph(char c, int32_t size);

// Several strings drawn as drawText draws each, under one set of state changes. llvmpipe pays
// about 100 us for every switch of blending, depth testing or texturing, so a panel draws all
// its text in one batch. While a batch lives, blending is on, depth testing and the current
// colour are not to be used by others; destroying it leaves blending off and depth testing on.
class TextBatch {
 public:
  TextBatch();
  ~TextBatch();
  TextBatch(const TextBatch&) = delete;
  TextBatch& operator=(const TextBatch&) = delete;
  void add(const char* text, int32_t size, int32_t centred, int32_t x, int32_t y);

 private:
  int32_t openSize_ = 0;  // size whose sheet is bound inside an open glBegin, 0 for none
};

// Layout advance (pixels) used for centring and the baseline: 7, 9 or 11; 0 for other sizes.
int32_t textAdvance(int32_t size);

// A quad already in GL units, in the vertex order of fillRect.
void unitQuad(float left, float top, float right, float bottom);
// Canvas pixels, current colour; one quad (left,top),(left,bottom),(right,bottom),(right,top).
void fillRect(int32_t left, int32_t top, int32_t right, int32_t bottom);
// Canvas pixels, current colour.
void drawLine(int32_t x0, int32_t y0, int32_t x1, int32_t y1);
void setColourBytes(uint8_t r, uint8_t g, uint8_t b);

// A labelled clickable rectangle with hover highlight and drop shadow; a plain value.
class Button {
 public:
  Button();
  Button(const char* label, int32_t x, int32_t y, int32_t width, int32_t height, int32_t id);

  // Sets label, position, size and id; hovered and colour keep their values.
  void place(const char* label, int32_t x, int32_t y, int32_t width, int32_t height, int32_t id);
  void setColour(uint8_t red, uint8_t green, uint8_t blue);
  // Strict inside test: returns id and sets hovered inside, else 0 and clears hovered.
  int32_t track(int32_t x, int32_t y);
  // Code -1 (no button held) clears hovered first. True for code 0 while hovered.
  bool clicked(int32_t code);
  void draw();

  const char* label = "";
  int32_t x = 0, y = 0, width = 0, height = 0, id = 0;
  bool hovered = false;
  uint8_t colour[3] = {171, 165, 157};
};

}  // namespace korvalin
