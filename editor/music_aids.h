// Editing in time with the music (--editor mode): the waveform strip below the rows, the beat
// grid with snapping (G), and the loop range (I, O, K) on the ruler. What the user decides is
// kept in the project's sidecar file; the tempo can be pinned there too:
//   tempo = 125          (beats per minute; otherwise found in the music)
//   offset = 0.0         (seconds of a bar's first beat; otherwise found in the music)
//   loop_start = 12.48   (written by I, O and K)
//   loop_end = 16.32
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "editor/beat_grid.h"
#include "editor/waveform.h"
#include "timeline/timeline.h"

namespace korvalin {

// The waveform strip fills the canvas below the six rows.
constexpr int32_t kStripTop = 744;
constexpr int32_t kStripBottom = 768;
// A dragged edge or a new clip's start lands on a beat this close, in canvas pixels.
constexpr double kSnapPixels = 6.0;

struct LoopRange {
  std::optional<float> start, end;

  // Looping needs both ends; the setters keep start before end.
  bool active() const { return start && end; }
  // Refused (false, one line in `why`) when the start would not lie before the end.
  bool setStart(float t, std::string* why);
  // Refused (false, one line in `why`) when the end would not lie after the start.
  bool setEnd(float t, std::string* why);
  // Playback that has come to the end since showing `previous` (at or before it) goes back to
  // the start. A position put past the end by the user plays on.
  bool wrapDue(float previous, float now) const { return active() && previous <= *end && now >= *end; }
};

class MusicAids {
 public:
  // Reads the sidecar: loop range and tempo or offset given by the user. Bad lines or values
  // are reported in one line each on standard error and leave their part to detection.
  explicit MusicAids(std::string sidecarPath);

  // The music as analysed: peaks for the strip; the grid from the onsets, unless the sidecar
  // gives both tempo and offset. Null peaks and onsets: the music could not be read.
  void setAnalysis(std::shared_ptr<const WaveformPeaks> musicPeaks, std::shared_ptr<const OnsetEnvelope> onsets);

  // G toggles snapping, I and O set the loop's ends at the play position, K clears the loop.
  // False for any other key.
  bool handleKey(uint8_t key, float playCursor);

  // LayerTrack track, with the bars being dragged snapped to the grid while snapping is on. Each
  // dragged bar follows the mouse by the usual relative rules from where it would be without
  // snapping, so it never drifts from the mouse once the snap lets go; with snapping off this
  // is exactly the plain track.
  void track(LayerTrack& layer, int32_t x, int32_t y, int32_t zoom, float viewStart);
  // t on the nearest beat when snapping is on and one lies within kSnapPixels at zoom.
  float snapTime(float t, int32_t zoom) const;

  // Waveform strip, beat and bar lines, the loop band on the ruler and the strip's status.
  void draw(float viewStart, float viewSpan, int32_t zoom);

  bool snapping = false;
  bool analysing = true;  // the music is still being read
  BeatGrid grid;
  LoopRange loop;
  std::shared_ptr<const WaveformPeaks> peaks;

 private:
  enum class Edge { kNone, kLeft, kRight };
  // A bar being dragged: where the plain rules put it, and where it was shown.
  struct Drag {
    int32_t layer;
    size_t index, barCount;
    float freeStart, freeLength;
    float shownStart, shownLength;
    Edge edge;
    bool seen;
  };
  bool snapNear(double t, double pixelsPerSecond, double& beat) const;
  void snapBar(ClipBar& bar, Edge edge, double pixelsPerSecond) const;
  void saveLoop();

  std::string sidecarPath_;
  std::optional<double> tempo_, offset_;  // given in the sidecar
  std::vector<Drag> drags_;
  std::vector<PeakPair> columns_;  // reused by draw
  std::vector<float> vertices_, beats_, bars_;  // line vertices, reused by draw
};

}  // namespace korvalin
