// Keeps the playback clock and the music together: the transport buttons and the per-pass
// steps that re-base the clock on the music.
#pragma once

#include <cstdint>

#include "platform/music_api.h"
#include "shell/playback_clock.h"

namespace korvalin {

class Transport {
 public:
  Transport(PlaybackClock& clock, MusicApi& music);

  // The transport buttons; the editor calls them in every pass the button is held.
  void transportPlay();   // music resumed and moved to the clock's position, clock playing
  void transportPause();  // music and clock paused
  void transportStop();   // clock stopped, music paused and rewound

  // End of every updateFrame: music resumed, clock playing.
  void resumePlaying();
  // After the demo frame: a playing clock takes the music's own position.
  void syncClockToMusic();
  // The music's time has passed its length less 100 ms.
  bool musicEnded();
  // Music and clock back to 0, still playing (the editor's looping demo).
  void rewind();
  // Music and clock to `seconds` with the music's exact seek, playing on (the editor's loop).
  void jumpTo(double seconds);

  PlaybackClock& clock() { return clock_; }
  MusicApi& music() { return music_; }

 private:
  PlaybackClock& clock_;
  MusicApi& music_;
};

}  // namespace korvalin
