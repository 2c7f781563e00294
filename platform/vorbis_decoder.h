// Ogg Vorbis decoded to samples, for whoever needs the music as numbers rather than sound
// (the video export, the editor's waveform). One reader, used from one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace korvalin {

class VorbisDecoder {
 public:
  // nullptr, with `error` set to one line naming the file and the problem, when the file cannot
  // be read, is not Ogg Vorbis, cannot be seeked, or changes rate or channel count part-way.
  static std::unique_ptr<VorbisDecoder> open(const std::string& path, std::string* error);
  ~VorbisDecoder();
  VorbisDecoder(const VorbisDecoder&) = delete;
  VorbisDecoder& operator=(const VorbisDecoder&) = delete;

  int32_t sampleRate() const { return rate_; }
  int32_t channels() const { return channels_; }
  // Frames (one sample per channel) in the whole file.
  int64_t lengthFrames() const { return length_; }
  double lengthSeconds() const { return static_cast<double>(length_) / rate_; }

  // The next read starts exactly at `frame`, 0 to lengthFrames(); false (position unchanged)
  // outside that or when the data there cannot be reached.
  bool seek(int64_t frame);
  // The frame the next read starts at.
  int64_t position() const { return position_; }
  // Up to `frames` frames of interleaved samples, nominally -1 to 1. Returns the number of frames
  // written, 0 at the end. Data lost in a damaged stretch reads as silence of the same length,
  // so that what follows stays at its time.
  int64_t read(float* interleaved, int64_t frames);
  // The frame where the first damaged stretch began since the last seek, or -1.
  int64_t damagedAt() const { return damagedAt_; }

 private:
  VorbisDecoder() = default;
  // The next packet's samples into samples_: their count, 0 at the end.
  long decode();
  struct File;
  std::unique_ptr<File> file_;
  int32_t rate_ = 0;
  int32_t channels_ = 0;
  int64_t length_ = 0;
  int64_t position_ = 0;
  int64_t damagedAt_ = -1;
  // Decoded but not yet read: `silence_` frames for a gap, then samples_ from `next_` on.
  int64_t silence_ = 0;
  std::vector<float> samples_;
  size_t next_ = 0;
};

}  // namespace korvalin
