#include "editor/music_aids.h"

#include <cmath>
#include <cstdio>
#include <utility>

#include "editor/timeline_view.h"
#include "timeline/sidecar.h"

namespace korvalin {

namespace {

constexpr const char* kTempoKey = "tempo";
constexpr const char* kOffsetKey = "offset";
constexpr const char* kLoopStartKey = "loop_start";
constexpr const char* kLoopEndKey = "loop_end";
constexpr double kHighestTempo = 1000.0;

std::string seconds(float t) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f s", t);
  return text;
}

bool keyIs(uint8_t key, char upper) {
  return key == static_cast<uint8_t>(upper) || key == static_cast<uint8_t>(upper + 0x20);
}

}  // namespace

bool LoopRange::setStart(float t, std::string* why) {
  if (end && !(t < *end)) {
    *why = "loop start at " + seconds(t) + " refused: the loop ends at " + seconds(*end) + " (K clears it)";
    return false;
  }
  start = t;
  return true;
}

bool LoopRange::setEnd(float t, std::string* why) {
  if (start && !(t > *start)) {
    *why = "loop end at " + seconds(t) + " refused: the loop starts at " + seconds(*start) + " (K clears it)";
    return false;
  }
  end = t;
  return true;
}

MusicAids::MusicAids(std::string sidecarPath) : sidecarPath_(std::move(sidecarPath)) {
  std::string warning;
  const Sidecar sidecar = Sidecar::read(sidecarPath_, &warning);
  if (!warning.empty()) std::fprintf(stderr, "%s\n", warning.c_str());

  tempo_ = sidecar.number(kTempoKey);
  if (tempo_ && !(*tempo_ > 0.0 && *tempo_ <= kHighestTempo)) {
    std::fprintf(stderr, "%s: tempo %g is not between 0 and %g BPM; the music's own is used\n",
                 sidecarPath_.c_str(), *tempo_, kHighestTempo);
    tempo_.reset();
  }
  offset_ = sidecar.number(kOffsetKey);
  if (tempo_ && offset_) grid = BeatGrid{*tempo_, *offset_};

  const std::optional<double> start = sidecar.number(kLoopStartKey), end = sidecar.number(kLoopEndKey);
  if (start && end && !(*start < *end)) {
    std::fprintf(stderr, "%s: loop_start %g is not before loop_end %g; no loop\n", sidecarPath_.c_str(), *start,
                 *end);
    return;
  }
  if (start) loop.start = static_cast<float>(*start);
  if (end) loop.end = static_cast<float>(*end);
}

void MusicAids::setAnalysis(std::shared_ptr<const WaveformPeaks> musicPeaks,
                            std::shared_ptr<const OnsetEnvelope> onsets) {
  analysing = false;
  peaks = std::move(musicPeaks);
  if (!onsets || (tempo_ && offset_)) return;
  grid = detectBeatGrid(*onsets, tempo_);
  if (grid.valid() && offset_) grid.offset = *offset_;
}

bool MusicAids::handleKey(uint8_t key, float playCursor) {
  std::string why;
  if (keyIs(key, 'G')) {
    snapping = !snapping;
  } else if (keyIs(key, 'I')) {
    if (loop.setStart(playCursor, &why)) saveLoop();
  } else if (keyIs(key, 'O')) {
    if (loop.setEnd(playCursor, &why)) saveLoop();
  } else if (keyIs(key, 'K')) {
    if (loop.start || loop.end) {
      loop = LoopRange{};
      saveLoop();
    }
  } else {
    return false;
  }
  if (!why.empty()) std::fprintf(stderr, "%s\n", why.c_str());
  return true;
}

// Written at once, so the loop outlives the session whether or not the project is saved. The
// file is read again first: keys the user added by hand meanwhile are kept.
void MusicAids::saveLoop() {
  Sidecar sidecar = Sidecar::read(sidecarPath_, nullptr);
  sidecar.setNumber(kLoopStartKey, loop.start ? std::optional<double>(*loop.start) : std::nullopt);
  sidecar.setNumber(kLoopEndKey, loop.end ? std::optional<double>(*loop.end) : std::nullopt);
  std::string error;
  if (!sidecar.write(sidecarPath_, &error)) std::fprintf(stderr, "%s\n", error.c_str());
}

bool MusicAids::snapNear(double t, double pixelsPerSecond, double& beat) const {
  if (!snapping || !grid.valid()) return false;
  beat = grid.nearestBeat(t);
  return std::fabs(beat - t) * pixelsPerSecond <= kSnapPixels;
}

float MusicAids::snapTime(float t, int32_t zoom) const {
  double beat;
  return snapNear(t, pixelsPerSecond(zoom), beat) ? static_cast<float>(beat) : t;
}

void MusicAids::snapBar(ClipBar& bar, Edge edge, double p) const {
  double beat;
  const double start = bar.start, end = start + bar.length;
  if (bar.moving) {
    if (snapNear(start, p, beat)) bar.start = static_cast<float>(beat);
  } else if (edge == Edge::kLeft) {
    // As a resize step would, the snap never leaves the bar kMinResizePixels or shorter.
    if (snapNear(start, p, beat) && (end - beat) * p > kMinResizePixels) {
      bar.start = static_cast<float>(beat);
      bar.length = static_cast<float>(end - beat);
    }
  } else if (edge == Edge::kRight) {
    if (snapNear(end, p, beat) && (beat - start) * p > kMinResizePixels) bar.length = static_cast<float>(beat - start);
  }
}

void MusicAids::track(LayerTrack& layer, int32_t x, int32_t y, int32_t zoom, float viewStart) {
  if (!snapping && drags_.empty()) {
    korvalin::track(layer, x, y, zoom, viewStart);
    return;
  }
  layer.mouseX = x;
  layer.mouseY = y;
  const double p = pixelsPerSecond(zoom);
  for (Drag& drag : drags_) drag.seen = drag.layer != layer.index;
  for (size_t i = 0; i < layer.bars.size(); ++i) {
    ClipBar& bar = layer.bars[i];
    if (!bar.moving && !bar.resizing) {
      korvalin::track(bar, layer.row, x, y, zoom, viewStart);
      continue;
    }
    size_t d = 0;
    while (d < drags_.size() &&
           !(drags_[d].layer == layer.index && drags_[d].index == i && drags_[d].barCount == layer.bars.size())) {
      ++d;
    }
    if (d == drags_.size()) {
      drags_.push_back(Drag{layer.index, i, layer.bars.size(), bar.start, bar.length, bar.start, bar.length, Edge::kNone, true});
    }
    Drag& drag = drags_[d];
    drag.seen = true;
    // Back to where the plain rules left the bar, unless something else has moved it since.
    if (bar.start == drag.shownStart && bar.length == drag.shownLength) {
      bar.start = drag.freeStart;
      bar.length = drag.freeLength;
    }
    const float startBefore = bar.start, lengthBefore = bar.length;
    korvalin::track(bar, layer.row, x, y, zoom, viewStart);
    if (bar.start != startBefore) {
      drag.edge = Edge::kLeft;
    } else if (bar.length != lengthBefore) {
      drag.edge = Edge::kRight;
    }
    drag.freeStart = bar.start;
    drag.freeLength = bar.length;
    snapBar(bar, drag.edge, p);
    drag.shownStart = bar.start;
    drag.shownLength = bar.length;
  }
  // Drags of this layer that have ended, or whose bars have shifted, are forgotten.
  size_t kept = 0;
  for (Drag& drag : drags_) {
    if (drag.seen) drags_[kept++] = drag;
  }
  drags_.resize(kept);
}

}  // namespace korvalin
