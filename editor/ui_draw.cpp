#include "editor/ui_draw.h"

#include <GL/gl.h>

#include <cmath>
#include <cstring>

#include "assets/texture_table.h"

namespace korvalin {

namespace {

// Cell grid of one font sheet. The glyph quad is cellWidth wide and cellHeight / 8 high, in
// units before the text scale; the pen step may differ from the cell width (size 14).
struct FontMetrics {
  int32_t slot;
  float cellWidth;
  float cellHeight;
  float penStep;
  int32_t advance;  // whole pixels, for centring and the baseline only
};

constexpr FontMetrics kFont12 = {kFontSheetSlot12, 0.014122916385531425f, 0.23f, 0.014122916385531425f, 7};
constexpr FontMetrics kFont14 = {kFontSheetSlot14, 0.016625f, 0.269f, 0.015625f, 9};
constexpr FontMetrics kFont18 = {kFontSheetSlot18, 0.021184375509619713f, 0.3333f, 0.021184375509619713f, 11};
constexpr float kTextScale = 1.4f;
constexpr int32_t kSheetColumns = 32;
constexpr int32_t kSheetRows = 3;

const TextureTable* gTextTextures = nullptr;

const FontMetrics* metricsOf(int32_t size) {
  switch (size) {
    case 12: return &kFont12;
    case 14: return &kFont14;
    case 18: return &kFont18;
    default: return nullptr;
  }
}

struct GlyphQuad {
  float s0, s1, tTop, tBottom, w, q;
};

// Cell of character c on the sheet. Codes outside the sheet's three rows have no cell: the pen
// moves, nothing is drawn.
bool glyphQuad(const FontMetrics& font, char c, GlyphQuad& quad) {
  const int32_t i = static_cast<int32_t>(static_cast<signed char>(c)) - 32;
  if (i < 0 || i >= kSheetColumns * kSheetRows) return false;
  const int32_t column = i % kSheetColumns;
  const int32_t row = i / kSheetColumns;
  quad.w = font.cellWidth;
  quad.s0 = static_cast<float>(column) * font.cellWidth;
  quad.s1 = static_cast<float>(column + 1) * font.cellWidth;
  quad.tTop = 1.0f - static_cast<float>(row) * font.cellHeight;
  quad.tBottom = 1.0f - static_cast<float>(row + 1) * font.cellHeight;
  quad.q = font.cellHeight * 0.125f;
  return true;
}

// Inside glBegin(GL_QUADS): the glyph standing at pen position x.
void emitGlyph(const GlyphQuad& g, float x) {
  glTexCoord2f(g.s0, g.tBottom);
  glVertex3f(x, 0.0f, 0.0f);
  glTexCoord2f(g.s0, g.tTop);
  glVertex3f(x, g.q, 0.0f);
  glTexCoord2f(g.s1, g.tTop);
  glVertex3f(x + g.w, g.q, 0.0f);
  glTexCoord2f(g.s1, g.tBottom);
  glVertex3f(x + g.w, 0.0f, 0.0f);
}

void endText() {
  glEnable(GL_DEPTH_TEST);
  glDisable(GL_BLEND);
}

}  // namespace

void unitQuad(float left, float top, float right, float bottom) {
  glBegin(GL_QUADS);
  glVertex3f(left, top, 0.0f);
  glVertex3f(left, bottom, 0.0f);
  glVertex3f(right, bottom, 0.0f);
  glVertex3f(right, top, 0.0f);
  glEnd();
}

void beginEditorCanvas() {
  glViewport(0, 0, 1024, 768);
  glClearColor(199.0f / 255.0f, 193.0f / 255.0f, 184.0f / 255.0f, 0.5f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glTranslatef(0.0f, 0.0f, -1.0f);
  glTranslatef(-1.3334f, 1.0f, 0.0f);
  glColor3f(1.0f, 1.0f, 1.0f);
}

float toUnits(int32_t px) { return static_cast<float>(px * 0.0026041666666666665); }

void setTextTextures(const TextureTable* table) { gTextTextures = table; }

const TextureTable* textTextures() { return gTextTextures; }

int32_t textAdvance(int32_t size) {
  const FontMetrics* font = metricsOf(size);
  return font ? font->advance : 0;
}

void drawText(const char* text, int32_t size, int32_t centred, int32_t x, int32_t y) {
  TextBatch batch;
  batch.add(text, size, centred, x, y);
}

TextBatch::TextBatch() {
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glDisable(GL_DEPTH_TEST);
  glColor3f(0.0f, 0.0f, 0.0f);  // also when nothing is drawn: callers may rely on black after text
}

TextBatch::~TextBatch() {
  if (openSize_ != 0) {
    glEnd();
    glDisable(GL_TEXTURE_2D);
  }
  endText();
}

// The glyph quads of drawGlyph, transformed on the CPU: the modelview stays untouched and one
// glBegin serves every string of the same size.
void TextBatch::add(const char* text, int32_t size, int32_t centred, int32_t x, int32_t y) {
  const FontMetrics* font = metricsOf(size);
  if (text == nullptr || font == nullptr || gTextTextures == nullptr) return;
  const size_t length = std::strlen(text);
  if (length == 0) return;
  const int32_t a = font->advance;

  float originX = toUnits(x);
  if (centred == 1) {
    // Two characters more than the string, at the layout advance rather than the pen step.
    const double shift = static_cast<double>(a) * (static_cast<double>(length) + 2.0) * 0.5;
    originX -= static_cast<float>(std::trunc(shift) / 384.0);
  }
  const float originY = -static_cast<float>((static_cast<int64_t>(y) + a) / 384.0);

  if (openSize_ != size) {
    if (openSize_ != 0) glEnd();
    glBindTexture(GL_TEXTURE_2D, gTextTextures->names[font->slot]);
    if (openSize_ == 0) glEnable(GL_TEXTURE_2D);
    glBegin(GL_QUADS);
    openSize_ = size;
  }
  float pen = 0.0f;
  for (size_t k = 0; k < length; ++k) {
    pen += font->penStep;
    GlyphQuad quad;
    if (!glyphQuad(*font, text[k], quad)) continue;
    const float left = originX + kTextScale * pen;
    const float right = originX + kTextScale * (pen + quad.w);
    const float top = originY + kTextScale * quad.q;
    glTexCoord2f(quad.s0, quad.tBottom);
    glVertex3f(left, originY, 0.0f);
    glTexCoord2f(quad.s0, quad.tTop);
    glVertex3f(left, top, 0.0f);
    glTexCoord2f(quad.s1, quad.tTop);
    glVertex3f(right, top, 0.0f);
    glTexCoord2f(quad.s1, quad.tBottom);
    glVertex3f(right, originY, 0.0f);
  }
}

void drawGlyph(char c, int32_t size) {
  const FontMetrics* font = metricsOf(size);
  if (font == nullptr) return;
  glTranslatef(font->penStep, 0.0f, 0.0f);
  GlyphQuad quad;
  if (gTextTextures == nullptr || !glyphQuad(*font, c, quad)) return;
  glBindTexture(GL_TEXTURE_2D, gTextTextures->names[font->slot]);
  glEnable(GL_TEXTURE_2D);
  glBegin(GL_QUADS);
  emitGlyph(quad, 0.0f);
  glEnd();
  glDisable(GL_TEXTURE_2D);
}

void fillRect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  unitQuad(toUnits(left), -toUnits(top), toUnits(right), -toUnits(bottom));
}

void drawLine(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  glBegin(GL_LINES);
  glVertex3f(toUnits(x0), -toUnits(y0), 0.0f);
  glVertex3f(toUnits(x1), -toUnits(y1), 0.0f);
  glEnd();
}

void setColourBytes(uint8_t r, uint8_t g, uint8_t b) { glColor3ub(r, g, b); }

Button::Button() = default;

Button::Button(const char* label, int32_t x, int32_t y, int32_t width, int32_t height, int32_t id)
    : label(label), x(x), y(y), width(width), height(height), id(id) {}

void Button::place(const char* newLabel, int32_t newX, int32_t newY, int32_t newWidth, int32_t newHeight,
                   int32_t newId) {
  label = newLabel;
  x = newX;
  y = newY;
  width = newWidth;
  height = newHeight;
  id = newId;
}

void Button::setColour(uint8_t red, uint8_t green, uint8_t blue) {
  colour[0] = red;
  colour[1] = green;
  colour[2] = blue;
}

int32_t Button::track(int32_t mx, int32_t my) {
  // 64-bit sums: a button placed near the int32 limit must not wrap into a false hit.
  hovered = mx > x && my > y && mx < static_cast<int64_t>(x) + width && my < static_cast<int64_t>(y) + height;
  return hovered ? id : 0;
}

bool Button::clicked(int32_t code) {
  if (code == -1) hovered = false;
  return hovered && code == 0;
}

void Button::draw() {
  const float left = toUnits(x);
  const float right = static_cast<float>((static_cast<int64_t>(x) + width) / 384.0);
  const float top = -toUnits(y);
  const float bottom = -static_cast<float>((static_cast<int64_t>(y) + height) / 384.0);

  if (hovered) {
    setColourBytes(185, 185, 128);
  } else {
    setColourBytes(colour[0], colour[1], colour[2]);
  }
  unitQuad(left, top, right, bottom);
  // Same depth as the face and drawn after it: only the strips right of and below it show.
  setColourBytes(141, 135, 127);
  unitQuad(left + 0.01f, top - 0.01f, right + 0.01f, bottom - 0.01f);

  const int32_t cx = static_cast<int32_t>(x + width * 0.5);
  const int32_t cy = static_cast<int32_t>(y + height * 0.5);
  drawText(label, 14, 1, cx, cy);
}

}  // namespace korvalin
