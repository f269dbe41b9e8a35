#include "framework/files/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace framework {

RegularFile RegularFile::Open(const std::string& path, int flags) {
  // What is there already is looked at first, so that a device is not even opened.
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return {};
  // Without O_NONBLOCK a pipe swapped in after that look would block the open until a writer came.
  RegularFile file(::open(path.c_str(), (flags & ~O_TRUNC) | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644));
  if (!file.valid()) return {};
  if (::fstat(file.fd_, &st) != 0 || !S_ISREG(st.st_mode)) return {};
  const int status = ::fcntl(file.fd_, F_GETFL);
  if (status < 0 || ::fcntl(file.fd_, F_SETFL, status & ~O_NONBLOCK) != 0) return {};
  if ((flags & O_TRUNC) && ::ftruncate(file.fd_, 0) != 0) return {};
  return file;
}

RegularFile::~RegularFile() {
  if (fd_ >= 0) ::close(fd_);
}

RegularFile& RegularFile::operator=(RegularFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.release();
  }
  return *this;
}

int RegularFile::release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

bool IsRegularFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace framework
