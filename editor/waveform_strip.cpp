// Drawing of the music aids: the waveform strip with its beat and bar lines and status, bar
// lines faintly across the rows, and the loop band on the ruler.
#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "editor/music_aids.h"
#include "editor/timeline_view.h"
#include "editor/ui_draw.h"

namespace korvalin {

namespace {

constexpr int32_t kRulerTop = 580;
constexpr int32_t kStripMiddle = 756;
constexpr float kStripHalfHeight = 11.0f;
// Lines closer than this are thinned out (every other bar, and so on) so the grid stays legible.
constexpr double kMinLineSpacing = 4.0;
constexpr int32_t kStatusLeft = 850;

// A vertical one-pixel line through the middle of column x, from y0 down to y1.
void columnLine(int32_t x, float y0, float y1) {
  const float ux = toUnits(1) * (static_cast<float>(x) + 0.5f);
  glVertex3f(ux, -toUnits(1) * y0, 0.0f);
  glVertex3f(ux, -toUnits(1) * y1, 0.0f);
}

// Canvas column of a time, or -1 when it is off the canvas.
int32_t columnAt(double t, double viewStart, double p) {
  const int32_t x = truncatePixel(std::floor((t - viewStart) * p));
  return x >= 0 && x < kCanvasWidth ? x : -1;
}

void drawGridLines(const BeatGrid& grid, double viewStart, double viewEnd, double p) {
  const double period = grid.period();
  int64_t barStep = kBeatsPerBar;
  while (barStep * period * p < kMinLineSpacing) barStep *= 2;
  const bool beats = period * p >= kMinLineSpacing;
  const int64_t step = beats ? 1 : barStep;
  int64_t k = grid.firstBeatFrom(viewStart);
  k += ((-k) % step + step) % step;  // the first line drawn lies on the step's pattern

  glBegin(GL_LINES);
  for (; grid.beatTime(k) < viewEnd; k += step) {
    const int32_t x = columnAt(grid.beatTime(k), viewStart, p);
    if (x < 0) continue;
    if (k % barStep == 0) {
      setColourBytes(214, 212, 204);
    } else {
      setColourBytes(142, 140, 133);
    }
    columnLine(x, kStripTop, kStripBottom);
  }
  glEnd();

  // The bars again, faintly over the rows.
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glColor4f(0.0f, 0.0f, 0.0f, 0.16f);
  glBegin(GL_LINES);
  for (k = grid.firstBeatFrom(viewStart), k += ((-k) % barStep + barStep) % barStep; grid.beatTime(k) < viewEnd;
       k += barStep) {
    const int32_t x = columnAt(grid.beatTime(k), viewStart, p);
    if (x >= 0) columnLine(x, kRowsTop, kRowsBottom + 1);
  }
  glEnd();
  glDisable(GL_BLEND);
}

// Heights relative to the loudest moment, square-rooted so that a quiet intro still shows
// beside the drums.
float shown(float sample, float loudest) {
  const float root = std::sqrt(std::fabs(sample) / loudest);
  return sample < 0.0f ? -root : root;
}

void drawWaveform(const std::vector<PeakPair>& columns, float loudest) {
  if (!(loudest > 0.0f)) return;
  setColourBytes(38, 48, 84);
  glBegin(GL_LINES);
  for (size_t x = 0; x < columns.size(); ++x) {
    const PeakPair peak = columns[x];
    if (peak.high <= 0.0f && peak.low >= 0.0f) continue;  // silence
    const float top = kStripMiddle - shown(peak.high, loudest) * kStripHalfHeight;
    const float bottom = std::max(kStripMiddle - shown(peak.low, loudest) * kStripHalfHeight, top + 1.0f);
    columnLine(static_cast<int32_t>(x), top, bottom);
  }
  glEnd();
}

// The loop band on the ruler and, paler, over the strip; an end set alone is a mark.
void drawLoop(const LoopRange& loop, double viewStart, double p) {
  auto xOf = [&](float t) { return std::max(-1, std::min(kCanvasWidth + 1, truncatePixel((t - viewStart) * p))); };
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  if (loop.active()) {
    const int32_t left = xOf(*loop.start), right = xOf(*loop.end);
    glColor4ub(60, 120, 230, 110);
    fillRect(left, kRulerTop, right, kRowsTop);
    glColor4ub(60, 120, 230, 60);
    fillRect(left, kStripTop, right, kStripBottom);
  } else {
    glColor4ub(60, 120, 230, 200);
    for (const std::optional<float>& mark : {loop.start, loop.end}) {
      if (mark) fillRect(xOf(*mark) - 1, kRulerTop, xOf(*mark) + 1, kRowsTop);
    }
  }
  glDisable(GL_BLEND);
}

}  // namespace

void MusicAids::draw(float viewStart, float viewSpan, int32_t zoom) {
  const double p = pixelsPerSecond(zoom);
  GLfloat lineWidth = 1.0f;
  glGetFloatv(GL_LINE_WIDTH, &lineWidth);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_TEXTURE_2D);
  glLineWidth(1.0f);

  setColourBytes(112, 110, 104);
  fillRect(0, kStripTop, kCanvasWidth, kStripBottom);
  if (grid.valid()) drawGridLines(grid, viewStart, static_cast<double>(viewStart) + viewSpan, p);
  if (peaks) {
    peakColumns(*peaks, viewStart, p, kCanvasWidth, columns_);
    drawWaveform(columns_, peaks->loudest());
  }
  if (loop.start || loop.end) drawLoop(loop, viewStart, p);

  char status[64];
  const char* snap = snapping ? "snap on" : "snap off";
  if (grid.valid()) {
    std::snprintf(status, sizeof status, "%s  %.2f BPM", snap, grid.bpm);
  } else {
    std::snprintf(status, sizeof status, "%s  %s", snap, analysing ? "reading music" : "no tempo");
  }
  setColourBytes(112, 110, 104);
  fillRect(kStatusLeft, kStripTop, kCanvasWidth, kStripBottom);
  drawText(status, 12, 0, kStatusLeft, kStripTop + 11);

  glLineWidth(lineWidth);
  glEnable(GL_DEPTH_TEST);
}

}  // namespace korvalin
