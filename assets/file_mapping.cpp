#include "assets/file_mapping.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace korvalin {

FileMapping::FileMapping(const char* path) {
  // Not blocking: a FIFO put where a file belongs must not stop the program.
  fd_ = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd_ < 0) return;
  struct stat st {};
  if (::fstat(fd_, &st) != 0) {
    failure_ = std::strerror(errno);
    return;
  }
  if (!S_ISREG(st.st_mode)) {
    failure_ = "not a regular file";
    return;
  }
  if (st.st_size <= 0) return;
  void* view = ::mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd_, 0);
  if (view == MAP_FAILED) {
    failure_ = std::strerror(errno);
    return;
  }
  data_ = static_cast<const uint8_t*>(view);
  size_ = static_cast<size_t>(st.st_size);
}

FileMapping::~FileMapping() {
  if (data_ != nullptr) ::munmap(const_cast<uint8_t*>(data_), size_);
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace korvalin
