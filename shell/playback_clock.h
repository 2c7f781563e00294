// The play position: milliseconds inside, seconds outside, read from an injected tick source.
#pragma once

#include <cstdint>
#include <functional>

namespace korvalin {

class PlaybackClock {
 public:
  using TickSource = std::function<uint32_t()>;
  explicit PlaybackClock(TickSource now);

  void play();
  void pause();
  void stop();
  void seek(double seconds);
  float elapsed();
  bool isPlaying() const { return playing; }

  uint32_t startTick = 0;
  uint32_t heldTicks = 0;
  bool paused = false;
  bool playing = false;
  bool stopped = false;

 private:
  TickSource now_;
};

}  // namespace korvalin
