// The music's waveform as peaks: the lowest and highest sample of every span of frames, kept at
// several resolutions (each level's spans twice as long as the one before), so that a column of
// pixels costs a few spans at any zoom, however long the music.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace korvalin {

struct PeakPair {
  float low = 0.0f;
  float high = 0.0f;
};

class WaveformPeaks {
 public:
  // Frames in one span of the finest level.
  static constexpr int32_t kFinestSpan = 32;

  explicit WaveformPeaks(int32_t sampleRate = 44100) : rate_(sampleRate > 0 ? sampleRate : 44100) {}

  // Mono samples, in order, from the start of the music.
  void add(const float* mono, size_t count);
  // Closes the last span and builds the coarser levels; nothing may be added after it.
  void finish();

  int32_t sampleRate() const { return rate_; }
  int64_t frames() const { return frames_; }
  // The largest magnitude in the whole music (after finish); 0 for silence.
  float loudest() const;
  size_t levelCount() const { return levels_.size(); }

  // Lowest and highest sample between t0 and t1 seconds (t0 < t1), from the coarsest level whose
  // spans are no longer than t1 - t0; widened to whole spans. Zero outside the music.
  PeakPair range(double t0, double t1) const;

 private:
  struct Span {
    int8_t low, high;
  };
  int32_t rate_;
  int64_t frames_ = 0;
  int32_t filled_ = 0;  // frames in the span being built
  Span current_{0, 0};
  std::vector<std::vector<Span>> levels_{1};
};

// The peaks of the columns 0 ... width - 1 of a view whose left edge is viewStart seconds, at
// pixelsPerSecond: column x covers [viewStart + x / p, viewStart + (x + 1) / p).
void peakColumns(const WaveformPeaks& peaks, double viewStart, double pixelsPerSecond, int32_t width,
                 std::vector<PeakPair>& out);

}  // namespace korvalin
