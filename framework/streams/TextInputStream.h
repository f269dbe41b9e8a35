#pragma once
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "framework/files/FolderItem.h"

namespace framework {

// A file read line by line, bytes as they stand. Closed by its destructor.
class TextInputStream {
 public:
  // The regular file, positioned at its first line; nullptr when it cannot be opened or is no
  // regular file (a pipe, a device, a folder), which is told without blocking.
  static std::unique_ptr<TextInputStream> Open(const FolderItem& item);

  ~TextInputStream();
  TextInputStream(const TextInputStream&) = delete;
  TextInputStream& operator=(const TextInputStream&) = delete;

  // The next line without its end (CR, LF or CRLF); "" once the end has been reached.
  std::string ReadLine();
  // The same for a line of at most `limit` bytes; none for a longer one, of which no more than
  // `limit` bytes are ever held. The stream is then left inside that line.
  std::optional<std::string> ReadLine(std::size_t limit);
  // The whole file has been read: true after its last line, whether or not that line has an end.
  bool Eof() const;
  // Closes the file; later calls do nothing, later reads give "".
  void Close();

 private:
  explicit TextInputStream(int fd) : fd_(fd) {}
  bool fill();  // more bytes into the buffer when it is spent; false at the file's end

  int fd_ = -1;
  std::vector<char> buffer_;
  std::size_t pos_ = 0;
};

}  // namespace framework
