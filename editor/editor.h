// The Editor: the whole editing interface over the shell's Timeline. The shell drives it once
// per pass, always in this order:
//   mouseMove, setPlayCursor, wheel (when turned), mouseButton(0) + transportHit(0) while the left
//   button is down, mouseButton(1), mouseButton(2) while down, releaseButtons when none is down,
//   setPendingKey (when a key came), handleKey;
// and later in the pass drawEditor, whose result is the play position the clock is to take.
// The Editor never reads platform input itself.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "editor/parameter_panel.h"
#include "editor/timeline_view.h"
#include "editor/ui_draw.h"
#include "editor/value_field.h"
#include "timeline/project_file.h"
#include "timeline/timeline.h"

namespace korvalin {

struct TextureTable;
class MusicAids;
class EditHistory;

// Virtual-key codes of the editor's bindings; letters also match their lower-case codes.
enum EditorKey : uint8_t {
  kKeyDelete = 0x2E,
  kKeyHome = 0x24,
  kKeyLeft = 0x25,
  kKeyRight = 0x27,
  kKeyC = 0x43,
  kKeyL = 0x4C,
  kKeyN = 0x4E,
  kKeyY = 0x59,
};

class Editor {
 public:
  // Reads the project at projectPath last of all (a missing file leaves the layers empty
  // silently; one that cannot be read or is malformed is reported on standard error and also
  // leaves them empty, and the first save keeps it under another name).
  // textures feeds the Layer 2D panel's preview and may be nullptr.
  Editor(Timeline& timeline, const TextureTable* textures, std::string projectPath);
  Editor(const Editor&) = delete;
  Editor& operator=(const Editor&) = delete;

  // --- update half of a pass ---
  void mouseMove(int32_t x, int32_t y);
  void setPlayCursor(float t);
  void wheel(int32_t step);
  // Called every pass while that button (0 left, 1 middle, 2 right) is down.
  void mouseButton(int32_t code);
  // Called in a pass in which no button is down.
  void releaseButtons();
  void setPendingKey(uint8_t code);
  void handleKey();
  // 1 Play, 2 Pause, 3 Stop when that transport button is clicked with code, else 0.
  int32_t transportHit(int32_t code);
  void setViewStart(float t);

  // --- draw half ---
  // Draws the canvas (the shell has set up the view) and returns the play position to take.
  float drawEditor();

  // --- view ---
  void setZoom(int32_t z);
  void addZoom(int32_t d);
  void shiftGrid(int32_t d);

  // --- commands ---
  void createParameterPanel();
  // Writes the project, keeping the file it replaces as save.brz.bak, or, when that file could
  // not be read, as save.brz.unreadable (with one line saying so). On failure prints one line on
  // standard error and returns false.
  bool saveProject();
  // Replaces the project from the file. On failure (missing, unreadable or malformed) prints one
  // line on standard error, and the project, the selection and the panel stay as they were; a
  // file that is there but could not be read is kept under another name by the next save.
  LoadResult loadProject();
  // The project in memory differs from what was last loaded or saved.
  bool hasUnsavedChanges() const;

  Timeline& timeline;
  const TextureTable* textures;
  std::string projectPath;

  int32_t mouseX = 0, mouseY = 0;
  int32_t trackScroll = 0;
  float viewStart = 0.0f;
  float viewSpan = 15.0f;
  int32_t zoom = kInitialZoom;
  int32_t zoomAnchorY = 0;
  float playCursor = 0.0f;
  std::unique_ptr<ParameterPanel> panel;
  PlayMarker playMarker;
  bool leftHeld = false, rightHeld = false, middleHeld = false;
  std::vector<Button> transportButtons;
  std::vector<Button> chooserButtons;
  float newClipLayer = 0.0f, newClipStart = 0.0f, newClipLength = 0.0f;
  IntField layerField;
  FloatField startField, lengthField;
  Button proceedButton, cancelButton;
  uint8_t pendingKey = 0;
  int32_t lastTransport = 0;

  // Bars off the visible time span are skipped while drawing; off only to prove it changes
  // nothing.
  bool cullBars = true;

  // Waveform, beat grid and snapping, loop range (--editor mode). Without them G, I, O and K do
  // nothing and every drag follows the plain rules.
  MusicAids* aids = nullptr;

  // Undo and redo (--editor mode): told of every action that changes the project. Without one
  // the editor is exactly the one of the no-argument mode.
  EditHistory* history = nullptr;

 private:
  void rebuildChooser();
  void trackDialog();
  void drawChooser();
  void drawNewOperatorDialog();
  bool keyIs(char upper) const;

  // What the last load found decides how the next save keeps the file on disk.
  void noteLoad(LoadResult result);

  // encodeProject of the project as last loaded or saved.
  std::vector<uint8_t> storedBytes_;
  KeepPrevious keepOnSave_ = KeepPrevious::kBackup;
};

}  // namespace korvalin
