#include "timeline/project_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace korvalin {

namespace {

constexpr size_t kLayerHeaderSize = 3;
constexpr size_t kClipHeaderSize = 12;

// The largest file that can hold a project: every layer full of Cameras. Anything after
// the sixteenth record is ignored, so reading stops here.
constexpr size_t kMaxProjectBytes =
    kLayerCount * (kLayerHeaderSize + size_t{kMaxClipsPerLayer} * (kClipHeaderSize + 4 * 13));

size_t clipRecordSize(int32_t type) { return kClipHeaderSize + 4 * size_t(paramCountOf(type)); }

void putU32(uint8_t*& out, uint32_t v) {
  out[0] = uint8_t(v);
  out[1] = uint8_t(v >> 8);
  out[2] = uint8_t(v >> 16);
  out[3] = uint8_t(v >> 24);
  out += 4;
}

void putFloat(uint8_t*& out, float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, 4);
  putU32(out, bits);
}

uint32_t getU32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

int32_t getI32(const uint8_t* p) {
  const uint32_t u = getU32(p);
  int32_t v;
  std::memcpy(&v, &u, 4);
  return v;
}

int16_t getI16(const uint8_t* p) {
  const uint16_t u = uint16_t(p[0] | p[1] << 8);
  int16_t v;
  std::memcpy(&v, &u, 2);
  return v;
}

float getFloat(const uint8_t* p) {
  const uint32_t bits = getU32(p);
  float f;
  std::memcpy(&f, &bits, 4);
  return f;
}

std::string errnoText(int err) { return std::strerror(err); }

// Where each layer's clips start in the buffer, found by the checking pass.
struct RecordSpan {
  int layer{};
  int count{};
  size_t clipsOffset{};
};

bool fail(std::string* error, const std::string& text) {
  if (error) *error = text;
  return false;
}

std::string where(const std::string& name, int record, size_t offset) {
  return name + ": layer record " + std::to_string(record) + " at byte " + std::to_string(offset) +
         ": ";
}

// Walks all 16 records without touching any project; on success `spans` tells where each
// layer's clips lie.
bool checkProject(const uint8_t* data, size_t size, const std::string& name,
                  std::array<RecordSpan, kLayerCount>& spans, std::string* error) {
  bool seen[kLayerCount] = {};
  size_t pos = 0;
  for (int record = 0; record < kLayerCount; ++record) {
    if (size - pos < kLayerHeaderSize) {
      return fail(error, where(name, record, pos) + "the file ends inside the layer header (" +
                             std::to_string(size) + " bytes in all)");
    }
    const int layer = static_cast<int8_t>(data[pos]);
    if (layer < 0 || layer >= kLayerCount) {
      return fail(error, where(name, record, pos) + "layer number " + std::to_string(layer) +
                             " is outside 0-15");
    }
    if (seen[layer]) {
      return fail(error, where(name, record, pos) + "layer number " + std::to_string(layer) +
                             " occurs twice");
    }
    seen[layer] = true;
    // A count below 0 means no clips, as 0 does; a save writes it back as 0.
    const int count = std::max(0, int(getI16(data + pos + 1)));
    pos += kLayerHeaderSize;
    spans[record] = RecordSpan{layer, count, pos};
    for (int clip = 0; clip < count; ++clip) {
      if (size - pos < 4) {
        return fail(error, where(name, record, pos) + "the file ends inside clip " +
                               std::to_string(clip) + " (" + std::to_string(size) +
                               " bytes in all)");
      }
      const int32_t type = getI32(data + pos);
      if (type < 0 || type >= kOperatorTypeCount) {
        return fail(error, where(name, record, pos) + "operator type " + std::to_string(type) +
                               " of clip " + std::to_string(clip) + " is outside 0-6");
      }
      const size_t recordSize = clipRecordSize(type);
      if (size - pos < recordSize) {
        return fail(error, where(name, record, pos) + "the file ends inside clip " +
                               std::to_string(clip) + " (" + std::to_string(size) +
                               " bytes in all)");
      }
      pos += recordSize;
    }
  }
  return true;
}

bool writeAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= size_t(n);
  }
  return true;
}

