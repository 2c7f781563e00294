// Playback within the editor's loop range: when the play position comes to the loop's end from
// before it, music and clock jump back to the loop's start, through the transport's own exact
// music seek.
#pragma once

#include "editor/music_aids.h"
#include "shell/transport.h"

namespace korvalin {

class LoopPlayback {
 public:
  // At the start of a pass, before the play position is read for it.
  void beforePass(const LoopRange& loop, Transport& transport) {
    if (loop.wrapDue(shown_, transport.clock().elapsed())) transport.jumpTo(*loop.start);
  }
  // The position the pass showed, after any move of the play marker.
  void shown(float t) { shown_ = t; }

 private:
  float shown_ = 0.0f;
};

}  // namespace korvalin
