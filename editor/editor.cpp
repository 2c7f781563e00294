#include "editor/editor.h"

#include "editor/music_aids.h"
#include "editor/history.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <utility>

namespace korvalin {

namespace {

constexpr int32_t kPanelAreaBottom = 600;  // the wheel acts on the panel at y <= 600

// "New operator" dialog layout.
constexpr int32_t kDialogX = 650;
const char* const kLayerLabel = "Layer      : ";
const char* const kStartLabel = "Start time : ";
const char* const kLengthLabel = "Length     : ";

bool colourForClass(int32_t colourClass, uint8_t rgb[3]) {
  static const uint8_t kFaces[4][3] = {{128, 255, 128}, {128, 128, 255}, {255, 255, 128}, {255, 128, 128}};
  if (colourClass < 0 || colourClass > 3) return false;
  for (int i = 0; i < 3; ++i) rgb[i] = kFaces[colourClass][i];
  return true;
}

}  // namespace

Editor::Editor(Timeline& timelineIn, const TextureTable* texturesIn, std::string projectPathIn)
    : timeline(timelineIn), textures(texturesIn), projectPath(std::move(projectPathIn)) {
  setZoom(kInitialZoom);

  storedBytes_ = encodeProject(timeline);
  std::string error;
  const LoadResult result = korvalin::loadProject(timeline, projectPath, &error);
  if (result != LoadResult::kLoaded && result != LoadResult::kMissing) {
    std::fprintf(stderr, "%s\n", error.c_str());
  }
  noteLoad(result);

  transportButtons.emplace_back("Play", 20, 490, 60, 20, 1);
  transportButtons.emplace_back("Pause", 85, 490, 60, 20, 1);
  transportButtons.emplace_back("Stop", 150, 490, 60, 20, 1);
}

// --- update half -----------------------------------------------------------------------------

void Editor::mouseMove(int32_t x, int32_t y) {
  mouseX = x;
  mouseY = y;
  if (middleHeld) {
    // Moving up by n pixels zooms in by n; taken wide, as positions come from outside.
    const int64_t d = static_cast<int64_t>(zoomAnchorY) - y;
    addZoom(static_cast<int32_t>(std::max<int64_t>(INT32_MIN, std::min<int64_t>(INT32_MAX, d))));
    zoomAnchorY = y;
  }
  playMarker.track(mouseX, mouseY, zoom);
  for (LayerTrack& layer : timeline.tracks) {
    if (aids != nullptr) {
      aids->track(layer, mouseX, mouseY, zoom, viewStart);
    } else {
      track(layer, mouseX, mouseY, zoom, viewStart);
    }
  }
  for (Button& button : transportButtons) button.track(mouseX, mouseY);
  if (timeline.editMode == kEditChooseOperator) rebuildChooser();
  if (timeline.editMode == kEditNewOperator) trackDialog();
}

void Editor::setPlayCursor(float t) {
  // Only forwards: the view never scrolls back by itself.
  if (t > viewStart + viewSpan) viewStart = viewStart + (t - viewStart - viewSpan);
  playCursor = t;
}

void Editor::wheel(int32_t step) {
  if (mouseY <= kPanelAreaBottom) {
    if (timeline.editMode == kEditClip && panel) {
      if (history != nullptr) history->beforeWheel();
      panel->wheel(step);
      if (history != nullptr) history->afterWheel();
    } else if (timeline.editMode == kEditNewOperator) {
      layerField.wheel(step);
      startField.wheel(step);
      lengthField.wheel(step);
    }
    return;
  }
  if (middleHeld) {
    addZoom(step);
    return;
  }
  const int32_t lowest = kVisibleRows - static_cast<int32_t>(timeline.tracks.size());
  if (trackScroll < 0 && step > 0) trackScroll += step;
  if (trackScroll > lowest && step < 0) trackScroll += step;
  // Steps are +-1 from the shell; a larger one must still leave six rows filled.
  if (trackScroll > 0) trackScroll = 0;
  if (trackScroll < lowest && lowest <= 0) trackScroll = lowest;
}

void Editor::mouseButton(int32_t code) {
  if (history != nullptr && ((code == 0 && !leftHeld) || (code == 2 && !rightHeld))) history->beginGesture();
  if (timeline.editMode == kEditClip && panel) panel->mouseButton(code);

  if (code == 0 && !leftHeld) {
    leftHeld = true;
    playMarker.press(0);
    for (size_t i = 0; i < timeline.tracks.size(); ++i) {
      if (press(timeline.tracks[i], 0, timeline.selectedClip) == 1) {
        timeline.selectedLayer = static_cast<int32_t>(i);
        timeline.editMode = kEditClip;
        createParameterPanel();
      }
    }
    if (timeline.editMode == kEditChooseOperator) {
      for (size_t i = 0; i < chooserButtons.size(); ++i) {
        if (chooserButtons[i].clicked(0)) {
          timeline.editMode = kEditNewOperator;
          timeline.selectedLayer = static_cast<int32_t>(i);
          // The press is the chooser's: a field left hovered when the dialog was last open, or
          // lying under the row, must not start a drag with it.
          layerField.hovered = startField.hovered = lengthField.hovered = false;
        }
      }
    }
    if (timeline.editMode == kEditNewOperator) {
      layerField.press();
      startField.press(0);
      lengthField.press(0);
      if (proceedButton.clicked(0)) {
        if (history != nullptr) history->beginEdit();
        if (aids != nullptr) newClipStart = aids->snapTime(newClipStart, zoom);
        timeline.addClip(static_cast<int32_t>(newClipLayer), newClipStart, newClipLength, timeline.selectedLayer);
        timeline.editMode = kEditNothing;
        if (history != nullptr) history->endEdit();
      }
      if (cancelButton.clicked(0)) timeline.editMode = kEditNothing;
    }
  } else if (code == 1 && !middleHeld) {
    middleHeld = true;
    zoomAnchorY = mouseY;
  } else if (code == 2 && !rightHeld) {
    rightHeld = true;
    for (LayerTrack& layer : timeline.tracks) press(layer, 2, timeline.selectedClip);
    if (timeline.editMode == kEditNewOperator) {
      startField.press(2);
      lengthField.press(2);
    }
  }
}

void Editor::releaseButtons() {
  playMarker.release();
  if (timeline.editMode == kEditClip && panel) panel->mouseButton(-1);
  leftHeld = rightHeld = middleHeld = false;
  for (LayerTrack& layer : timeline.tracks) release(layer);
  layerField.release();
  startField.release();
  lengthField.release();
  proceedButton.clicked(-1);
  cancelButton.clicked(-1);
  if (history != nullptr) history->endGesture();
}

void Editor::setPendingKey(uint8_t code) { pendingKey = code; }

bool Editor::keyIs(char upper) const {
  return pendingKey == static_cast<uint8_t>(upper) || pendingKey == static_cast<uint8_t>(upper + 0x20);
}

void Editor::handleKey() {
  if (keyIs('C')) {
    if (history != nullptr) history->beginEdit();
    timeline.duplicateSelectedClip();
    if (history != nullptr) history->endEdit();
  } else if (keyIs('N')) {
    timeline.editMode = kEditChooseOperator;
  } else if (keyIs('Y')) {
    saveProject();
  } else if (keyIs('L')) {
    loadProject();
  } else if (pendingKey == kKeyDelete) {
    if (timeline.editMode == kEditClip) {
      if (history != nullptr) history->beginEdit();
      timeline.deleteSelectedClip();
      panel.reset();  // its block went with the clip
      if (history != nullptr) history->endEdit();
    }
  } else if (pendingKey == kKeyHome) {
    viewStart = 0.0f;
  } else if (pendingKey == kKeyLeft) {
    shiftGrid(+5);
    viewStart = viewStart - viewSpan * 5.0f * (1.0f / 1024.0f);
  } else if (pendingKey == kKeyRight) {
    shiftGrid(-5);
    viewStart = viewStart + viewSpan * 0.0048828125f;  // 5 / 1024: the time of 5 pixels
  } else if (aids != nullptr) {
    aids->handleKey(pendingKey, playCursor);
  }
  pendingKey = 0;
}

int32_t Editor::transportHit(int32_t code) {
  for (int32_t i = 0; i < 3 && i < static_cast<int32_t>(transportButtons.size()); ++i) {
    if (transportButtons[i].clicked(code)) {
      lastTransport = i;
      return i + 1;
    }
  }
  return 0;
}

void Editor::setViewStart(float t) { viewStart = t; }

// --- view ------------------------------------------------------------------------------------

void Editor::setZoom(int32_t z) {
  zoom = clampZoom(z);
  viewSpan = viewSpanFor(zoom);
}

void Editor::addZoom(int32_t d) {
  zoom = clampZoom(static_cast<int64_t>(zoom) + d);
  viewSpan = viewSpanFor(zoom);
}

void Editor::shiftGrid(int32_t d) {
  for (LayerTrack& layer : timeline.tracks) layer.gridOffset += d;
}

// --- commands --------------------------------------------------------------------------------

void Editor::createParameterPanel() {
  panel.reset();
  const int32_t layer = timeline.selectedLayer;
  const int32_t clip = timeline.selectedClip;
  if (layer < 0 || layer >= static_cast<int32_t>(timeline.tracks.size())) return;
  if (clip < 0 || clip >= timeline.clipCount(layer)) return;
  const int32_t type = timeline.tracks[layer].bars[clip].operatorType;
  panel = makeParameterPanel(type, *timeline.layerClipParams[layer][clip], textures);
}

bool Editor::saveProject() {
  std::string error, notice;
  if (!korvalin::saveProject(timeline, projectPath, &error, keepOnSave_, &notice)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
  }
  if (!notice.empty()) std::fprintf(stderr, "%s\n", notice.c_str());
  storedBytes_ = encodeProject(timeline);
  keepOnSave_ = KeepPrevious::kBackup;
  if (history != nullptr) history->markSaved();
  return true;
}

void Editor::noteLoad(LoadResult result) {
  // A file that could not be read may still be the user's only copy of their work.
  keepOnSave_ = result == LoadResult::kLoaded || result == LoadResult::kMissing
                    ? KeepPrevious::kBackup
                    : KeepPrevious::kUnreadable;
  if (result == LoadResult::kLoaded) storedBytes_ = encodeProject(timeline);
}

LoadResult Editor::loadProject() {
  std::string error;
  if (history != nullptr) history->beforeLoad();
  const LoadResult result = korvalin::loadProject(timeline, projectPath, &error);
  if (history != nullptr) history->afterLoad(result == LoadResult::kLoaded);
  noteLoad(result);
  if (result != LoadResult::kLoaded) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return result;
  }
  // The panel's block went with the old project; mode 0 cannot remain with clips removed.
  if (timeline.editMode != kEditClip) panel.reset();
  return result;
}

