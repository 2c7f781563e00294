// The FFmpeg side of the export: one video file with its encoders, written from one thread.
// Only export/ sees this; FFmpeg's own types stay inside video_file.cpp.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "export/video_export.h"

namespace korvalin {

class VideoFile {
 public:
  // Encoders, the container's header and the file at settings.path. nullptr with one line in
  // `error` on failure.
  static std::unique_ptr<VideoFile> open(const VideoExportSettings& settings, AudioSource audio,
                                         std::string* error);
  ~VideoFile();
  VideoFile(const VideoFile&) = delete;
  VideoFile& operator=(const VideoFile&) = delete;

  // One picture: settings.width x height, 4 bytes per pixel in B, G, R, A order (alpha
  // ignored), rows bottom first as GL reads them. Its time is the next frame's.
  bool writePicture(const uint8_t* bgraBottomUp);
  // Takes audio from the source until `sourceFrames` frames of the range have been encoded;
  // silence stands in for whatever the source runs short of.
  bool writeAudioTo(int64_t sourceFrames);
  // The audio to `audioEnd` source frames, the encoders' last packets, the container's index.
  bool finish(int64_t audioEnd);

  int64_t picturesWritten() const;
  const std::string& error() const { return error_; }

 private:
  VideoFile() = default;
  struct Impl;
  bool fail(const std::string& what, int code);
  bool encode(bool video, bool flush);
  bool encodeAudioFrames(bool last);
  std::unique_ptr<Impl> impl_;
  std::string error_;
};

}  // namespace korvalin
