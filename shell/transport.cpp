#include "shell/transport.h"

#include <cmath>
#include <limits>

namespace korvalin {
namespace {

// Seconds to a stream byte offset. A position past the uint32 range (a clock seeked far
// ahead) would be undefined to convert, so it is held at the largest offset instead.
uint32_t bytesAt(double seconds) {
  const double bytes = std::trunc(seconds * kBytesPerSecond);
  if (!(bytes > 0.0)) return 0;
  if (bytes >= static_cast<double>(std::numeric_limits<uint32_t>::max())) {
    return std::numeric_limits<uint32_t>::max();
  }
  return static_cast<uint32_t>(bytes);
}

}  // namespace

Transport::Transport(PlaybackClock& clock, MusicApi& music) : clock_(clock), music_(music) {}

void Transport::transportPlay() {
  music_.setPaused(false);
  music_.setPosition(bytesAt(clock_.elapsed()));
  clock_.play();
}

void Transport::transportPause() {
  music_.setPaused(true);
  clock_.pause();
}

void Transport::transportStop() {
  userMoved();
  clock_.stop();
  music_.setPaused(true);
  music_.setPosition(0);
}

void Transport::resumePlaying() {
  music_.setPaused(false);
  clock_.play();
}

float Transport::playPosition() {
  const float t = clock_.elapsed();
  shown_ = clock_.isPlaying() && t < hold_ ? hold_ : t;
  return shown_;
}

void Transport::syncClockToMusic() {
  if (clock_.isPlaying()) {
    const double heard = music_.getTime() * 0.001;
    // Behind what was just shown: hold there, unless the user put the position there.
    hold_ = heard < shown_ && !userMoved_ ? shown_ : 0.0f;
    clock_.seek(heard);
  }
  userMoved_ = false;
}

void Transport::seekTo(double seconds) {
  userMoved();
  clock_.seek(seconds);
}

void Transport::stopClock() {
  hold_ = 0.0f;
  clock_.stop();
  // Re-based now, so that the first frame shows 0 and not where the clock stood before.
  clock_.elapsed();
}

void Transport::userMoved() {
  hold_ = 0.0f;
  userMoved_ = true;
}

bool Transport::musicEnded() {
  const int64_t length = music_.getLength();
  const int64_t time = music_.getTime();
  return time > length - 100;
}

void Transport::rewind() {
  hold_ = 0.0f;
  music_.setPosition(0);
  clock_.seek(0.0);
}

}  // namespace korvalin
