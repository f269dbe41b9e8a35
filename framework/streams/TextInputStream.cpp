#include "framework/streams/TextInputStream.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <unistd.h>

#include "framework/files/RegularFile.h"

namespace framework {

namespace {
constexpr std::size_t chunkSize = 64 * 1024;
}

std::unique_ptr<TextInputStream> TextInputStream::Open(const FolderItem& item) {
  RegularFile file = RegularFile::Open(item.Path(), O_RDONLY);
  if (!file.valid()) return nullptr;
  std::unique_ptr<TextInputStream> stream(new TextInputStream(file.release()));
  stream->fill();
  return stream;
}

TextInputStream::~TextInputStream() { Close(); }

bool TextInputStream::fill() {
  if (pos_ < buffer_.size()) return true;
  buffer_.clear();
  pos_ = 0;
  if (fd_ < 0) return false;
  buffer_.resize(chunkSize);
  ssize_t n = 0;
  do n = ::read(fd_, buffer_.data(), chunkSize);
  while (n < 0 && errno == EINTR);
  // A read error ends the file as its end would.
  buffer_.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return n > 0;
}

std::string TextInputStream::ReadLine() {
  return ReadLine(std::numeric_limits<std::size_t>::max()).value_or(std::string());
}

std::optional<std::string> TextInputStream::ReadLine(std::size_t limit) {
  std::string line;
  while (fill()) {
    const auto begin = buffer_.begin() + static_cast<std::ptrdiff_t>(pos_);
    const auto end = std::find_if(begin, buffer_.end(), [](char c) { return c == '\n' || c == '\r'; });
    const auto taken = static_cast<std::size_t>(end - begin);
    if (taken > limit - line.size()) {
      pos_ += limit - line.size();
      return std::nullopt;
    }
    line.append(begin, end);
    pos_ += taken;
    if (end == buffer_.end()) continue;
    ++pos_;
    if (*end == '\r' && fill() && buffer_[pos_] == '\n') ++pos_;
    break;
  }
  // Reading ahead now lets Eof say "the end" right after the last line, with or without its end.
  fill();
  return line;
}

bool TextInputStream::Eof() const { return pos_ >= buffer_.size(); }

void TextInputStream::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  buffer_.clear();
  pos_ = 0;
}

}  // namespace framework
