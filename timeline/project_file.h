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
  kLoaded,      // the project in memory was replaced by the file's
  kMissing,     // there is no such file; nothing changed
  kUnreadable,  // the file exists but could not be opened or read; nothing changed
  kMalformed,   // the file is not a valid project; nothing changed
};

// What a save does with the file it replaces.
enum class KeepPrevious {
  kNone,        // replaced
  kBackup,      // renamed to <file>.bak, replacing an older backup
  kUnreadable,  // a file the loader rejected: renamed to the first free <file>.unreadable,
                // <file>.unreadable.1, .2, ... so that no save ever destroys it
};

// Serialises the project exactly as it is stored (the ClipTimes records, not the bars).
std::vector<uint8_t> encodeProject(const Timeline& timeline);

// Writes the project to `path` through a temporary file beside it, flushed and renamed over
// the old one. A symbolic link at `path` is followed: the file it points to is replaced, keeps
// its permissions, and the link stays. A file the user may not write (or that is not a regular
// file) is refused as opening it for writing would be. Returns false and sets `error` to one line
// when anything fails; the old file then stays whole. When the old file is kept under another
// name because it could not be read, `notice` (if given) gets one line saying where.
bool saveProject(const Timeline& timeline, const std::string& path, std::string* error,
                 KeepPrevious keep = KeepPrevious::kNone, std::string* notice = nullptr);
// The same for bytes encoded earlier (encodeProject), so that the writing can happen elsewhere.
bool saveProjectBytes(const std::vector<uint8_t>& bytes, const std::string& path, std::string* error,
                      KeepPrevious keep = KeepPrevious::kNone, std::string* notice = nullptr);

// Checks the whole of `data` first; only a valid project replaces what `timeline` holds.
// On kMalformed `error` names the file (`name`), the first bad field and its byte offset.
LoadResult decodeProject(Timeline& timeline, const uint8_t* data, size_t size,
                         const std::string& name, std::string* error);

// Reads `path` and decodes it as above. kMissing sets `error` too.
LoadResult loadProject(Timeline& timeline, const std::string& path, std::string* error);

}  // namespace korvalin
