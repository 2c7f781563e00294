// What window events do to the shell's input state, the cursor wrap and the quit question.
#include <gtest/gtest.h>

#include "platform/key_map.h"
#include "shell/frame_pass.h"
#include "tests/shell/fakes.h"

namespace korvalin {
namespace {

WindowEvent key(EventKind kind, int32_t vk, bool repeat = false) {
  WindowEvent event;
  event.kind = kind;
  event.virtualKey = vk;
  event.repeat = repeat;
  return event;
}

WindowEvent button(EventKind kind, int32_t index) {
  WindowEvent event;
  event.kind = kind;
  event.button = index;
  return event;
}

TEST(WindowEvents, KeysSetLastKeyAndTheirFlag) {
  ShellState state;
  applyWindowEvent(key(EventKind::kKeyDown, 'C'), state);
  applyWindowEvent(key(EventKind::kKeyDown, kVkDelete), state);
  EXPECT_EQ(state.input.lastKey, kVkDelete);
  EXPECT_EQ(state.keyState['C'], 1);
  EXPECT_EQ(state.keyState[kVkDelete], 1);

  // Any release clears lastKey, even with another key still down.
  applyWindowEvent(key(EventKind::kKeyUp, 'C'), state);
  EXPECT_EQ(state.input.lastKey, 0);
  EXPECT_EQ(state.keyState['C'], 0);
  EXPECT_EQ(state.keyState[kVkDelete], 1);

  // Keys without a virtual-key code change nothing.
  applyWindowEvent(key(EventKind::kKeyDown, kVkDelete), state);
  applyWindowEvent(key(EventKind::kKeyUp, 0), state);
  applyWindowEvent(key(EventKind::kKeyDown, 0), state);
  applyWindowEvent(key(EventKind::kKeyDown, 300), state);
  EXPECT_EQ(state.input.lastKey, kVkDelete);
}

TEST(WindowEvents, ARepeatReachesTheEditorButNotTheKeyFlags) {
  // F1 held across a toggle: the new window starts cleared and must not toggle again.
  ShellState state;
  applyWindowEvent(key(EventKind::kKeyDown, kVkF1, true), state);
  EXPECT_EQ(state.keyState[kVkF1], 0);
  EXPECT_EQ(state.input.lastKey, kVkF1);
  applyWindowEvent(key(EventKind::kKeyDown, kVkF1, false), state);
  EXPECT_EQ(state.keyState[kVkF1], 1);
}

TEST(WindowEvents, ButtonsWheelAndActivity) {
  ShellState state;
  applyWindowEvent(button(EventKind::kButtonDown, 0), state);
  applyWindowEvent(button(EventKind::kButtonDown, 1), state);
  applyWindowEvent(button(EventKind::kButtonDown, 2), state);
  EXPECT_EQ(state.input.leftDown, 1);
  EXPECT_EQ(state.input.middleDown, 1);
  EXPECT_EQ(state.input.rightDown, 1);
  applyWindowEvent(button(EventKind::kButtonUp, 1), state);
  EXPECT_EQ(state.input.leftDown, 1);
  EXPECT_EQ(state.input.middleDown, 0);
  EXPECT_EQ(state.input.rightDown, 1);

  WindowEvent wheel;
  wheel.kind = EventKind::kWheel;
  wheel.wheelStep = -1;
  applyWindowEvent(wheel, state);
  EXPECT_EQ(state.input.wheelStep, -1);

  WindowEvent minimised;
  minimised.kind = EventKind::kMinimized;
  EXPECT_EQ(applyWindowEvent(minimised, state), EventAction::kNone);
  EXPECT_FALSE(state.active);
  WindowEvent restored;
  restored.kind = EventKind::kRestored;
  EXPECT_EQ(applyWindowEvent(restored, state), EventAction::kResize);
  EXPECT_TRUE(state.active);
}

TEST(WindowEvents, QuitCloseAndToggle) {
  ShellState state;
  WindowEvent event;
  event.kind = EventKind::kCloseRequested;
  EXPECT_EQ(applyWindowEvent(event, state), EventAction::kQuitRequested);
  event.kind = EventKind::kQuitPosted;
  EXPECT_EQ(applyWindowEvent(event, state), EventAction::kLeaveLoop);
  event.kind = EventKind::kToggleRequested;
  EXPECT_EQ(applyWindowEvent(event, state), EventAction::kToggleRequested);
  EXPECT_FALSE(state.fullscreenWanted);
  EXPECT_EQ(applyWindowEvent(event, state), EventAction::kToggleRequested);
  EXPECT_TRUE(state.fullscreenWanted);
  EXPECT_TRUE(state.running);
}

TEST(CursorWrap, WrapsAtTopAndBottomInsideTheClientArea) {
  EXPECT_EQ(cursorWrapTarget(0, 768), 766);
  EXPECT_EQ(cursorWrapTarget(2, 768), 766);
  EXPECT_EQ(cursorWrapTarget(3, 768), -1);
  EXPECT_EQ(cursorWrapTarget(765, 768), -1);
  EXPECT_EQ(cursorWrapTarget(766, 768), 2);
  EXPECT_EQ(cursorWrapTarget(767, 768), 2);
  // The 640 x 480 window: to its bottom row, as the full screen of that size would clamp it.
  EXPECT_EQ(cursorWrapTarget(1, 480), 479);
  EXPECT_EQ(cursorWrapTarget(479, 480), -1);
}

TEST(QuitQuestion, AskedOnlyInEditorModeWithUnsavedChanges) {
  test::ScriptedHooks hooks;
  int asked = 0;
  auto answer = [&](QuitAnswer a) {
    return [&asked, a] {
      ++asked;
      return a;
    };
  };
  hooks.unsaved = true;
  EXPECT_TRUE(confirmQuit(hooks, false, answer(QuitAnswer::kCancel)));
  hooks.unsaved = false;
  EXPECT_TRUE(confirmQuit(hooks, true, answer(QuitAnswer::kCancel)));
  EXPECT_EQ(asked, 0);

  hooks.unsaved = true;
  EXPECT_FALSE(confirmQuit(hooks, true, answer(QuitAnswer::kCancel)));
  EXPECT_TRUE(confirmQuit(hooks, true, answer(QuitAnswer::kDiscard)));
  EXPECT_EQ(hooks.saves, 0);
  EXPECT_TRUE(confirmQuit(hooks, true, answer(QuitAnswer::kSave)));
  EXPECT_EQ(hooks.saves, 1);
  // A save that fails keeps the program (and the unsaved work) alive.
  hooks.saveSucceeds = false;
  EXPECT_FALSE(confirmQuit(hooks, true, answer(QuitAnswer::kSave)));
  EXPECT_EQ(hooks.saves, 2);
  EXPECT_EQ(asked, 4);
}

}  // namespace
}  // namespace korvalin
