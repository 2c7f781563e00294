// The music's beat: an onset-strength envelope built from the samples, the tempo and first beat
// found in it, and the grid of beats and bars that the editor draws and snaps to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace korvalin {

constexpr double kSlowestBpm = 60.0;
constexpr double kFastestBpm = 200.0;
constexpr int32_t kBeatsPerBar = 4;

// How sharply the music's loudness rises, once every kOnsetHop frames: the sum over a low band
// (kick drums, bass) and a high band (hats, clicks, snares) of the rise of the log energy.
class OnsetEnvelope {
 public:
  static constexpr int32_t kOnsetHop = 128;

  explicit OnsetEnvelope(int32_t sampleRate = 44100);
  void add(const float* mono, size_t count);

  int32_t sampleRate() const { return rate_; }
  double valuesPerSecond() const { return static_cast<double>(rate_) / kOnsetHop; }
  const std::vector<float>& values() const { return values_; }

 private:
  int32_t rate_;
  double lowPassCoefficient_;
  double low_ = 0.0, previous_ = 0.0;
  double lowEnergy_ = 0.0, highEnergy_ = 0.0;
  double lastLow_ = 0.0, lastHigh_ = 0.0;
  int32_t filled_ = 0;
  std::vector<float> values_;
};

// Beats at offset + k * 60 / bpm seconds for every integer k; bars start at the beats whose k is
// a multiple of four.
struct BeatGrid {
  double bpm = 0.0;  // 0: no tempo, no grid
  double offset = 0.0;

  bool valid() const { return bpm > 0.0; }
  double period() const { return 60.0 / bpm; }
  // The beat nearest to t (a valid grid only).
  double nearestBeat(double t) const;
  // Index k of the first beat at or after t.
  int64_t firstBeatFrom(double t) const;
  double beatTime(int64_t k) const { return offset + static_cast<double>(k) * period(); }
};

// The tempo between kSlowestBpm and kFastestBpm and the first beat, from an onset envelope;
// an invalid grid when the music has no steady beat (silence, noise). A known tempo (a user's
// override) skips the search and only places the beats.
BeatGrid detectBeatGrid(const OnsetEnvelope& onsets, std::optional<double> knownBpm = std::nullopt);

}  // namespace korvalin
