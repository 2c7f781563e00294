// Writing the demo to a video file: pictures read back from the GL framebuffer, the music beside
// them, encoded and muxed with FFmpeg on a thread of its own so that encoding overlaps drawing.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "export/export_format.h"

namespace korvalin {

// Fills `interleaved` with up to `frames` frames; returns how many, 0 at the end (silence
// stands in for whatever it runs short of).
using AudioSource = std::function<int64_t(float* interleaved, int64_t frames)>;

struct VideoExportSettings {
  std::string path;  // the file written
  VideoContainer container = VideoContainer::kMp4;
  int width = 640;   // the picture read at the framebuffer origin
  int height = 480;
  int scale = 1;     // the video is width * scale by height * scale
  int fps = 60;
  int crf = 18;
  std::string preset = "veryfast";  // x264's speed preset (H.264 only)
  int encoderThreads = 0;           // 0: the encoder's own choice
  // No audio stream when audioChannels is 0.
  int audioRate = 0;
  int audioChannels = 0;
  int64_t audioFrames = 0;  // of the whole range, at audioRate
};

class VideoFile;

class VideoExport {
 public:
  // Opens the file and the encoders and starts the encoding thread. nullptr with one line in
  // `error` when the file cannot be written or an encoder is missing; a file it created is
  // then left for the caller to remove.
  static std::unique_ptr<VideoExport> open(const VideoExportSettings& settings, AudioSource audio,
                                           std::string* error);
  // Without finish() the file is abandoned as it stands.
  ~VideoExport();
  VideoExport(const VideoExport&) = delete;
  VideoExport& operator=(const VideoExport&) = delete;

  // GL thread: starts reading the picture just drawn into a pixel buffer and hands the one
  // read two frames earlier to the encoder, waiting while the encoder is that far behind.
  // False once the encoder has failed (see error()).
  bool captureFrame();
  // Encodes what is still in flight, then the audio to the range's end when `complete`, or to
  // the end of the last picture otherwise, and closes the file. False with error() on failure.
  bool finish(bool complete);

  int64_t framesCaptured() const { return captured_; }
  // Seconds the encoding thread spent working (converting, encoding, writing).
  double encodeSeconds() const;
  // Seconds captureFrame spent waiting for the encoder to catch up.
  double waitSeconds() const { return waitSeconds_; }
  std::string error() const;

 private:
  VideoExport() = default;
  struct Shared;
  void deliverOldest();
  void encodeLoop();

  VideoExportSettings settings_;
  std::unique_ptr<Shared> shared_;
  uint32_t pixelBuffers_[3] = {};
  int64_t captured_ = 0;
  int64_t delivered_ = 0;
  double waitSeconds_ = 0;
  bool finished_ = false;
};

}  // namespace korvalin
