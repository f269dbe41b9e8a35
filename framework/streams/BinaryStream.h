#pragma once
#include <cstdint>
#include <memory>

#include "framework/files/FolderItem.h"

namespace framework {

// A file read and written as bytes, 32-bit integers big-endian. Closed by its destructor.
class BinaryStream {
 public:
  // An existing regular file, positioned at its first byte, for reading (and writing when
  // `readWrite`); nullptr when it cannot be opened or is no regular file (a pipe, a device, a
  // folder), which is told without blocking. Writing replaces bytes in place, never shortening.
  static std::unique_ptr<BinaryStream> Open(const FolderItem& item, bool readWrite);
  // A new, empty file for reading and writing; an existing regular file is emptied when
  // `overwrite`, else nullptr is given. nullptr when it cannot be created or something other than
  // a regular file stands in its place (that is left untouched).
  static std::unique_ptr<BinaryStream> Create(const FolderItem& item, bool overwrite);

  ~BinaryStream();
  BinaryStream(const BinaryStream&) = delete;
  BinaryStream& operator=(const BinaryStream&) = delete;

  // One byte, non-zero being true; false past the end (and Error becomes true).
  bool ReadBoolean();
  // Four bytes, big-endian; 0 past the end (and Error becomes true).
  std::int32_t ReadLong();
  void WriteBoolean(bool value);
  void WriteLong(std::int32_t value);

  // The file's length in bytes now.
  std::uint64_t Length() const;
  // Some read or write has failed.
  bool Error() const { return error_; }
  // Closes the file; later calls do nothing, later reads and writes fail.
  void Close();

 private:
  explicit BinaryStream(int fd) : fd_(fd) {}
  bool readExactly(std::uint8_t* bytes, std::size_t count);
  void writeExactly(const std::uint8_t* bytes, std::size_t count);

  int fd_ = -1;
  bool error_ = false;
};

}  // namespace framework
