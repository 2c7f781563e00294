#include "editor/timeline_view.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "editor/ui_draw.h"

namespace korvalin {

namespace {

// Beyond this a pixel position is off any canvas; pinning keeps int32 conversions defined.
constexpr double kPixelLimit = 16777216.0;

// Bars and labels further than this outside the canvas cannot touch a pixel of it: the widest
// label ("Start rend to Tex", 12-pixel font) reaches less than 80 pixels either side of its
// centre, and bar edges are 2-pixel lines.
constexpr int32_t kEdgeMargin = 8;
constexpr int32_t kLabelMargin = 160;

bool rowVisible(int32_t row) { return row >= 0 && row < kVisibleRows; }

// One vertex of an editor line, converted as drawLine converts it; several lines then share one
// glBegin, which llvmpipe draws far cheaper than a draw call per line.
void lineVertex(int32_t x, int32_t y) { glVertex3f(toUnits(x), -toUnits(y), 0.0f); }

void setBarColour(const ClipBar& bar) {
  if (bar.hovered) {
    glColor4ub(255, 240, 240, 84);
    return;
  }
  switch (bar.colourClass) {
    case 0: glColor4ub(128, 255, 128, 84); break;
    case 1: glColor4ub(128, 128, 255, 84); break;
    case 2: glColor4ub(255, 255, 128, 84); break;
    case 3: glColor4ub(255, 128, 128, 84); break;
    // No type has another class; a neutral grey rather than whatever colour was current.
    default: glColor4ub(171, 165, 157, 84); break;
  }
}

}  // namespace

double pixelsPerSecond(int32_t zoom) { return 1024.0 / ((40.0 / zoom) * 15.0); }

float viewSpanFor(int32_t zoom) { return (40.0f / static_cast<float>(zoom)) * 15.0f; }

int32_t clampZoom(int64_t zoom) {
  if (zoom < 1) return 1;
  if (zoom > kMaxZoom) return kMaxZoom;
  return static_cast<int32_t>(zoom);
}

int32_t truncatePixel(double x) {
  if (!(x > -kPixelLimit)) return static_cast<int32_t>(-kPixelLimit);  // NaN lands here too
  if (x > kPixelLimit) return static_cast<int32_t>(kPixelLimit);
  return static_cast<int32_t>(x);
}

const char* barLabel(int32_t operatorType) {
  switch (operatorType) {
    case 0: return "2D Layer";
    case 1: return "Box";
    case 2: return "Camera";
    case 3: return "Start rend to Tex";
    case 4: return "End rend to Tex";
    case 5: return "3dModel";
    case 6: return "Flat";
    default: return "-----";
  }
}

// --- ClipBar ---------------------------------------------------------------------------------

void track(ClipBar& bar, int32_t trackRow, int32_t x, int32_t y, int32_t zoom, float viewStart) {
  bar.mouseX = x;
  bar.zoom = static_cast<float>(zoom);
  bar.viewStart = viewStart;
  const double p = pixelsPerSecond(zoom);
  bar.startPx = static_cast<float>(p * bar.start);
  bar.lengthPx = static_cast<float>(p * bar.length);

  const float left = static_cast<float>(bar.startPx - p * viewStart);
  const float right = static_cast<float>(bar.startPx + bar.lengthPx - p * viewStart);
  const float fx = static_cast<float>(x);
  bar.hovered = rowVisible(trackRow) && bar.rowY + 2 < y && y < bar.rowY + 24 && left < fx && fx < right;

  if (bar.moving) {
    const int32_t dx = x - bar.moveAnchorX;
    bar.start = static_cast<float>(bar.start + dx / p);
    bar.moveAnchorX = x;
  }
  if (bar.resizing) {
    // The grabbed half is decided again at every step, against the midpoint before this step.
    const int32_t d = bar.resizeAnchorX - x;  // positive when the mouse moved left
    const float middle = left + bar.lengthPx * 0.5f;
    if (static_cast<float>(bar.resizeAnchorX) < middle) {
      if (bar.lengthPx + d > kMinResizePixels || d > 0) {
        bar.start = static_cast<float>(bar.start - d / p);
        bar.length = static_cast<float>(bar.length + d / p);
        bar.resizeAnchorX = x;
      }
    } else if (bar.lengthPx - d > kMinResizePixels || d < 0) {
      bar.length = static_cast<float>(bar.length - d / p);
      bar.resizeAnchorX = x;
    }
  }
}

int32_t press(ClipBar& bar, int32_t code) {
  if (code == 0 && !bar.moving && bar.hovered) {
    bar.moving = true;
    bar.moveAnchorX = bar.mouseX;
    return 1;
  }
  if (code == 2 && !bar.resizing && bar.hovered) {
    bar.resizeAnchorX = bar.mouseX;
    bar.resizing = true;
    return 2;
  }
  return 0;
}

void release(ClipBar& bar) {
  bar.moving = false;
  bar.resizing = false;
}

void draw(ClipBar& bar, int32_t rowY, bool cull) {
  bar.rowY = rowY;
  const double p = pixelsPerSecond(static_cast<int32_t>(bar.zoom));
  const double scroll = p * bar.viewStart;
  const int32_t left = truncatePixel(bar.startPx - scroll);
  const int32_t right = truncatePixel(bar.startPx + bar.lengthPx - scroll);
  const int32_t labelX = truncatePixel(bar.lengthPx * 0.5 - scroll + bar.startPx);
  const bool active = bar.moving || bar.hovered || bar.resizing;

  // A hand-made file may give a negative length, and then the box runs from right to left.
  const bool boxOnCanvas =
      std::max(left, right) >= -kEdgeMargin && std::min(left, right) <= kCanvasWidth + kEdgeMargin;
  const bool labelOnCanvas = labelX >= -kLabelMargin && labelX <= kCanvasWidth + kLabelMargin;
  if (cull && !boxOnCanvas && !labelOnCanvas && !active) return;

  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glDisable(GL_DEPTH_TEST);
  if (!cull || boxOnCanvas) {
    setBarColour(bar);
    fillRect(left, rowY + 2, right, rowY + 24);
    glColor4f(0.0f, 0.0f, 0.0f, 0.33f);
    glBegin(GL_LINES);
    lineVertex(left, rowY + 2);
    lineVertex(left, rowY + 24);
    lineVertex(right, rowY + 2);
    lineVertex(right, rowY + 24);
    glEnd();
  }
  if (!cull || labelOnCanvas) drawText(barLabel(bar.operatorType), 12, 1, labelX, rowY + 12);
  if (active) {
    char text[64];
    std::snprintf(text, sizeof text, "%.4f", bar.start);
    drawText(text, 12, 0, 650, 470);
    std::snprintf(text, sizeof text, "%.4f", bar.start + bar.length);
    drawText(text, 12, 0, 950, 470);
  }
  glEnable(GL_DEPTH_TEST);
  glDisable(GL_BLEND);
}

// --- LayerTrack ------------------------------------------------------------------------------

void track(LayerTrack& layer, int32_t x, int32_t y, int32_t zoom, float viewStart) {
  layer.mouseX = x;
  layer.mouseY = y;
  for (ClipBar& bar : layer.bars) track(bar, layer.row, layer.mouseX, layer.mouseY, zoom, viewStart);
}

int32_t press(LayerTrack& layer, int32_t code, int32_t& selectedClip) {
  for (size_t i = 0; i < layer.bars.size(); ++i) {
    if (press(layer.bars[i], code) == 1) {
      selectedClip = static_cast<int32_t>(i);
      return 1;
    }
  }
  return -1;
}

void release(LayerTrack& layer) {
  for (ClipBar& bar : layer.bars) release(bar);
}

void drawRow(LayerTrack& layer, int32_t trackScroll) {
  layer.row = layer.index + trackScroll;
  if (!rowVisible(layer.row)) return;
  const int32_t top = kRowsTop + kRowPitch * layer.row;
  const int32_t bottom = top + 23;

  glDisable(GL_DEPTH_TEST);
  glDisable(GL_TEXTURE_2D);
  if (layer.index % 2 != 0) {
    setColourBytes(174, 172, 167);
  } else {
    setColourBytes(167, 165, 160);
  }
  fillRect(0, top, kCanvasWidth, bottom);

  setColourBytes(184, 182, 177);
  glLineWidth(2.0f);
  // The remainder keeps the sign of the offset, so a negative offset starts left of x 0.
  const int32_t first = layer.gridOffset % 80;
  glBegin(GL_LINES);
  for (int32_t k = 0; k <= 13; ++k) {
    lineVertex(first + k * 80, top);
    lineVertex(first + k * 80, bottom);
  }
  glEnd();

  char text[16];
  std::snprintf(text, sizeof text, "%d", layer.index);
  drawText(text, 18, 0, 0, 609 + kRowPitch * layer.row);
  glEnable(GL_DEPTH_TEST);
}

void drawBars(LayerTrack& layer, bool cull) {
  if (!rowVisible(layer.row)) return;
  const int32_t rowY = 599 + kRowPitch * layer.row;
  for (ClipBar& bar : layer.bars) draw(bar, rowY, cull);
}

void drawRuler(float viewStart, float viewSpan, int32_t zoom) {
  const double p = pixelsPerSecond(zoom);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glColor4f(0.0f, 0.0f, 0.0f, 0.2f);
  fillRect(-truncatePixel(p * viewStart), kRowsTop, 0, kRowsBottom);

  char text[64];
  std::snprintf(text, sizeof text, "%.4f", viewStart);
  drawText(text, 14, 0, 0, 590);
  std::snprintf(text, sizeof text, "%.4f", viewStart + viewSpan);
  drawText(text, 14, 0, 940, 590);
}

// --- PlayMarker ------------------------------------------------------------------------------

void PlayMarker::track(int32_t x, int32_t y, int32_t zoom) {
  (void)zoom;  // the handle's position comes from the last draw, not from the zoom
  mouseX = x;
  mouseY = y;
  hovered = y >= 580 && y < 600 && x >= drawX - 10 && x < drawX + 10;
}

void PlayMarker::press(int32_t code) {
  if (code != 0) return;
  if (!dragging && hovered) {
    dragging = true;
    grabX = mouseX;
  }
}

void PlayMarker::release() { dragging = false; }

void PlayMarker::draw() {
  drawX = markerX;
  glDisable(GL_DEPTH_TEST);
  setColourBytes(0, 0, 0);
  fillRect(drawX - 10, 580, drawX + 10, 600);
  if (hovered) {
    glColor3f(1.0f, 1.0f, 0.25f);
  } else {
    glColor3f(0.75f, 0.75f, 0.25f);
  }
  fillRect(drawX - 8, 582, drawX + 8, 598);
  glColor3f(1.0f, 0.4f, 0.4f);
  drawLine(drawX, 600, drawX, kRowsBottom);
  glEnable(GL_DEPTH_TEST);
}

float PlayMarker::update(float viewStart, float time, float zoom, bool canDrag) {
  // The zoom arrives as a float; anything outside 1 ... kMaxZoom (NaN included) is pinned first.
  int32_t level = 1;
  if (zoom >= static_cast<float>(kMaxZoom)) {
    level = kMaxZoom;
  } else if (zoom >= 1.0f) {
    level = static_cast<int32_t>(zoom);
  }
  const double p = pixelsPerSecond(level);
  markerX = truncatePixel(p * (static_cast<double>(time) - viewStart));
  if (dragging && canDrag) {
    const int32_t dx = mouseX - grabX;
    markerX = truncatePixel(static_cast<double>(markerX) + dx);
    grabX = mouseX;
    if (dx != 0) return static_cast<float>(time + (1.0 / p) * dx);
  }
  return time;
}

}  // namespace korvalin
