#pragma once
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "framework/FolderItem.h"

namespace framework {

// A file read line by line, bytes as they stand. Closed by its destructor.
class TextInputStream {
 public:
  // The file, positioned at its first line; nullptr when it cannot be opened.
  static std::unique_ptr<TextInputStream> Open(const FolderItem& item);

  ~TextInputStream();
  TextInputStream(const TextInputStream&) = delete;
  TextInputStream& operator=(const TextInputStream&) = delete;

  // The next line without its end (CR, LF or CRLF); "" once the end has been reached.
  std::string ReadLine();
  // The whole file has been read: true after its last line, whether or not that line has an end.
  bool Eof() const;
  // Closes the file; later calls do nothing, later reads give "".
  void Close();

 private:
  explicit TextInputStream(std::FILE* file) : file_(file) {}
  bool fill();  // more bytes into the buffer when it is spent; false at the file's end
  bool nextByte(unsigned char& byte);

  std::FILE* file_ = nullptr;
  std::vector<char> buffer_;
  std::size_t pos_ = 0;
};

}  // namespace framework
