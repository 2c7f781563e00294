// The project file "save.brz": 16 layer records of little-endian fields, no header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "timeline/timeline.h"

namespace korvalin {

constexpr const char* kProjectFileName = "save.brz";

enum class LoadResult {
  kLoaded,     // the project in memory was replaced by the file's
  kMissing,    // the file could not be opened; nothing changed
  kMalformed,  // the file is not a valid project; nothing changed
};

// Serialises the project exactly as it is stored (the ClipTimes records, not the bars).
std::vector<uint8_t> encodeProject(const Timeline& timeline);

// Writes the project to `path` through a temporary file beside it, flushed and renamed over
// the old one. Returns false and sets `error` to one line when anything fails; the old file
// then stays whole.
bool saveProject(const Timeline& timeline, const std::string& path, std::string* error);

// Checks the whole of `data` first; only a valid project replaces what `timeline` holds.
// On kMalformed `error` names the file (`name`), the first bad field and its byte offset.
LoadResult decodeProject(Timeline& timeline, const uint8_t* data, size_t size,
                         const std::string& name, std::string* error);

// Reads `path` and decodes it as above. kMissing sets `error` too.
LoadResult loadProject(Timeline& timeline, const std::string& path, std::string* error);

}  // namespace korvalin
