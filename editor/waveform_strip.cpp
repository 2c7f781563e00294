// Drawing of the music aids: the waveform strip with its beat and bar lines and status, bar
// lines faintly across the rows, and the loop band on the ruler. Opaque quads and lines first,
// the translucent quads under one blending switch: llvmpipe charges far more for a change of
// state than for a few thousand vertices.
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
constexpr float kStripMiddle = 756.0f;
constexpr float kStripHalfHeight = 11.0f;
// Lines closer than this are thinned out (every other bar, and so on) so the grid stays legible.
constexpr double kMinLineSpacing = 4.0;
constexpr int32_t kStatusLeft = 850;

// A quad inside an open glBegin(GL_QUADS), canvas pixels, in fillRect's vertex order.
void quad(float left, float top, float right, float bottom) {
  const float unit = toUnits(1);
  glVertex3f(left * unit, -top * unit, 0.0f);
  glVertex3f(left * unit, -bottom * unit, 0.0f);
  glVertex3f(right * unit, -bottom * unit, 0.0f);
  glVertex3f(right * unit, -top * unit, 0.0f);
}

// Canvas column of a time, or -1 when it is off the canvas.
int32_t columnAt(double t, double viewStart, double p) {
  const int32_t x = truncatePixel(std::floor((t - viewStart) * p));
  return x >= 0 && x < kCanvasWidth ? x : -1;
}

// Calls line(x, isBar) for every grid line on the canvas, thinned to kMinLineSpacing.
template <typename Line>
void forGridLines(const BeatGrid& grid, double viewStart, double viewEnd, double p, bool barsOnly, Line line) {
  const double period = grid.period();
  int64_t barStep = kBeatsPerBar;
  while (barStep * period * p < kMinLineSpacing) barStep *= 2;
  const int64_t step = !barsOnly && period * p >= kMinLineSpacing ? 1 : barStep;
  int64_t k = grid.firstBeatFrom(viewStart);
  k += ((-k) % step + step) % step;  // the first line drawn lies on the step's pattern
  for (; grid.beatTime(k) < viewEnd; k += step) {
    const int32_t x = columnAt(grid.beatTime(k), viewStart, p);
    if (x >= 0) line(static_cast<float>(x), k % barStep == 0);
  }
}

// Heights relative to the loudest moment, square-rooted so that a quiet intro still shows
// beside the drums.
float shown(float sample, float loudest) {
  const float root = std::sqrt(std::fabs(sample) / loudest);
  return sample < 0.0f ? -root : root;
}

// One-pixel vertical lines from canvas rows top to bottom (bottom excluded) at column x, as two
// vertices of GL_LINES.
void addLine(std::vector<float>& vertices, float x, float top, float bottom) {
  const float unit = toUnits(1);
  const float middle = (x + 0.5f) * unit;
  vertices.insert(vertices.end(), {middle, -top * unit, middle, -bottom * unit});
}

// Lines go to GL as one vertex array: llvmpipe sets up a line for far less than the two
// triangles of a quad, and a call per vertex would cost more than the rest of the strip.
// Outside glBegin / glEnd.
void drawLines(const std::vector<float>& vertices) {
  if (vertices.empty()) return;
  GLfloat width = 1.0f;
  glGetFloatv(GL_LINE_WIDTH, &width);
  if (width != 1.0f) glLineWidth(1.0f);
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(2, GL_FLOAT, 0, vertices.data());
  glDrawArrays(GL_LINES, 0, static_cast<GLsizei>(vertices.size() / 2));
  if (width != 1.0f) glLineWidth(width);
  glDisableClientState(GL_VERTEX_ARRAY);
}

void drawWaveform(const std::vector<PeakPair>& columns, float loudest, std::vector<float>& vertices) {
  vertices.clear();
  if (!(loudest > 0.0f)) return;
  for (size_t x = 0; x < columns.size(); ++x) {
    const PeakPair peak = columns[x];
    if (peak.high <= 0.0f && peak.low >= 0.0f) continue;  // silence
    const float top = kStripMiddle - shown(peak.high, loudest) * kStripHalfHeight;
    const float bottom = std::max(kStripMiddle - shown(peak.low, loudest) * kStripHalfHeight, top + 1.0f);
    addLine(vertices, static_cast<float>(x), top, bottom);
  }
  setColourBytes(38, 48, 84);
  drawLines(vertices);
}

// The loop band on the ruler and, paler, over the strip; an end set alone is a mark.
void loopQuads(const LoopRange& loop, double viewStart, double p) {
  auto xOf = [&](float t) {
    return static_cast<float>(std::max(-1, std::min(kCanvasWidth + 1, truncatePixel((t - viewStart) * p))));
  };
  if (loop.active()) {
    const float left = xOf(*loop.start), right = xOf(*loop.end);
    glColor4ub(60, 120, 230, 110);
    quad(left, kRulerTop, right, kRowsTop);
    glColor4ub(60, 120, 230, 60);
    quad(left, kStripTop, right, kStripBottom);
    return;
  }
  glColor4ub(60, 120, 230, 200);
  for (const std::optional<float>& mark : {loop.start, loop.end}) {
    if (mark) quad(xOf(*mark) - 1.0f, kRulerTop, xOf(*mark) + 1.0f, kRowsTop);
  }
}

}  // namespace

void MusicAids::draw(float viewStart, float viewSpan, int32_t zoom) {
  const double p = pixelsPerSecond(zoom);
  const double viewEnd = static_cast<double>(viewStart) + viewSpan;
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_TEXTURE_2D);

  glBegin(GL_QUADS);
  setColourBytes(112, 110, 104);
  quad(0.0f, kStripTop, kCanvasWidth, kStripBottom);
  glEnd();
  if (grid.valid()) {
    beats_.clear();
    bars_.clear();
    forGridLines(grid, viewStart, viewEnd, p, false, [&](float x, bool bar) {
      addLine(bar ? bars_ : beats_, x, kStripTop, kStripBottom);
    });
    setColourBytes(142, 140, 133);
    drawLines(beats_);
    setColourBytes(214, 212, 204);
    drawLines(bars_);
  }
  if (peaks) {
    peakColumns(*peaks, viewStart, p, kCanvasWidth, columns_);
    drawWaveform(columns_, peaks->loudest(), vertices_);
  }
  glBegin(GL_QUADS);
  setColourBytes(112, 110, 104);
  quad(kStatusLeft, kStripTop, kCanvasWidth, kStripBottom);
  glEnd();

  TextBatch text;  // turns blending on for the translucent quads too
  if (grid.valid()) {
    // The bars again, faintly over the rows.
    bars_.clear();
    forGridLines(grid, viewStart, viewEnd, p, true,
                 [&](float x, bool) { addLine(bars_, x, kRowsTop, kRowsBottom + 1); });
    glColor4f(0.0f, 0.0f, 0.0f, 0.16f);
    drawLines(bars_);
  }
  if (loop.start || loop.end) {
    glBegin(GL_QUADS);
    loopQuads(loop, viewStart, p);
    glEnd();
  }

  char status[64];
  const char* snap = snapping ? "snap on" : "snap off";
  if (grid.valid()) {
    std::snprintf(status, sizeof status, "%s  %.2f BPM", snap, grid.bpm);
  } else {
    std::snprintf(status, sizeof status, "%s  %s", snap, analysing ? "reading music" : "no tempo");
  }
  setColourBytes(0, 0, 0);  // not the translucent colour of the lines before it
  text.add(status, 12, 0, kStatusLeft, kStripTop + 11);
}  // the batch leaves blending off and depth testing on

}  // namespace korvalin
