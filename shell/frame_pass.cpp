#include "shell/frame_pass.h"

#include <algorithm>

#include "platform/key_map.h"

namespace korvalin {

EventAction applyWindowEvent(const WindowEvent& event, ShellState& state) {
  ShellInput& input = state.input;
  const bool knownKey = event.virtualKey > 0 && event.virtualKey <= 255;
  switch (event.kind) {
    case EventKind::kQuitPosted:
      return EventAction::kLeaveLoop;
    case EventKind::kToggleRequested:
      state.fullscreenWanted = !state.fullscreenWanted;
      return EventAction::kToggleRequested;
    case EventKind::kCloseRequested:
      return EventAction::kQuitRequested;
    case EventKind::kTerminated:
      return EventAction::kTerminate;
    case EventKind::kKeyDown:
      // The one place where --editor mode takes keys for itself: one pressed with Ctrl never
      // reaches the keys of the no-argument mode (Ctrl+Y is no save, Ctrl+Escape no quit).
      if (state.editorMode && event.ctrl) {
        if (knownKey) {
          input.chordKey = static_cast<uint8_t>(event.virtualKey);
          input.chordShift = event.shift;
        }
        return EventAction::kNone;
      }
      if (knownKey) {
        input.lastKey = static_cast<uint8_t>(event.virtualKey);
        // A repeat belongs to a key pressed earlier, perhaps in the window before an F1
        // toggle; it must not bring back a state the new window started without. The window
        // system cannot always tell: a new window's first repeat looks like a press.
        if (!event.repeat && !state.heldOver[event.virtualKey]) state.keyState[event.virtualKey] = 1;
      }
      return EventAction::kNone;
    case EventKind::kKeyUp:
      if (knownKey) {
        input.lastKey = 0;
        state.keyState[event.virtualKey] = 0;
        state.heldOver[event.virtualKey] = false;
      }
      return EventAction::kNone;
    case EventKind::kButtonDown:
    case EventKind::kButtonUp: {
      const uint8_t down = event.kind == EventKind::kButtonDown ? 1 : 0;
      if (event.button == 0) input.leftDown = down;
      if (event.button == 1) input.middleDown = down;
      if (event.button == 2) input.rightDown = down;
      return EventAction::kNone;
    }
    case EventKind::kWheel:
      input.wheelStep = event.wheelStep;
      return EventAction::kNone;
    case EventKind::kMinimized:
      state.active = false;
      return EventAction::kNone;
    case EventKind::kRestored:
      state.active = true;
      return EventAction::kResize;
    case EventKind::kMouseMove:
    case EventKind::kOther:
      return EventAction::kNone;
  }
  return EventAction::kNone;
}

void startWindowInput(ShellState& state, const std::function<bool(int32_t)>& stillHeld) {
  for (int32_t key = 0; key < 256; ++key) {
    state.heldOver[key] = state.keyState[key] == 1 && stillHeld(key);
  }
  state.keyState.fill(0);
  state.input.lastKey = 0;
  // The old window took the buttons' releases with it; a button still down acts only after it
  // is pressed again in the new one.
  state.input.leftDown = state.input.rightDown = state.input.middleDown = 0;
}

void forgetReleasedKeys(ShellState& state, const std::function<bool(int32_t)>& stillHeld) {
  for (int32_t key = 0; key < 256; ++key) {
    if (state.heldOver[key]) state.heldOver[key] = stillHeld(key);
  }
}

int32_t cursorWrapTarget(int32_t y, int32_t clientHeight) {
  if (y <= 2) return std::max<int32_t>(0, std::min<int32_t>(766, clientHeight - 1));
  if (y >= 766) return 2;
  return -1;
}

PassRequests updateFrame(ShellState& state, EditorHooks& hooks, Transport& transport,
                         Timeline& timeline) {
  PassRequests requests;
  requests.quit = state.keyState[kVkEscape] == 1;
  requests.toggleFullscreen = state.keyState[kVkF1] == 1;
  hooks.editorInput(state.input);
  transport.resumePlaying();
  hooks.editorKeys();
  timeline.syncAllClipTimes();
  return requests;
}

FrameEnd drawFrame(EditorHooks& hooks, Transport& transport, bool editorMode,
                   const std::function<void(float)>& drawDemo) {
  hooks.editorPass();
  drawDemo(transport.playPosition());
  transport.syncClockToMusic();
  if (!transport.musicEnded()) return FrameEnd::kContinue;
  if (!editorMode) return FrameEnd::kMusicEnded;
  transport.rewind();
  return FrameEnd::kLooped;
}

bool confirmQuit(EditorHooks& hooks, bool editorMode, const std::function<QuitAnswer()>& ask) {
  if (!editorMode || !hooks.hasUnsavedChanges()) return true;
  switch (ask()) {
    case QuitAnswer::kSave:
      return hooks.saveProjectNow();
    case QuitAnswer::kDiscard:
      return true;
    case QuitAnswer::kCancel:
      return false;
  }
  return false;
}

}  // namespace korvalin