// Creates `temp` holding `bytes`, flushed to the disk, with the permissions of `like` when given.
// On failure nothing is left behind; the result names the step that failed and `err` says why.
const char* writeFlushed(const std::string& temp, const std::vector<uint8_t>& bytes,
                         const struct stat* like, int* err) {
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666);
  if (fd == -1) {
    *err = errno;
    return "cannot create ";
  }
  if (like != nullptr) ::fchmod(fd, like->st_mode & 07777);
  const char* failed = nullptr;
  if (!writeAll(fd, bytes.data(), bytes.size())) {
    failed = "cannot write ";
  } else if (::fsync(fd) != 0) {
    failed = "cannot flush ";
  }
  *err = errno;
  if (::close(fd) != 0 && failed == nullptr) {
    failed = "cannot close ";
    *err = errno;
  }
  if (failed != nullptr) ::unlink(temp.c_str());
  return failed;
}

std::string directoryOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// `path` with every symbolic link at its end followed, as opening it would (at most 40 links),
// so that a save replaces the file the link names rather than the link. A dangling link gives the
// path it points to. False, with errno ELOOP, when the links do not end.
bool followLinks(const std::string& path, std::string* target) {
  std::string p = path;
  for (int links = 0;; ++links) {
    std::error_code notALink;
    const std::string next = std::filesystem::read_symlink(p, notALink).string();
    if (notALink) {
      *target = p;
      return true;
    }
    if (links == 40) {
      errno = ELOOP;
      return false;
    }
    p = next[0] == '/' || p.find('/') == std::string::npos ? next : directoryOf(p) + "/" + next;
  }
}

// The first of <target>.unreadable, <target>.unreadable.1, .2, ... that names nothing yet.
std::string freeUnreadableName(const std::string& target) {
  const std::string base = target + ".unreadable";
  std::string candidate = base;
  struct stat info;
  for (int n = 1; ::lstat(candidate.c_str(), &info) == 0; ++n) candidate = base + "." + std::to_string(n);
  return candidate;
}

}  // namespace

std::vector<uint8_t> encodeProject(const Timeline& timeline) {
  size_t size = 0;
  for (int layer = 0; layer < kLayerCount; ++layer) {
    size += kLayerHeaderSize;
    for (int32_t type : timeline.layerClipTypes[layer]) size += clipRecordSize(type);
  }

  std::vector<uint8_t> bytes(size);
  uint8_t* out = bytes.data();
  for (int layer = 0; layer < kLayerCount; ++layer) {
    const auto& types = timeline.layerClipTypes[layer];
    const auto& times = timeline.layerClipTimes[layer];
    const auto& params = timeline.layerClipParams[layer];
    const size_t count = types.size();
    *out++ = uint8_t(layer);
    *out++ = uint8_t(count);
    *out++ = uint8_t(count >> 8);
    for (size_t i = 0; i < count; ++i) {
      const int32_t type = types[i];
      putU32(out, uint32_t(type));
      putFloat(out, times[i].start);
      putFloat(out, times[i].length);
      const ParameterBlock& block = *params[i];
      // The type decides the record size; the block always holds at least that many values.
      const int n = paramCountOf(type);
      for (int k = 0; k < n; ++k) putFloat(out, block.values[k]);
    }
  }
  return bytes;
}

bool saveProject(const Timeline& timeline, const std::string& path, std::string* error,
                 KeepPrevious keep, std::string* notice) {
  return saveProjectBytes(encodeProject(timeline), path, error, keep, notice);
}