bool Editor::hasUnsavedChanges() const { return encodeProject(timeline) != storedBytes_; }

// --- dialogs ---------------------------------------------------------------------------------

void Editor::rebuildChooser() {
  chooserButtons.clear();
  for (size_t i = 0; i < timeline.operatorTypes.size(); ++i) {
    Button row(timeline.operatorTypes[i].name, kDialogX, 40 + 30 * static_cast<int32_t>(i), 160, 20, 0);
    row.track(mouseX, mouseY);
    chooserButtons.push_back(row);
  }
}

void Editor::trackDialog() {
  layerField.track(mouseX, mouseY);
  startField.track(mouseX, mouseY);
  lengthField.track(mouseX, mouseY);
  proceedButton.track(mouseX, mouseY);
  cancelButton.track(mouseX, mouseY);
}

void Editor::drawChooser() {
  drawText("Choose new operator", 18, 0, kDialogX, 10);
  for (size_t i = 0; i < chooserButtons.size(); ++i) {
    uint8_t rgb[3];
    if (i < timeline.operatorTypes.size() && colourForClass(timeline.operatorTypes[i].colourClass, rgb)) {
      chooserButtons[i].setColour(rgb[0], rgb[1], rgb[2]);
    }
    chooserButtons[i].draw();
  }
}

