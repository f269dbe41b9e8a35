#pragma once
#include <string>

namespace framework {

// An open regular file's descriptor, closed by its destructor. A file the program reads or writes
// by name is used only through this, so that a named pipe, a device or a folder put in its place
// never blocks, never acts, and counts as missing.
class RegularFile {
 public:
  // `path` opened with `flags` (an access mode, optionally O_CREAT, O_EXCL, O_TRUNC) when it is a
  // regular file, links followed; anything else gives an invalid descriptor without blocking.
  // O_TRUNC empties only a file that has been found to be a regular one. Close-on-exec, blocking.
  static RegularFile Open(const std::string& path, int flags);

  RegularFile() = default;
  ~RegularFile();
  RegularFile(RegularFile&& other) noexcept : fd_(other.release()) {}
  RegularFile& operator=(RegularFile&& other) noexcept;
  RegularFile(const RegularFile&) = delete;
  RegularFile& operator=(const RegularFile&) = delete;

  bool valid() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  // Hands the descriptor over to the caller, who closes it.
  int release();

 private:
  explicit RegularFile(int fd) : fd_(fd) {}
  int fd_ = -1;
};

// Whether `path` names a regular file (links followed), told without opening it.
bool IsRegularFile(const std::string& path);

}  // namespace framework
