// A fresh Timeline and Editor over a project file in a private temporary folder, and helpers
// that drive the Editor one pass at a time in the shell's order.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "editor/editor.h"
#include "timeline/project_file.h"
#include "timeline/timeline.h"

namespace korvalin::test {

// Input of one pass, as the shell hands it over.
struct Pass {
  int32_t x = 0, y = 0;
  bool left = false, middle = false, right = false;
  int32_t wheel = 0;
  uint8_t key = 0;
};

inline std::string makeTempDir() {
  char pattern[] = "/tmp/korvalin-editor-XXXXXX";
  const char* dir = mkdtemp(pattern);
  return dir != nullptr ? std::string(dir) : std::string("/tmp");
}

inline std::vector<uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

class EditorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = makeTempDir();
    path = dir + "/save.brz";
  }
  void TearDown() override {
    editor.reset();
    std::remove(path.c_str());
    rmdir(dir.c_str());
  }

  // Writes `project` as the project file, then constructs the Editor, which reads it.
  void startWith(const Timeline& project) {
    writeProject(project);
    startEditor();
  }
  void writeProject(const Timeline& project) {
    std::string error;
    ASSERT_TRUE(saveProject(project, path, &error)) << error;
  }
  void startEditor() { editor = std::make_unique<Editor>(timeline, nullptr, path); }

  // What drawRow and drawBars record for hover without drawing: each track's row and, for
  // visible rows, its bars' rowY.
  void layOut() {
    for (LayerTrack& layer : timeline.tracks) {
      layer.row = layer.index + editor->trackScroll;
      if (layer.row < 0 || layer.row >= kVisibleRows) continue;
      for (ClipBar& bar : layer.bars) bar.rowY = 599 + kRowPitch * layer.row;
    }
  }

  // The update half of one pass in the shell's order, then the timeline layout of the draw.
  void run(const Pass& p) {
    editor->mouseMove(p.x, p.y);
    editor->setPlayCursor(editor->playCursor);
    if (p.wheel != 0) editor->wheel(p.wheel);
    if (p.left) {
      editor->mouseButton(0);
      editor->transportHit(0);
    }
    if (p.middle) editor->mouseButton(1);
    if (p.right) editor->mouseButton(2);
    if (!p.left && !p.middle && !p.right) editor->releaseButtons();
    if (p.key != 0) editor->setPendingKey(p.key);
    editor->handleKey();
    timeline.syncAllClipTimes();
    layOut();
  }

  void key(uint8_t code) { run(Pass{editor->mouseX, editor->mouseY, false, false, false, 0, code}); }

  // Canvas y in the middle of the row a layer shows in.
  int32_t rowMiddle(int32_t layer) const { return 611 + kRowPitch * (layer + editor->trackScroll); }

  std::string dir, path;
  Timeline timeline;
  std::unique_ptr<Editor> editor;
};

}  // namespace korvalin::test
