// A fresh Timeline and Editor over a project file in a private temporary folder, driven one pass
// at a time in the shell's order, each pass drawn on the canvas as the shell draws it.
#pragma once

#include <filesystem>
#include <fstream>

#include "editor/editor.h"
#include "tests/common/canvas.h"

namespace korvalin::test {

constexpr int L = 1, R = 4;  // buttons held in a pass
const Rgb kEvenRow{167, 165, 160}, kOddRow{174, 172, 167}, kGrid{184, 182, 177}, kBlue{128, 128, 255};

inline std::vector<uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class EditorTest : public CanvasTest {
 protected:
  void SetUp() override {
    CanvasTest::SetUp();
    char pattern[] = "/tmp/korvalin-editor-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    path = std::string(pattern) + "/save.brz";
  }
  void TearDown() override {
    std::filesystem::remove_all(std::filesystem::path(path).parent_path());  // saves leave a .bak beside the project
  }
  void writeProject(const Timeline& project) { ASSERT_TRUE(saveProject(project, path, nullptr)); }
  void start(const Timeline& project) {
    writeProject(project);
    editor = std::make_unique<Editor>(timeline, nullptr, path);
    pass(0, 0);
  }
  // One pass: the update half in the shell's order, then the canvas drawn; returns the play
  // position the clock is to take.
  float pass(int32_t x, int32_t y, int buttons = 0, int32_t wheel = 0, uint8_t key = 0) {
    editor->mouseMove(x, y);
    editor->setPlayCursor(cursor);
    if (wheel != 0) editor->wheel(wheel);
    if (buttons & L) editor->mouseButton(0);
    if (buttons & R) editor->mouseButton(2);
    if (buttons == 0) editor->releaseButtons();
    if (key != 0) editor->setPendingKey(key);
    editor->handleKey();
    timeline.syncAllClipTimes();
    clear();
    return editor->drawEditor();
  }
  void key(uint8_t code) { pass(editor->mouseX, editor->mouseY, 0, 0, code); }
  // A hover at the first x, a press there, a pass at each x with the button held, a release at
  // the last: a click when there is one x.
  void drag(std::vector<int32_t> xs, int32_t y, int button = L) {
    pass(xs.front(), y);
    for (int32_t x : xs) pass(x, y, button);
    pass(xs.back(), y);
  }

  std::string path;
  Timeline timeline;
  std::unique_ptr<Editor> editor;
  float cursor = 0.0f;  // the play position each pass hands the editor
};

}  // namespace korvalin::test
