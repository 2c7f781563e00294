// The timeline view: 16 layers as rows in the lower part of the canvas (six visible), one
// translucent bar per clip, the play marker above the rows. Time runs left to right over the
// whole 1024-pixel width; x = (t - viewStart) * pixelsPerSecond(zoom).
//
// Every interactive object follows one protocol per pass: track (mouse position, hover, drag
// step), press (start a drag while hovered), release. Drags are relative: each step applies the
// mouse's motion since the previous one.
#pragma once

#include <cstdint>

#include "timeline/timeline.h"

namespace korvalin {

constexpr int32_t kVisibleRows = 6;
constexpr int32_t kRowsTop = 600;      // canvas y of row 0
constexpr int32_t kRowPitch = 24;      // rows are 23 pixels high, 24 apart
constexpr int32_t kRowsBottom = 743;   // bottom of row 5
constexpr int32_t kCanvasWidth = 1024;
constexpr int32_t kInitialZoom = 40;
// Zoom has no natural upper end; past this the pixel positions of a long project no longer fit
// the float and int32 arithmetic of the view (at 10000 the width shows 60 ms).
constexpr int32_t kMaxZoom = 10000;
// A resize drag never leaves a bar this short or shorter on screen.
constexpr float kMinResizePixels = 5.0f;

// 1024 * zoom / 600 in double precision.
double pixelsPerSecond(int32_t zoom);
// Seconds across the 1024-pixel width: (40 / zoom) * 15.
float viewSpanFor(int32_t zoom);
// zoom limited to 1 ... kMaxZoom; computed wide so that a large step cannot overflow.
int32_t clampZoom(int64_t zoom);
// Canvas pixel of a float position, truncated toward zero. Positions far off the canvas (and
// NaN) are pinned to +-2^24 first: they stay off-screen and the conversion stays defined.
int32_t truncatePixel(double x);

// Label drawn on a bar of the given operator type ("-----" for unknown types).
const char* barLabel(int32_t operatorType);

// --- ClipBar ---------------------------------------------------------------------------------
// trackRow is the owning LayerTrack's row from its last drawRow; only rows 0-5 can be hovered.
void track(ClipBar& bar, int32_t trackRow, int32_t x, int32_t y, int32_t zoom, float viewStart);
// Code 0 starts moving, code 2 resizing, each only while hovered; returns 1, 2, or 0.
int32_t press(ClipBar& bar, int32_t code);
void release(ClipBar& bar);
// Stores rowY and draws the bar. With cull, a bar wholly off the canvas issues no GL calls
// (its on-screen pixels and hover are the same either way).
void draw(ClipBar& bar, int32_t rowY, bool cull = true);

// --- LayerTrack ------------------------------------------------------------------------------
void track(LayerTrack& layer, int32_t x, int32_t y, int32_t zoom, float viewStart);
// Left press (0): the first hovered bar starts moving, selectedClip takes its index, returns 1.
// Right press (2): every hovered bar starts resizing; returns -1 like any press that selects
// nothing.
int32_t press(LayerTrack& layer, int32_t code, int32_t& selectedClip);
void release(LayerTrack& layer);
// Sets row = index + trackScroll and, when visible, draws background, grid and layer number.
void drawRow(LayerTrack& layer, int32_t trackScroll);
void drawBars(LayerTrack& layer, bool cull = true);

// Shading over the rows before time 0, and the view's start and end times above them.
void drawRuler(float viewStart, float viewSpan, int32_t zoom);

// --- PlayMarker ------------------------------------------------------------------------------
// The handle above the rows (y 580-600) with a line down through them.
class PlayMarker {
 public:
  void track(int32_t x, int32_t y, int32_t zoom);
  void press(int32_t code);
  void release();
  void draw();
  // Places the marker at time and, while dragging with canDrag, returns the time the handle was
  // dragged to; otherwise returns time.
  float update(float viewStart, float time, float zoom, bool canDrag);

  int32_t mouseX = 0, mouseY = 0;
  int32_t drawX = 0;
  int32_t grabX = 0;
  int32_t markerX = 0;
  bool hovered = false;
  bool dragging = false;
};

}  // namespace korvalin
