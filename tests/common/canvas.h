// The editor's 1024 x 768 canvas in a hidden llvmpipe window, set up as the shell's editor pass
// sets it up, with font sheets in which every glyph carries its own character code: each cell is
// split 2 wide by 4 high and inked where (code << 1 | 1) has a bit set, the low bit top left. Text
// on the canvas can then be read back, which checks the character-to-cell mapping, the pen steps
// and the baseline all at once.
#pragma once

#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "assets/texture_table.h"
#include "editor/ui_draw.h"
#include "tests/common/gl_test_context.h"
#include "tests/common/leak_check.h"

namespace korvalin::test {

struct Rgb {
  int r, g, b;
  bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};
inline std::ostream& operator<<(std::ostream& o, const Rgb& c) { return o << "(" << c.r << ", " << c.g << ", " << c.b << ")"; }
inline constexpr Rgb kCanvas{199, 193, 184}, kBlack{0, 0, 0};

// Per text size: cell width and height (texture units), pen step (units before the 1.4 scale)
// and the whole-pixel layout advance.
struct FontCell {
  double width, height, pen;
  int advance;
};
inline FontCell fontCell(int size) {
  if (size == 12) return {0.014122916385531425, 0.23, 0.014122916385531425, 7};
  if (size == 14) return {0.016625, 0.269, 0.015625, 9};
  return {0.021184375509619713, 0.3333, 0.021184375509619713, 11};
}

// A texel that only partly covers a cell's marker (its top-left quarter) is inked too, so that a
// glyph's first pixel row and column show the marker wherever the edges fall.
inline uint32_t makeCodeSheet(int size) {
  const FontCell cell = fontCell(size);
  constexpr int w = 1024, h = 256;
  // White ink: text is black only because drawText sets the colour.
  std::vector<uint8_t> rgba(w * h * 4, 255);
  for (int j = 0; j < h; ++j) {
    for (int i = 0; i < w; ++i) {
      const double across = (i + 0.5) / w / cell.width, down = (1.0 - (j + 0.5) / h) / cell.height;
      const double acrossEnd = (i + 1.0) / w / cell.width, downEnd = (1.0 - j / static_cast<double>(h)) / cell.height;
      const int column = static_cast<int>(across), row = static_cast<int>(down);
      const int bit = static_cast<int>((down - row) * 4) * 2 + (across - column < 0.5 ? 0 : 1);
      const bool glyph = column < 32 && row < 3 && ((32 + 32 * row + column) << 1 | 1) >> bit & 1;
      const int nextColumn = static_cast<int>(acrossEnd), nextRow = static_cast<int>(downEnd);
      const bool marker = acrossEnd - nextColumn < 0.5 && nextColumn < 32 && downEnd - nextRow < 0.25 && nextRow < 3;
      rgba[(j * w + i) * 4 + 3] = glyph || (marker && (nextColumn != column || nextRow != row)) ? 255 : 0;
    }
  }
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
  for (GLenum filter : {GL_TEXTURE_MIN_FILTER, GL_TEXTURE_MAG_FILTER}) glTexParameteri(GL_TEXTURE_2D, filter, GL_NEAREST);
  return name;
}

class CanvasTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    gl = new GlTestContext(1024, 768);
    int slot = 0;
    for (int size : {12, 14, 18}) font.names[slot++] = gl->ok() ? makeCodeSheet(size) : 0;
  }
  static void TearDownTestSuite() {
    setTextTextures(nullptr);
    delete gl;
    gl = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(gl->ok()) << gl->error();
    setTextTextures(&font);
    clear();
  }

  // The window's default projection, then the editor pass's set-up.
  static void clear() {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(90.0, 1024.0 / 768.0, 0.1, 2000.0);
    glMatrixMode(GL_MODELVIEW);
    glLineWidth(1.0f);
    beginEditorCanvas();
    glEnable(GL_DEPTH_TEST);
  }
  void grab() { pixels = gl->readPixels(0, 0, 1024, 768); }
  // Canvas pixel (y downwards) of the last grab.
  Rgb at(int x, int y) const {
    const size_t i = (static_cast<size_t>(767 - y) * 1024 + x) * 4;
    return {pixels[i], pixels[i + 1], pixels[i + 2]};
  }
  struct Probe {
    int x, y;
    Rgb want;
  };
  void expectPixels(std::initializer_list<Probe> probes, int tolerance = 0) const {
    for (const Probe& p : probes) {
      const Rgb c = at(p.x, p.y);
      EXPECT_LE(std::max({std::abs(c.r - p.want.r), std::abs(c.g - p.want.g), std::abs(c.b - p.want.b)}), tolerance)
          << "at " << p.x << "," << p.y << ": " << c << ", expected " << p.want;
    }
  }
  // A translucent colour over an opaque one, blended by source alpha.
  static Rgb over(Rgb src, double alpha, Rgb dst) {
    auto mix = [&](int s, int d) { return static_cast<int>(s * alpha + d * (1.0 - alpha) + 0.5); };
    return {mix(src.r, dst.r), mix(src.g, dst.g), mix(src.b, dst.b)};
  }
  bool ink(int x, int y) const { return std::max({at(x, y).r, at(x, y).g, at(x, y).b}) < 60; }
  // The pixels a shape from canvas x (or y) lo to hi covers: those whose centres lie inside. The
  // canvas origin sits 0.0256 pixels left of the window's (the shell translates by 1.3334).
  static std::pair<int, int> covered(double lo, double hi, bool isX) {
    const double shift = isX ? 0.0256 : 0.0;
    return {static_cast<int>(std::ceil(lo - shift - 0.5)), static_cast<int>(std::ceil(hi - shift - 0.5)) - 1};
  }
  // n glyphs of text drawn not centred at (x, y); '\1' where a pen step holds no glyph.
  // upperOnly reads only the top three quarters of each glyph, for text in codes 32-63 (numbers)
  // inside a value box, whose frame runs through the glyphs' lowest quarter.
  std::string text(int size, int x, int y, int n, bool upperOnly = false) const {
    const FontCell cell = fontCell(size);
    const double pen = cell.pen * 1.4 * 384, w = cell.width * 1.4 * 384, h = cell.height * 0.125 * 1.4 * 384;
    const double top = y + cell.advance - h;
    std::string out;
    for (int k = 0; k < n; ++k) {
      int v = 0;
      for (int bit = 0; bit < 8; ++bit) {
        const double sx = x + (k + 1) * pen + w * (bit % 2 + 0.5) / 2, sy = top + h * (bit / 2 + 0.5) / 4;
        if (ink(static_cast<int>(std::floor(sx)), static_cast<int>(std::floor(sy)))) v |= 1 << bit;
      }
      if (upperOnly) v = (v & 0x3f) | 0x40;
      out += (v & 1) ? static_cast<char>(v >> 1) : '\1';
    }
    // The first glyph's marker, its top-left quarter, must start on the exact pixel: a text one
    // pixel off its place reads '~' first. (The pixels left of and above it must be free of ink.)
    const int left = covered(x + pen, 0, true).first, first = std::max(0, covered(top, 0, false).first);
    if (n > 0 && out[0] != '\1' && (!ink(left, first) || ink(left - 1, first) || (first > 0 && ink(left, first - 1)))) {
      out = "~" + out;
    }
    return out;
  }
  // The same for text drawn centred: shifted left by half the layout width of two more glyphs.
  std::string centred(int size, int x, int y, const std::string& expected) const {
    const int n = static_cast<int>(expected.size());
    return text(size, x - fontCell(size).advance * (n + 2) / 2, y, n);
  }

  inline static GlTestContext* gl = nullptr;
  inline static TextureTable font;
  std::vector<uint8_t> pixels;
};

}  // namespace korvalin::test
