#include "editor/beat_grid.h"

#include <algorithm>
#include <cmath>

namespace korvalin {

namespace {

constexpr double kPi = 3.14159265358979323846;
// The low band ends about here: kick drums and bass, not the pads above them.
constexpr double kLowBandHz = 150.0;
// Energies are compressed by log(1 + gain * energy): loud and quiet passages count alike.
constexpr double kLogGain = 1.0e4;
// How far the beat's self-similarity must rise above the median of the range, as a share of the
// envelope's variance: white noise reaches about 0.07, a steady beat 0.4 and more.
constexpr double kMinProminence = 0.15;
// A pulse at half the period that is at least this self-similar is taken as the beat.
constexpr double kFasterPulseShare = 0.7;
// Less music than this gives too few beats to measure.
constexpr double kMinSeconds = 4.0;

// The envelope at a fractional position, linearly interpolated; 0 outside.
float at(const std::vector<float>& v, double pos) {
  if (pos < 0.0) return 0.0f;
  const size_t i = static_cast<size_t>(pos);
  if (i + 1 >= v.size()) return 0.0f;
  const float f = static_cast<float>(pos - static_cast<double>(i));
  return v[i] + f * (v[i + 1] - v[i]);
}

// Three passes of a moving average about `radius` values wide: close to a Gaussian blur.
std::vector<float> smooth(const std::vector<float>& v, int radius) {
  if (radius <= 0) return v;
  std::vector<float> out = v, tmp(v.size());
  for (int pass = 0; pass < 3; ++pass) {
    double sum = 0.0;
    const size_t n = out.size();
    const size_t r = static_cast<size_t>(radius);
    for (size_t i = 0; i < n + r; ++i) {
      if (i < n) sum += out[i];
      if (i >= 2 * r + 1) sum -= out[i - 2 * r - 1];
      if (i >= r) tmp[i - r] = static_cast<float>(sum / (2 * r + 1));
    }
    out.swap(tmp);
  }
  return out;
}

struct Comb {
  double score = -1.0;
  double phase = 0.0;  // in envelope values, 0 <= phase < period
};

// How well a pulse of `period` values lines up with the envelope, at its best phase.
Comb bestPhase(const std::vector<float>& v, double period) {
  Comb best;
  const double n = static_cast<double>(v.size());
  for (double phase = 0.0; phase < period; phase += 0.5) {
    double sum = 0.0;
    for (double pos = phase; pos < n; pos += period) sum += at(v, pos);
    if (sum > best.score) best = Comb{sum, phase};
  }
  return best;
}

// The period near `guess` whose pulse lines up best over the whole music, searched ever finer.
// A coarse step would miss a sharp peak, so the envelope is blurred by about the drift that one
// step causes over the music.
double refinePeriod(const std::vector<float>& v, double guess) {
  struct Stage {
    double halfWidth, step;
    int blur;
  };
  const Stage stages[] = {{2.0, 0.05, 6}, {0.06, 0.005, 1}, {0.006, 0.0005, 0}};
  double period = guess;
  for (const Stage& stage : stages) {
    const std::vector<float> blurred = smooth(v, stage.blur);
    const double centre = period;
    double best = -1.0;
    for (double p = centre - stage.halfWidth; p <= centre + stage.halfWidth + 1e-9; p += stage.step) {
      const double score = bestPhase(blurred, p).score;
      if (score > best) {
        best = score;
        period = p;
      }
    }
  }
  return period;
}

// Unbiased autocorrelation of the mean-free envelope at lags 0 ... maxLag.
std::vector<double> autocorrelation(const std::vector<float>& v, size_t maxLag) {
  double mean = 0.0;
  for (float x : v) mean += x;
  mean /= static_cast<double>(v.size());
  std::vector<double> centred(v.begin(), v.end());
  for (double& x : centred) x -= mean;
  std::vector<double> acf(maxLag + 1, 0.0);
  for (size_t lag = 0; lag <= maxLag && lag < centred.size(); ++lag) {
    double sum = 0.0;
    for (size_t i = 0; i + lag < centred.size(); ++i) sum += centred[i] * centred[i + lag];
    acf[lag] = sum / static_cast<double>(centred.size() - lag);
  }
  return acf;
}

// The beat period in envelope values, or 0 when there is no steady beat: the strongest
// self-similarity between kSlowestBpm and kFastestBpm. A pulse at period P is as self-similar at
// 2P, so a peak at half the lag that is nearly as strong is the beat, and the longer one its
// multiple: the fastest steady pulse in the range wins.
double findPeriod(const std::vector<float>& v, double valuesPerSecond) {
  const size_t shortest = static_cast<size_t>(std::ceil(valuesPerSecond * 60.0 / kFastestBpm));
  const size_t longest = static_cast<size_t>(std::floor(valuesPerSecond * 60.0 / kSlowestBpm));
  // Beats fall between envelope values; blurred over a few values, a pulse correlates with
  // itself at every integer lag near its period, not only at the lags where the rounding agrees.
  const std::vector<double> acf = autocorrelation(smooth(v, 2), longest + 1);
  if (!(acf[0] > 0.0)) return 0.0;
  auto strongest = [&](size_t from, size_t to) {
    size_t best = from;
    for (size_t lag = from; lag <= to; ++lag) {
      if (acf[lag] > acf[best]) best = lag;
    }
    return best;
  };
  // A beat stands out from the self-similarity of the music at other lags (noise and sustained
  // sounds have plenty of that), and is a peak, not the slope into a period outside the range.
  std::vector<double> inRange(acf.begin() + static_cast<std::ptrdiff_t>(shortest),
                              acf.begin() + static_cast<std::ptrdiff_t>(longest) + 1);
  std::nth_element(inRange.begin(), inRange.begin() + inRange.size() / 2, inRange.end());
  const double median = inRange[inRange.size() / 2];
  size_t best = strongest(shortest, longest);
  if (acf[best] - median < kMinProminence * acf[0]) return 0.0;
  if (acf[best - 1] >= acf[best] || acf[best + 1] >= acf[best]) return 0.0;
  while (best / 2 >= shortest + 2) {
    const size_t faster = strongest(best / 2 - 2, best / 2 + 2);
    if (acf[faster] < kFasterPulseShare * acf[best]) break;
    best = faster;
  }

  // The peak between lags, from the parabola through it and its neighbours.
  const double left = acf[best - 1], mid = acf[best], right = acf[best + 1];
  const double curve = left - 2.0 * mid + right;
  const double shift = curve < 0.0 ? 0.5 * (left - right) / curve : 0.0;
  return static_cast<double>(best) + std::max(-0.5, std::min(0.5, shift));
}

}  // namespace

OnsetEnvelope::OnsetEnvelope(int32_t sampleRate)
    : rate_(sampleRate > 0 ? sampleRate : 44100),
      lowPassCoefficient_(1.0 - std::exp(-2.0 * kPi * kLowBandHz / rate_)) {}

void OnsetEnvelope::add(const float* mono, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const double x = mono[i];
    low_ += lowPassCoefficient_ * (x - low_);
    lowEnergy_ += low_ * low_;
    const double rise = x - previous_;  // the first difference keeps mostly the highs
    previous_ = x;
    highEnergy_ += rise * rise;
    if (++filled_ < kOnsetHop) continue;
    const double low = std::log1p(kLogGain * lowEnergy_ / kOnsetHop);
    const double high = std::log1p(kLogGain * highEnergy_ / kOnsetHop);
    values_.push_back(static_cast<float>(std::max(0.0, low - lastLow_) + std::max(0.0, high - lastHigh_)));
    lastLow_ = low;
    lastHigh_ = high;
    lowEnergy_ = highEnergy_ = 0.0;
    filled_ = 0;
  }
}

