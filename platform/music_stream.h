// The music: an Ogg Vorbis file decoded by libvorbisfile and played through SDL2 audio.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/music_api.h"

namespace korvalin {

class MusicStream : public MusicApi {
 public:
  // Microseconds of a steady wall clock; tests may stand in their own.
  using MicrosSource = std::function<uint64_t()>;

  MusicStream();
  explicit MusicStream(MicrosSource now);
  ~MusicStream() override;
  MusicStream(const MusicStream&) = delete;
  MusicStream& operator=(const MusicStream&) = delete;

  // Starts SDL audio; falls back to the "dummy" driver when no real device opens, saying so in
  // one line on standard error instead of the audio library's own messages.
  void init() override;
  bool open(const char* path) override;
  void playPaused() override;
  void setPaused(bool paused) override;
  // Exact: bytes / 4 frames of 44.1 kHz, converted through seconds to the stream's rate.
  void setPosition(uint32_t bytes) override;
  // The position heard: that of the last audio callback plus the wall time since, never past
  // the end of the buffer that callback filled and never backwards while playing.
  int32_t getTime() override;
  int32_t getLength() override;

  // The stream's own sample rate and channel count (44100 and 2 for silence).
  int32_t sampleRate() const;
  int32_t channels() const;
  // The SDL audio driver the music goes to ("dummy" when it plays silently); empty when no
  // output is open at all and time runs on the wall clock.
  std::string audioDriver() const;
  // Audio frames per callback buffer.
  static constexpr int kBufferFrames = 1024;

  struct State;  // shared with the audio callback

 private:
  std::unique_ptr<State> state_;
  MicrosSource now_;
  uint32_t device_ = 0;
  bool audioStarted_ = false;
  bool silenceReported_ = false;

  void closeStream();
  bool openDevice();
  // Reports the silence, then restarts SDL audio on its dummy driver; false if even that fails.
  bool startSilently();
};

}  // namespace korvalin
