// The editor benchmarks' shared canvas: one hidden 1024 x 768 GL window and pattern font sheets.
#pragma once

#include "assets/texture_table.h"
#include "tests/common/gl_test_context.h"

namespace korvalin::bench {

inline test::GlTestContext& canvasContext() {
  static test::GlTestContext ctx(1024, 768);
  return ctx;
}

// Font sheets with ink in half of every cell, made once in the canvas context.
inline TextureTable& patternSheets() {
  static TextureTable table = [] {
    TextureTable t;
    test::makePatternFontSheets(t.names);
    return t;
  }();
  return table;
}

}  // namespace korvalin::bench