bool saveProjectBytes(const std::vector<uint8_t>& bytes, const std::string& path, std::string* error,
                      KeepPrevious keep, std::string* notice) {
  std::string target;
  if (!followLinks(path, &target)) {
    return fail(error, path + ": cannot follow the link: " + errnoText(errno));
  }
  const std::string name = target == path ? path : path + " (" + target + ")";

  struct stat old;
  const bool replacing = ::lstat(target.c_str(), &old) == 0;
  if (replacing) {
    // Renaming over a device or a folder would destroy it; only files are saved over.
    if (!S_ISREG(old.st_mode)) return fail(error, name + ": not a regular file; nothing saved");
    // Saving must fail wherever opening the file for writing would: a write-protected project
    // stays as the user left it, though the folder would allow a rename over it.
    const int probe = ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (probe == -1) return fail(error, name + ": cannot open for writing: " + errnoText(errno));
    ::close(probe);
  }

  const std::string temp = target + ".tmp";
  int err = 0;
  if (const char* failed = writeFlushed(temp, bytes, replacing ? &old : nullptr, &err)) {
    return fail(error, name + ": " + failed + temp + ": " + errnoText(err));
  }

  std::string kept;
  if (replacing && keep != KeepPrevious::kNone) {
    kept = keep == KeepPrevious::kBackup ? target + ".bak" : freeUnreadableName(target);
    if (::rename(target.c_str(), kept.c_str()) != 0) {
      err = errno;
      ::unlink(temp.c_str());
      return fail(error, name + ": cannot keep the old file as " + kept + ": " + errnoText(err) +
                             "; nothing saved");
    }
  }
  if (::rename(temp.c_str(), target.c_str()) != 0) {
    err = errno;
    if (!kept.empty()) ::rename(kept.c_str(), target.c_str());
    ::unlink(temp.c_str());
    return fail(error, name + ": cannot replace the file: " + errnoText(err));
  }
  if (keep == KeepPrevious::kUnreadable && !kept.empty() && notice != nullptr) {
    *notice = name + ": the file that could not be read is kept as " + kept;
  }
  // Make the renames themselves durable; the new file is whole either way, so failure is not fatal.
  const int dir = ::open(directoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

LoadResult decodeProject(Timeline& timeline, const uint8_t* data, size_t size,
                         const std::string& name, std::string* error) {
  std::array<RecordSpan, kLayerCount> spans;
  if (!checkProject(data, size, name, spans, error)) return LoadResult::kMalformed;

  timeline.clear();
  for (const RecordSpan& span : spans) {
    const int layer = span.layer;
    timeline.tracks[layer].bars.reserve(size_t(span.count));  // mutants: skip (speed only)
    timeline.layerClipTypes[layer].reserve(size_t(span.count));  // mutants: skip (speed only)
    timeline.layerClipTimes[layer].reserve(size_t(span.count));  // mutants: skip (speed only)
    timeline.layerClipParams[layer].reserve(size_t(span.count));  // mutants: skip (speed only)
    const uint8_t* p = data + span.clipsOffset;
    for (int clip = 0; clip < span.count; ++clip) {
      const int32_t type = getI32(p);
      timeline.addClip(layer, getFloat(p + 4), getFloat(p + 8), type);
      ParameterBlock& block = *timeline.layerClipParams[layer].back();
      const int n = paramCountOf(type);
      for (int k = 0; k < n; ++k) block.values[k] = getFloat(p + kClipHeaderSize + 4 * size_t(k));
      p += clipRecordSize(type);
    }
  }
  return LoadResult::kLoaded;
}

LoadResult loadProject(Timeline& timeline, const std::string& path, std::string* error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    const int err = errno;
    fail(error, path + ": cannot open: " + errnoText(err));
    return err == ENOENT || err == ENOTDIR ? LoadResult::kMissing : LoadResult::kUnreadable;
  }

  // Read straight into the buffer, sized from the file when it can tell, growing otherwise.
  std::vector<uint8_t> bytes;
  struct stat info;
  size_t capacity = 65536;  // mutants: skip (speed only)
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {  // mutants: skip (speed only)
    capacity = std::min(size_t(info.st_size) + 1, kMaxProjectBytes);  // mutants: skip (speed only)
  }
  size_t used = 0;
  bytes.resize(capacity);
  while (used < kMaxProjectBytes) {
    if (used == bytes.size()) bytes.resize(std::min(bytes.size() * 2, kMaxProjectBytes));
    const ssize_t n = ::read(fd, bytes.data() + used, bytes.size() - used);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd);
      fail(error, path + ": cannot read: " + errnoText(err));
      return LoadResult::kUnreadable;
    }
    used += size_t(n);
  }
  bytes.resize(used);
  ::close(fd);
  return decodeProject(timeline, bytes.data(), bytes.size(), path, error);
}

}  // namespace korvalin