void Editor::drawNewOperatorDialog() {
  const int32_t type = timeline.selectedLayer;
  const char* name = type >= 0 && type < static_cast<int32_t>(timeline.operatorTypes.size())
                         ? timeline.operatorTypes[type].name
                         : "";
  char title[96];
  std::snprintf(title, sizeof title, "New operator - %s", name);
  drawText(title, 18, 0, kDialogX, 10);

  // Re-seeded every frame: the dialog always offers the play position and one second.
  newClipStart = playCursor;
  if (aids != nullptr) newClipStart = aids->snapTime(newClipStart, zoom);
  newClipLength = 1.0f;
  layerField.bind(&newClipLayer, 0.0f, 15.0f, kDialogX, 40, 3, kLayerLabel);
  startField.bind(&newClipStart, -1.0f, 500.0f, kDialogX, 70, 5, kStartLabel);
  lengthField.bind(&newClipLength, 0.0f, 500.0f, kDialogX, 100, 5, kLengthLabel);
  proceedButton.place("Proceed", kDialogX, 140, 100, 30, 0);
  cancelButton.place("Cancel", 790, 140, 100, 30, 0);

  layerField.draw();
  startField.draw();
  lengthField.draw();
  proceedButton.draw();
  cancelButton.draw();
}

// --- draw half -------------------------------------------------------------------------------

float Editor::drawEditor() {
  for (Button& button : transportButtons) button.draw();
  for (LayerTrack& layer : timeline.tracks) drawRow(layer, trackScroll);
  for (LayerTrack& layer : timeline.tracks) drawBars(layer, cullBars);
  drawRuler(viewStart, viewSpan, zoom);
  if (aids != nullptr) aids->draw(viewStart, viewSpan, zoom);

  switch (timeline.editMode) {
    case kEditClip:
      if (panel) panel->draw(mouseX, mouseY);
      break;
    case kEditChooseOperator: drawChooser(); break;
    case kEditNewOperator: drawNewOperatorDialog(); break;
    default: break;
  }

  playMarker.draw();
  return playMarker.update(viewStart, playCursor, static_cast<float>(zoom), lastTransport != 0);
}

}  // namespace korvalin
