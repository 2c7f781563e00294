// The seven music operations the shell relies on, behind an interface so that tests can fake
// the music. MusicStream (platform/music_stream.h) is the real one.
#pragma once

#include <cstdint>

namespace korvalin {

// Positions are bytes of 16-bit stereo 44.1 kHz PCM, whatever the stream's own format.
constexpr uint32_t kBytesPerSecond = 176400;

class MusicApi {
 public:
  virtual ~MusicApi() = default;
  // Sets up sound output; harmless to call again.
  virtual void init() = 0;
  // Opens the stream, replacing any open one. False (after one line on standard error) when
  // the file cannot be read; the stream then plays silence of unknown length.
  virtual bool open(const char* path) = 0;
  // Starts the stream paused at its current position.
  virtual void playPaused() = 0;
  virtual void setPaused(bool paused) = 0;
  // Seeks to `bytes` / kBytesPerSecond seconds.
  virtual void setPosition(uint32_t bytes) = 0;
  // The position being heard, in milliseconds.
  virtual int32_t getTime() = 0;
  // Length in milliseconds; 0x7fffffff when unknown, so the end-of-music test never fires.
  virtual int32_t getLength() = 0;
};

}  // namespace korvalin
