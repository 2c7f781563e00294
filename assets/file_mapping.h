// A whole file mapped read-only, for the readers of outside files: nothing is copied or
// allocated however large the file is.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korvalin {

class FileMapping {
 public:
  explicit FileMapping(const char* path);
  ~FileMapping();
  FileMapping(const FileMapping&) = delete;
  FileMapping& operator=(const FileMapping&) = delete;

  // The file could be opened for reading.
  bool opened() const { return fd_ >= 0; }
  // Why an opened file could not be mapped (not a regular file, or what the system says), or
  // nullptr. An empty file maps to nothing, without a reason.
  const char* failure() const { return failure_; }
  // The bytes; nullptr unless mapped.
  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  int fd_ = -1;
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  const char* failure_ = nullptr;
};

}  // namespace korvalin
