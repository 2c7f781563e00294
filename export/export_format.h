// The kinds of video file the export writes, chosen by the file name's extension.
#pragma once

#include <string>

namespace korvalin {

enum class VideoContainer { kMp4, kMkv, kWebm };

struct ContainerInfo {
  VideoContainer container;
  const char* extension;  // with the dot, lower case
  const char* codecs;     // for messages: "H.264 + AAC"
  int maxCrf;             // quality scale of its video encoder, 0 (best) to maxCrf
};

// The container that `path`'s extension names (case ignored); nullptr for any other.
const ContainerInfo* containerForPath(const std::string& path);

// ".mp4, .mkv or .webm", for messages.
const char* knownVideoExtensions();

}  // namespace korvalin
