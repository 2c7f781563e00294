// The editor benchmarks' shared canvas: one hidden 1024 x 768 GL window and pattern font sheets.
#pragma once

#include <GL/gl.h>

#include <vector>

#include "assets/texture_table.h"
#include "tests/common/gl_test_context.h"

namespace korvalin::bench {

inline test::GlTestContext& canvasContext() {
  static test::GlTestContext ctx(1024, 768);
  return ctx;
}

// Font sheets (512 x 256) with ink in half of every cell, made once in the canvas context.
inline TextureTable& patternSheets() {
  static TextureTable table = [] {
    TextureTable t;
    constexpr int w = 512, h = 256;
    std::vector<uint8_t> rgba(w * h * 4, 0);
    for (int i = 0; i < w * h; ++i) rgba[i * 4 + 3] = ((i / w) / 4 + (i % w) / 4) % 2 ? 255 : 0;
    for (int slot = 0; slot < 3; ++slot) {  // the three font sheet slots
      glGenTextures(1, &t.names[slot]);
      glBindTexture(GL_TEXTURE_2D, t.names[slot]);
      glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    }
    return t;
  }();
  return table;
}

}  // namespace korvalin::bench
