#include "framework/streams/BinaryStream.h"

#include "framework/files/RegularFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace framework {

std::unique_ptr<BinaryStream> BinaryStream::Open(const FolderItem& item, bool readWrite) {
  RegularFile file = RegularFile::Open(item.Path(), readWrite ? O_RDWR : O_RDONLY);
  if (!file.valid()) return nullptr;
  return std::unique_ptr<BinaryStream>(new BinaryStream(file.release()));
}

std::unique_ptr<BinaryStream> BinaryStream::Create(const FolderItem& item, bool overwrite) {
  RegularFile file = RegularFile::Open(item.Path(), O_RDWR | O_CREAT | (overwrite ? O_TRUNC : O_EXCL));
  if (!file.valid()) return nullptr;
  return std::unique_ptr<BinaryStream>(new BinaryStream(file.release()));
}

BinaryStream::~BinaryStream() { Close(); }

bool BinaryStream::readExactly(std::uint8_t* bytes, std::size_t count) {
  std::size_t done = 0;
  while (fd_ >= 0 && done < count) {
    const ssize_t n = ::read(fd_, bytes + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  if (done < count) error_ = true;
  return done == count;
}

void BinaryStream::writeExactly(const std::uint8_t* bytes, std::size_t count) {
  std::size_t done = 0;
  while (fd_ >= 0 && done < count) {
    const ssize_t n = ::write(fd_, bytes + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  if (done < count) error_ = true;
}

bool BinaryStream::ReadBoolean() {
  std::uint8_t byte = 0;
  return readExactly(&byte, 1) && byte != 0;
}

std::int32_t BinaryStream::ReadLong() {
  std::uint8_t b[4] = {};
  if (!readExactly(b, 4)) return 0;
  const std::uint32_t value = (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) |
                              (std::uint32_t{b[2]} << 8) | std::uint32_t{b[3]};
  return static_cast<std::int32_t>(value);
}

void BinaryStream::WriteBoolean(bool value) {
  const std::uint8_t byte = value ? 1 : 0;
  writeExactly(&byte, 1);
}

void BinaryStream::WriteLong(std::int32_t value) {
  const auto v = static_cast<std::uint32_t>(value);
  const std::uint8_t b[4] = {static_cast<std::uint8_t>(v >> 24), static_cast<std::uint8_t>(v >> 16),
                             static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
  writeExactly(b, 4);
}

std::uint64_t BinaryStream::Length() const {
  struct stat st {};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) return 0;
  return static_cast<std::uint64_t>(st.st_size);
}

void BinaryStream::Close() {
  if (fd_ < 0) return;
  // Writes go straight to the file, so a failure shows only here (on network file systems).
  if (::close(fd_) != 0) error_ = true;
  fd_ = -1;
}

}  // namespace framework
