#include "shell/playback_clock.h"

#include <cmath>
#include <utility>

namespace korvalin {

namespace {

// now - seconds * 1000 in double, truncated toward zero and wrapped to 32 bits. A seek
// past now / 1000 goes below zero and must wrap rather than overflow the conversion.
uint32_t tickBefore(uint32_t now, double seconds) {
  const double ticks = std::trunc(static_cast<double>(now) - seconds * 1000.0);
  // fmod is exact, so the result lies in (-2^32, 2^32) and fits an int64 without loss.
  const double wrapped = std::fmod(ticks, 4294967296.0);
  return static_cast<uint32_t>(static_cast<int64_t>(wrapped));
}

}  // namespace

PlaybackClock::PlaybackClock(TickSource now) : now_(std::move(now)) { startTick = now_(); }

void PlaybackClock::play() {
  heldTicks = 0;
  paused = false;
  stopped = false;
  playing = true;
}

void PlaybackClock::pause() {
  heldTicks = now_() - startTick;
  paused = true;
  playing = false;
}

void PlaybackClock::stop() {
  heldTicks = 0;
  paused = false;
  stopped = true;
  playing = false;
}

void PlaybackClock::seek(double seconds) {
  // A position of NaN or infinity has no tick; keeping the clock where it is beats the
  // undefined conversion it would otherwise need.
  if (!std::isfinite(seconds)) return;
  startTick = tickBefore(now_(), seconds);
  heldTicks = now_() - startTick;
}

float PlaybackClock::elapsed() {
  if (paused) startTick = now_() - heldTicks;
  if (stopped) startTick = now_();
  const uint32_t ticks = now_() - startTick;
  return static_cast<float>(ticks) * 0.001f;
}

}  // namespace korvalin
