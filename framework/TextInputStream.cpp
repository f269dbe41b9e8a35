#include "framework/TextInputStream.h"

#include <sys/stat.h>

namespace framework {

namespace {
constexpr std::size_t chunkSize = 64 * 1024;
}

std::unique_ptr<TextInputStream> TextInputStream::Open(const FolderItem& item) {
  std::FILE* file = std::fopen(item.Path().c_str(), "rbe");
  if (!file) return nullptr;
  struct stat st {};
  if (::fstat(::fileno(file), &st) != 0 || S_ISDIR(st.st_mode)) {
    std::fclose(file);
    return nullptr;
  }
  std::unique_ptr<TextInputStream> stream(new TextInputStream(file));
  stream->fill();
  return stream;
}

TextInputStream::~TextInputStream() { Close(); }

bool TextInputStream::fill() {
  if (pos_ < buffer_.size()) return true;
  buffer_.clear();
  pos_ = 0;
  if (!file_) return false;
  buffer_.resize(chunkSize);
  const std::size_t n = std::fread(buffer_.data(), 1, chunkSize, file_);
  buffer_.resize(n);
  return n > 0;
}

bool TextInputStream::nextByte(unsigned char& byte) {
  if (!fill()) return false;
  byte = static_cast<unsigned char>(buffer_[pos_++]);
  return true;
}

std::string TextInputStream::ReadLine() {
  std::string line;
  unsigned char byte = 0;
  while (nextByte(byte)) {
    if (byte == '\n') break;
    if (byte == '\r') {
      if (fill() && buffer_[pos_] == '\n') ++pos_;
      break;
    }
    line.push_back(static_cast<char>(byte));
  }
  // Reading ahead now lets Eof say "the end" right after the last line, with or without its end.
  fill();
  return line;
}

bool TextInputStream::Eof() const { return pos_ >= buffer_.size(); }

void TextInputStream::Close() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
  buffer_.clear();
  pos_ = 0;
}

}  // namespace framework
