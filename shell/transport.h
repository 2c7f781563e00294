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
  // The play position a pass shows. While playing it never goes back from one pass to the
  // next: the clock is re-based on the music's heard time after every frame, and under load
  // that time may stand still for a moment while the clock has run on. The position then holds
  // until the clock catches up; the clock itself keeps following the music, so nothing drifts.
  // It may go back after Stop, seekTo, stopClock and rewind.
  float playPosition();
  // After the demo frame: a playing clock takes the music's own position.
  void syncClockToMusic();
  // The user moved the play position (the editor's marker): shown as it is, even if earlier.
  void seekTo(double seconds);
  // A new window: the clock stopped at 0.
  void stopClock();
  // The music's time has passed its length less 100 ms.
  bool musicEnded();
  // Music and clock back to 0, still playing (the editor's looping demo).
  void rewind();

  PlaybackClock& clock() { return clock_; }
  MusicApi& music() { return music_; }

 private:
  // Stop or a seek: this frame's position is the user's, earlier or not.
  void userMoved();

  PlaybackClock& clock_;
  MusicApi& music_;
  float shown_ = 0.0f;      // what playPosition gave last
  float hold_ = 0.0f;       // playPosition gives no less than this while playing
  bool userMoved_ = false;  // this frame's position was chosen by the user: no hold after it
};

}  // namespace korvalin
