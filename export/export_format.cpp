#include "export/export_format.h"

#include <cctype>

namespace korvalin {
namespace {

// .mkv holds the same streams as .mp4; .webm allows only VP9 and Opus.
constexpr ContainerInfo kContainers[] = {
    {VideoContainer::kMp4, ".mp4", "H.264 + AAC", 51},
    {VideoContainer::kMkv, ".mkv", "H.264 + AAC", 51},
    {VideoContainer::kWebm, ".webm", "VP9 + Opus", 63},
};

}  // namespace

const ContainerInfo* containerForPath(const std::string& path) {
  const size_t dot = path.find_last_of("./");
  if (dot == std::string::npos || path[dot] != '.') return nullptr;
  std::string extension = path.substr(dot);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const ContainerInfo& info : kContainers) {
    if (extension == info.extension) return &info;
  }
  return nullptr;
}

const char* knownVideoExtensions() { return ".mp4, .mkv or .webm"; }

}  // namespace korvalin
