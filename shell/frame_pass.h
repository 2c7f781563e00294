// The rules of one pass of the main loop, apart from the window and OpenGL so that tests can
// run them pass by pass: what each window event does to the input state, updateFrame,
// drawFrame around the demo picture, and the quit question of editor mode.
#pragma once

#include <array>
#include <cstdint>
#include <functional>

#include "platform/message_box.h"
#include "platform/window.h"
#include "shell/editor_hooks.h"
#include "shell/transport.h"
#include "timeline/timeline.h"

namespace korvalin {

struct ShellState {
  ShellInput input;
  std::array<int32_t, 256> keyState{};  // down flags by virtual-key code
  bool active = true;                   // shown and not minimised: the loop draws
  bool running = true;                  // the outer loop makes another window
  bool fullscreenWanted = true;         // the mode of the next window
  bool lastWasMouseMove = false;        // the last event taken was a mouse move
  bool editorMode = false;              // --editor: Ctrl+key goes to the editor's extensions
  // Keys held down since before the current window appeared: their auto-repeat is no new press.
  std::array<bool, 256> heldOver{};
};

// What a new window starts with: no last key, no key and no mouse button down. A key that was
// down in the window before and is still held (`stillHeld`, by virtual-key code) is remembered
// in heldOver until it is released, so that one press of F1 toggles once however long it is held.
void startWindowInput(ShellState& state, const std::function<bool(int32_t)>& stillHeld);

// A key held over whose release reached no window (let go before the new one had the keyboard)
// is free again for its next press. Asks `stillHeld` only about keys held over, once a pass.
void forgetReleasedKeys(ShellState& state, const std::function<bool(int32_t)>& stillHeld);

// What the loop must do after an event.
enum class EventAction { kNone, kLeaveLoop, kQuitRequested, kTerminate, kToggleRequested, kResize };

// The window procedure: records keys, buttons, wheel and activity in `state`.
EventAction applyWindowEvent(const WindowEvent& event, ShellState& state);

// The y the cursor is moved to after a move to `y` (wrapping at the top and bottom edges),
// or -1 when it stays. The target is kept inside the client area.
int32_t cursorWrapTarget(int32_t y, int32_t clientHeight);

struct PassRequests {
  bool quit = false;
  bool toggleFullscreen = false;
};

// Escape and F1, the editor's input, music resumed and clock playing, the editor's key, and
// every clip's times taken from its bar.
PassRequests updateFrame(ShellState& state, EditorHooks& hooks, Transport& transport,
                         Timeline& timeline);

enum class FrameEnd { kContinue, kMusicEnded, kLooped };

// The editor pass, the demo at the clock's position (drawn by `drawDemo`), the clock re-based
// on the music and the end-of-music test. In editor mode the music's end rewinds music and
// clock to 0 instead of ending the program.
FrameEnd drawFrame(EditorHooks& hooks, Transport& transport, bool editorMode,
                   const std::function<void(float)>& drawDemo);

// Whether a quit (Escape, window close) may go ahead. In editor mode unsaved changes are
// asked about first: "Save" quits only once the project is written.
bool confirmQuit(EditorHooks& hooks, bool editorMode, const std::function<QuitAnswer()>& ask);

}  // namespace korvalin
