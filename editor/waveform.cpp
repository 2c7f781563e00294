#include "editor/waveform.h"

#include <algorithm>
#include <cmath>

namespace korvalin {

namespace {

// Eight bits are plenty for a strip a couple of dozen pixels high, and keep the finest level of
// a few minutes of music under half a megabyte.
int8_t quantise(float v) {
  const float clamped = std::max(-1.0f, std::min(1.0f, v));
  return static_cast<int8_t>(std::lround(clamped * 127.0f));
}

}  // namespace

void WaveformPeaks::add(const float* mono, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const int8_t q = quantise(mono[i]);
    if (filled_ == 0) {
      current_ = Span{q, q};
    } else {
      current_.low = std::min(current_.low, q);
      current_.high = std::max(current_.high, q);
    }
    if (++filled_ == kFinestSpan) {
      levels_[0].push_back(current_);
      filled_ = 0;
    }
  }
  frames_ += static_cast<int64_t>(count);
}

void WaveformPeaks::finish() {
  if (filled_ > 0) levels_[0].push_back(current_);
  filled_ = 0;
  while (levels_.back().size() > 1) {
    const std::vector<Span>& fine = levels_.back();
    std::vector<Span> coarse((fine.size() + 1) / 2);
    for (size_t i = 0; i < coarse.size(); ++i) {
      Span merged = fine[2 * i];
      if (2 * i + 1 < fine.size()) {
        merged.low = std::min(merged.low, fine[2 * i + 1].low);
        merged.high = std::max(merged.high, fine[2 * i + 1].high);
      }
      coarse[i] = merged;
    }
    levels_.push_back(std::move(coarse));
  }
}

float WaveformPeaks::loudest() const {
  if (levels_.back().empty()) return 0.0f;
  const Span all = levels_.back().front();
  return std::max(-static_cast<float>(all.low), static_cast<float>(all.high)) / 127.0f;
}

PeakPair WaveformPeaks::range(double t0, double t1) const {
  const double f0 = t0 * rate_;
  const double f1 = t1 * rate_;
  if (!(f1 > f0) || f1 <= 0.0 || f0 >= static_cast<double>(frames_)) return PeakPair{};

  size_t level = 0;
  while (level + 1 < levels_.size() && static_cast<double>(int64_t{kFinestSpan} << (level + 1)) <= f1 - f0) ++level;
  const std::vector<Span>& spans = levels_[level];
  const double size = static_cast<double>(int64_t{kFinestSpan} << level);
  const size_t first = static_cast<size_t>(std::max(0.0, std::floor(f0 / size)));
  const size_t end = static_cast<size_t>(std::min(static_cast<double>(spans.size()), std::ceil(f1 / size)));
  if (first >= end) return PeakPair{};

  int8_t low = spans[first].low, high = spans[first].high;
  for (size_t i = first + 1; i < end; ++i) {
    low = std::min(low, spans[i].low);
    high = std::max(high, spans[i].high);
  }
  return PeakPair{low / 127.0f, high / 127.0f};
}

void peakColumns(const WaveformPeaks& peaks, double viewStart, double pixelsPerSecond, int32_t width,
                 std::vector<PeakPair>& out) {
  out.resize(static_cast<size_t>(std::max(0, width)));
  for (int32_t x = 0; x < width; ++x) {
    out[static_cast<size_t>(x)] = peaks.range(viewStart + x / pixelsPerSecond, viewStart + (x + 1) / pixelsPerSecond);
  }
}

}  // namespace korvalin
