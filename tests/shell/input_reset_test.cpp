// A new window starts with no key and no button down, and a key held from the window before
// stays a held key: F1 held through a toggle toggles once, however long it is held.
#include <gtest/gtest.h>

#include <vector>

#include "platform/key_map.h"
#include "shell/frame_pass.h"

namespace korvalin {
namespace {

WindowEvent key(EventKind kind, int32_t code, bool repeat = false) {
  WindowEvent e;
  e.kind = kind;
  e.virtualKey = code;
  e.repeat = repeat;
  return e;
}

bool f1Toggles(ShellState& state) { return state.keyState[kVkF1] == 1; }

TEST(NewWindow, HeldKeysNeedARealPressAndButtonsStartUp) {
  ShellState state;
  for (int32_t code : {kVkF1, int32_t{'C'}, kVkEscape}) applyWindowEvent(key(EventKind::kKeyDown, code), state);
  applyWindowEvent(key(EventKind::kKeyUp, kVkEscape), state);
  state.input.leftDown = state.input.rightDown = state.input.middleDown = 1;
  state.input.lastKey = kVkF1;

  // Asked only about keys that were down (each question is a round trip to the window system).
  std::vector<int32_t> asked;
  startWindowInput(state, [&](int32_t code) {
    asked.push_back(code);
    return code == kVkF1;  // C was let go while there was no window
  });
  EXPECT_EQ(asked, (std::vector<int32_t>{'C', kVkF1}));
  EXPECT_EQ(state.input.lastKey, 0);
  EXPECT_EQ(state.input.leftDown + state.input.rightDown + state.input.middleDown, 0);
  for (int32_t down : state.keyState) ASSERT_EQ(down, 0);

  // The held F1's auto-repeat, even unmarked, reaches the editor but toggles nothing.
  for (bool repeat : {false, true}) {
    applyWindowEvent(key(EventKind::kKeyDown, kVkF1, repeat), state);
    EXPECT_FALSE(f1Toggles(state));
    EXPECT_EQ(state.input.lastKey, kVkF1);
  }
  // C was released: its next press is a press.
  applyWindowEvent(key(EventKind::kKeyDown, 'C'), state);
  EXPECT_EQ(state.keyState['C'], 1);

  // Released and pressed again, F1 toggles; a marked repeat of that press does not add one.
  applyWindowEvent(key(EventKind::kKeyUp, kVkF1), state);
  applyWindowEvent(key(EventKind::kKeyDown, kVkF1), state);
  EXPECT_TRUE(f1Toggles(state));
  applyWindowEvent(key(EventKind::kKeyUp, kVkF1), state);
  applyWindowEvent(key(EventKind::kKeyDown, kVkF1, true), state);
  EXPECT_FALSE(f1Toggles(state));

  // A window system that cannot tell leaves every key free for its next press.
  applyWindowEvent(key(EventKind::kKeyDown, kVkF1), state);
  startWindowInput(state, [](int32_t) { return false; });
  applyWindowEvent(key(EventKind::kKeyDown, kVkF1), state);
  EXPECT_TRUE(f1Toggles(state));
}

}  // namespace
}  // namespace korvalin
