#include "support/TreeGenerator.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <random>
#include <set>
#include <stdexcept>
#include <vector>

namespace bench {

namespace {

std::string utf8(char32_t c) {
  std::string out;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
  return out;
}

const char32_t kPlainKana[] = U"あいうえおなにぬねのまみむめもやゆよらりるれろわんアイウエオナニヌネノマミムメモラリルレロ"
                              U"写真資料会議報告書音楽旅行日本語夏冬春秋計画";
// Kana that take a voicing mark: the voiced form is the next code point, or base + U+3099 decomposed.
const char32_t kVoiceable[] = U"かきくけこさしすせそたちつてとはひふへほカキクケコサシスセソタチツテトハヒフヘホ";
const char* const kExtensions[] = {".txt", ".jpg", ".png", ".mp3", ".pdf", ".html", ".c", ".zip", ".docx",
                                   ".mov", "", ".dat", ".JPG", ".xlsx", ".wav", ".h", ".json", ".epub"};
const char kAscii[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_- ";

class Generator {
 public:
  Generator(long items, std::uint32_t seed) : target_(items), rng_(seed) {}

  void fillRoot(int rootFd) {
    // Depth 1 to 3 hold folders only; every folder at depth 4 starts a subtree of 7 folders and about
    // 140 entries whose files lie at depth 5 to 8. About one entry in twenty is a folder.
    const long subtrees = std::max(1L, target_ / 140 + 1);
    fan_ = std::max(2, static_cast<int>(std::ceil(std::pow(static_cast<double>(subtrees), 0.25))));
    upper(rootFd, 1);
  }

  TreeSize size() const { return size_; }

 private:
  bool full() const { return size_.items >= target_; }

  void upper(int dirFd, int depth) {
    std::set<std::string> used;
    for (int i = 0; i < fan_ && !full(); ++i) {
      const int fd = folder(dirFd, used);
      if (depth == 4) lower(fd, 5);
      else upper(fd, depth + 1);
      ::close(fd);
    }
  }

  void lower(int dirFd, int depth) {
    std::set<std::string> used;
    const int entries = std::uniform_int_distribution<int>(15, 25)(rng_);
    const int folders = depth == 8 ? 0 : depth == 5 ? 2 : 1;
    for (int i = 0; i < entries - folders && !full(); ++i) file(dirFd, used);
    for (int i = 0; i < folders && !full(); ++i) {
      const int fd = folder(dirFd, used);
      lower(fd, depth + 1);
      ::close(fd);
    }
  }

  std::string name(bool withExtension, std::set<std::string>& used) {
    for (;;) {
      const int length = std::uniform_int_distribution<int>(5, 40)(rng_);
      const std::string ext = withExtension ? kExtensions[pick(std::size(kExtensions))] : "";
      const int stem = std::max(1, length - static_cast<int>(ext.size()));
      std::string out;
      const int kind = pick(20);  // 4 in 20 Japanese, one of them decomposed
      for (int c = 0; c < stem; ++c) {
        if (kind >= 4) {
          out += kAscii[pick(sizeof kAscii - 1)];
        } else if (pick(3) == 0) {
          const char32_t base = kVoiceable[pick(std::size(kVoiceable) - 1)];
          out += kind == 0 ? utf8(base) + utf8(0x3099) : utf8(base + 1);
        } else {
          out += utf8(kPlainKana[pick(std::size(kPlainKana) - 1)]);
        }
      }
      while (!out.empty() && out.back() == ' ') out.pop_back();
      if (out.empty() || out.front() == '.') continue;
      out += ext;
      if (used.insert(out).second) return out;
    }
  }

  int folder(int dirFd, std::set<std::string>& used) {
    const std::string n = name(false, used);
    if (::mkdirat(dirFd, n.c_str(), 0755) != 0) throw std::runtime_error("mkdir " + n);
    const int fd = ::openat(dirFd, n.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) throw std::runtime_error("open " + n);
    ++size_.items;
    ++size_.folders;
    return fd;
  }

  void file(int dirFd, std::set<std::string>& used) {
    const std::string n = name(true, used);
    const int fd = ::openat(dirFd, n.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error("create " + n);
    // Sizes spread over the orders of magnitude, up to 4 MB, with no disc space used.
    const double magnitude = std::uniform_real_distribution<double>(0.0, 22.0)(rng_);
    if (::ftruncate(fd, static_cast<off_t>(std::exp2(magnitude))) != 0) throw std::runtime_error("size " + n);
    const timespec times[2] = {{0, UTIME_OMIT}, {1'000'000'000 + pick(700'000'000), 0}};
    ::futimens(fd, times);
    ::close(fd);
    ++size_.items;
  }

  int pick(std::size_t n) { return static_cast<int>(std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_)); }

  long target_;
  std::mt19937 rng_;
  int fan_ = 2;
  TreeSize size_;
};

}  // namespace

TreeSize makeTree(const std::string& root, long items, std::uint32_t seed) {
  std::filesystem::create_directories(root);
  const int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error("open " + root);
  Generator g(items, seed);
  g.fillRoot(fd);
  ::close(fd);
  return g.size();
}

void removeTree(const std::string& root) {
  std::error_code ignored;
  std::filesystem::remove_all(root, ignored);
}

}  // namespace bench