double BeatGrid::nearestBeat(double t) const { return beatTime(std::llround((t - offset) / period())); }

int64_t BeatGrid::firstBeatFrom(double t) const {
  return static_cast<int64_t>(std::ceil((t - offset) / period()));
}

BeatGrid detectBeatGrid(const OnsetEnvelope& onsets, std::optional<double> knownBpm) {
  const std::vector<float>& v = onsets.values();
  const double rate = onsets.valuesPerSecond();
  if (static_cast<double>(v.size()) < kMinSeconds * rate) return BeatGrid{};
  const float loudest = *std::max_element(v.begin(), v.end());
  if (!(loudest > 0.0f)) return BeatGrid{};

  double period = 0.0;
  if (knownBpm && *knownBpm > 0.0) {
    period = rate * 60.0 / *knownBpm;
  } else {
    period = findPeriod(v, rate);
    if (period <= 0.0) return BeatGrid{};
    period = refinePeriod(v, period);
  }
  const Comb comb = bestPhase(v, period);

  // The first beat is the grid's beat nearest to where the music first starts sounding, so that
  // bars count from there.
  size_t first = 0;
  while (v[first] < 0.3f * loudest) ++first;
  double beat = comb.phase + std::round((static_cast<double>(first) - comb.phase) / period) * period;
  if (beat < 0.0) beat += period;

  BeatGrid grid;
  grid.bpm = rate * 60.0 / period;
  // Any bar start names the same grid; the earliest one reads best.
  grid.offset = std::fmod(beat, kBeatsPerBar * period) / rate;
  return grid;
}

}  // namespace korvalin
