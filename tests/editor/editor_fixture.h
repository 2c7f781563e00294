// A fresh Timeline and Editor over a project file in a private temporary folder, driven one pass
// at a time in the shell's order.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "editor/editor.h"

namespace korvalin::test {

struct Pass {
  int32_t x = 0, y = 0;
  bool left = false, middle = false, right = false;
  int32_t wheel = 0;
  uint8_t key = 0;
};

inline std::vector<uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class EditorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/korvalin-editor-XXXXXX";
    const char* made = mkdtemp(pattern);
    ASSERT_NE(made, nullptr);
    dir = made;
    path = dir + "/save.brz";
  }
  void TearDown() override {
    editor.reset();
    std::filesystem::remove_all(dir);
  }
  void writeProject(const Timeline& project) { ASSERT_TRUE(saveProject(project, path, nullptr)); }
  void startWith(const Timeline& project) {
    writeProject(project);
    editor = std::make_unique<Editor>(timeline, nullptr, path);
  }

  // The update half of one pass, then what drawRow and drawBars record for hover (each track's
  // row, its bars' rowY) without drawing.
  void run(const Pass& p) {
    editor->mouseMove(p.x, p.y);
    if (p.wheel != 0) editor->wheel(p.wheel);
    if (p.left) editor->mouseButton(0);
    if (p.middle) editor->mouseButton(1);
    if (p.right) editor->mouseButton(2);
    if (!p.left && !p.middle && !p.right) editor->releaseButtons();
    if (p.key != 0) editor->setPendingKey(p.key);
    editor->handleKey();
    timeline.syncAllClipTimes();
    for (LayerTrack& layer : timeline.tracks) {
      layer.row = layer.index + editor->trackScroll;
      if (layer.row < 0 || layer.row >= kVisibleRows) continue;
      for (ClipBar& bar : layer.bars) bar.rowY = 599 + kRowPitch * layer.row;
    }
  }
  void key(uint8_t code) { run(Pass{editor->mouseX, editor->mouseY, false, false, false, 0, code}); }
  // Canvas y in the middle of the row a layer shows in.
  int32_t rowMiddle(int32_t layer) const { return 611 + kRowPitch * (layer + editor->trackScroll); }

  std::string dir, path;
  Timeline timeline;
  std::unique_ptr<Editor> editor;
};

}  // namespace korvalin::test
