#include "framework/FolderItem.h"

#include <QDesktopServices>
#include <QFile>
#include <QUrl>
#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>

namespace framework {

namespace {

std::function<bool(const FolderItem&)>& launchHook() {
  static std::function<bool(const FolderItem&)> hook;
  return hook;
}

// "a/b/" and "a/b" name the same item; only the root keeps its slash.
std::string trimmedPath(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

FolderItem::FolderItem(std::string path, std::string name)
    : path_(trimmedPath(std::move(path))), name_(std::move(name)) {}

std::string FolderItem::Name() const {
  if (!name_.empty()) return name_;
  if (path_ == "/") return path_;
  const auto slash = path_.rfind('/');
  return slash == std::string::npos ? path_ : path_.substr(slash + 1);
}

const FolderItem::Status& FolderItem::status() const {
  if (!status_) {
    Status s;
    struct stat st {};
    if (::lstat(path_.c_str(), &st) == 0) {
      s.exists = true;
      s.directory = S_ISDIR(st.st_mode);
      s.length = static_cast<std::uint64_t>(st.st_size);
      s.mtime = static_cast<std::int64_t>(st.st_mtime);
    }
    status_ = s;
  }
  return *status_;
}

bool FolderItem::Exists() const { return status().exists; }

bool FolderItem::Visible() const {
  if (!Exists()) return false;
  const std::string name = Name();
  return name.empty() || name.front() != '.';
}

bool FolderItem::Directory() const { return status().directory; }

std::uint64_t FolderItem::Length() const { return status().length; }

Date FolderItem::ModificationDate() const {
  if (!Exists()) return Date();
  // The reader asks twice per item: the local-time conversion is made once.
  if (!date_) date_ = Date::fromSecsSinceEpoch(status().mtime);
  return *date_;
}

int FolderItem::Count() {
  if (!listing_) {
    auto names = std::make_shared<std::vector<std::string>>();
    if (Directory()) {
      if (DIR* dir = ::opendir(path_.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
          const std::string_view n(entry->d_name);
          if (n != "." && n != "..") names->emplace_back(n);
        }
        ::closedir(dir);
      }
    }
    // std::string compares as unsigned bytes, which is the order the walk promises.
    std::sort(names->begin(), names->end());
    listing_ = std::move(names);
  }
  return static_cast<int>(listing_->size());
}

std::optional<FolderItem> FolderItem::Item(int index) {
  if (index < 1 || index > Count()) return std::nullopt;
  const std::string& name = (*listing_)[static_cast<std::size_t>(index - 1)];
  FolderItem child(path_ == "/" ? "/" + name : path_ + "/" + name);
  // The status read here is the one the walk uses, so each entry costs one lstat.
  if (!child.Exists()) return std::nullopt;
  return child;
}

std::optional<FolderItem> FolderItem::Child(const std::string& name) const {
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
      name.find('\0') != std::string::npos)
    return std::nullopt;
  // Unlike Directory, a link to a folder can give children: the preferences folder may be one.
  struct stat st {};
  if (::stat(path_.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return std::nullopt;
  return FolderItem(path_ == "/" ? "/" + name : path_ + "/" + name);
}

bool FolderItem::Launch(bool) const {
  if (launchHook()) return launchHook()(*this);
  return QDesktopServices::openUrl(QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(path_))));
}

void setLaunchHook(std::function<bool(const FolderItem&)> hook) { launchHook() = std::move(hook); }

}  // namespace framework
