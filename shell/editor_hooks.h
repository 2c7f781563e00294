// Where the editor takes part in the shell's passes. Without an editor the hooks do nothing
// and the program is a complete demo player.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "assets/texture_table.h"
#include "shell/playback_clock.h"
#include "timeline/timeline.h"

namespace korvalin {

// Input gathered by the event pump for one pass; positions are window client coordinates.
struct ShellInput {
  uint8_t lastKey = 0;  // Windows virtual-key code of the last key pressed, 0 = none
  uint8_t leftDown = 0, rightDown = 0, middleDown = 0;
  int32_t wheelStep = 0;  // +1 away from the user, -1 towards, 0 once consumed
  int32_t mouseX = 0, mouseY = 0;
  // --editor mode: a key pressed while Ctrl was held (it never sets lastKey), and Shift with it.
  uint8_t chordKey = 0;
  bool chordShift = false;
};

class Transport;  // shell/transport.h

// What the shell hands to the editor hook-up; all of it outlives the hooks.
struct ShellServices {
  Timeline& timeline;
  PlaybackClock& clock;
  Transport& transport;
  TextureTable& textures;
  std::string projectPath;  // "save.brz"
  bool editorMode;          // --editor: the canvas is visible in a 1024 x 768 window
  double autosaveSeconds = 30.0;  // --editor: unsaved changes are written this often at most
};

class EditorHooks {
 public:
  virtual ~EditorHooks() = default;
  // After every window creation, before the textures are loaded.
  virtual void editorStartup() {}
  // Before the music is resumed; may consume lastKey and wheelStep.
  virtual void editorInput(ShellInput& input) { (void)input; }
  // After the clock is set playing, before the clip times are refreshed.
  virtual void editorKeys() {}
  // First thing of every drawn frame; may seek the clock.
  virtual void editorPass() {}
  // Editor mode: asked before quitting.
  virtual bool hasUnsavedChanges() const { return false; }
  // Editor mode: the "Save" answer of the quit question; quitting goes on only when true.
  virtual bool saveProjectNow() { return true; }
  // Editor mode: the quit goes ahead (the question, if any, was answered).
  virtual void editorQuitting() {}
  // Editor mode: the window title is to show that changes are unsaved. Cheap, asked every pass.
  virtual bool showsUnsaved() const { return false; }
};

// Made once at start-up, before the window exists (the editor reads the project there).
std::unique_ptr<EditorHooks> makeEditorHooks(ShellServices& services);

}  // namespace korvalin
