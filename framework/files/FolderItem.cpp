#include "framework/files/FolderItem.h"

#include <QDesktopServices>
#include <QFile>
#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "framework/files/KindText.h"
#include "framework/files/ReadAhead.h"
#include "framework/text/Normalization.h"

namespace framework {

enum class HiddenMarks : unsigned char { None, Fat, Ntfs };

namespace {

std::function<bool(const FolderItem&)>& launchHook() {
  static std::function<bool(const FolderItem&)> hook;
  return hook;
}

std::function<int(const std::string&)>& openFolderHook() {
  static std::function<int(const std::string&)> hook;
  return hook;
}

FileSystemSeam& fileSystemSeam() {
  static FileSystemSeam seam;
  return seam;
}

// "a/b/" and "a/b" name the same item; only the root keeps its slash.
std::string trimmedPath(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string joined(const std::string& folder, const std::string& name) {
  return folder == "/" ? "/" + name : folder + "/" + name;
}

// By the type's name, as a test gives it ("ntfs", "ntfs3", "ntfs-3g" are all NTFS).
HiddenMarks marksOfType(const std::string& type) {
  if (type == "vfat" || type == "msdos" || type == "exfat") return HiddenMarks::Fat;
  if (type.find("ntfs") != std::string::npos) return HiddenMarks::Ntfs;
  return HiddenMarks::None;
}

// ntfs-3g runs through FUSE, where the mount table may say no more than "fuse": the folder itself
// is asked for its NTFS attributes, once per file system.
bool answersNtfsAttributes(int fd) {
  unsigned char bytes[4];
  return ::fgetxattr(fd, "system.ntfs_attrib_be", bytes, sizeof bytes) == 4 ||
         ::fgetxattr(fd, "system.ntfs_attrib", bytes, sizeof bytes) == 4;
}

HiddenMarks marksOfFolder(int fd, const std::function<std::string()>& path) {
  if (fileSystemSeam().type) {
    if (const std::string type = fileSystemSeam().type(path()); !type.empty()) return marksOfType(type);
  }
  struct statfs fs {};
  if (::fstatfs(fd, &fs) != 0) return HiddenMarks::None;
  switch (static_cast<unsigned long>(fs.f_type)) {
    case 0x4d44:  // MSDOS_SUPER_MAGIC: vfat, msdos
    case 0x2011BAB0:  // EXFAT_SUPER_MAGIC
      return HiddenMarks::Fat;
    case 0x5346544e:  // NTFS_SB_MAGIC: ntfs3, ntfs
      return HiddenMarks::Ntfs;
    case 0x65735546:  // FUSE_SUPER_MAGIC
      return answersNtfsAttributes(fd) ? HiddenMarks::Ntfs : HiddenMarks::None;
    default:
      return HiddenMarks::None;
  }
}

constexpr std::uint32_t kFatHidden = 0x02;   // ATTR_HIDDEN
constexpr std::uint32_t kNtfsHidden = 0x02;  // FILE_ATTRIBUTE_HIDDEN

std::optional<std::uint32_t> fatAttributes(int dirFd, const char* name, bool openable) {
  // The attribute is asked of an open file: special files are never opened.
  if (!openable) return std::nullopt;
  const int fd = ::openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::uint32_t attributes = 0;
  const bool ok = ::ioctl(fd, FAT_IOCTL_GET_ATTRIBUTES, &attributes) == 0;
  ::close(fd);
  return ok ? std::optional(attributes) : std::nullopt;
}

std::optional<std::uint32_t> ntfsAttributes(int dirFd, const std::string& name) {
  // The entry is named through the folder's handle: the path stays short at any depth.
  const std::string path = "/proc/self/fd/" + std::to_string(dirFd) + "/" + name;
  unsigned char bytes[4];
  if (::lgetxattr(path.c_str(), "system.ntfs_attrib_be", bytes, sizeof bytes) == 4)
    return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 | std::uint32_t{bytes[2]} << 8 | bytes[3];
  if (::lgetxattr(path.c_str(), "system.ntfs_attrib", bytes, sizeof bytes) == 4)
    return std::uint32_t{bytes[3]} << 24 | std::uint32_t{bytes[2]} << 16 | std::uint32_t{bytes[1]} << 8 | bytes[0];
  return std::nullopt;
}

// A deep walk holds one handle per level: the soft limit on open files is raised to the hard one.
void allowManyHandles() {
  static const bool raised = [] {
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
      limit.rlim_cur = limit.rlim_max;
      ::setrlimit(RLIMIT_NOFILE, &limit);
    }
    return true;
  }();
  (void)raised;
}

}  // namespace

FolderItem::Folder::~Folder() {
  if (fd >= 0) ::close(fd);
}

FolderItem::FolderItem(std::string path, std::string name)
    : path_(trimmedPath(std::move(path))), name_(std::move(name)) {
  if (name_.empty()) {
    const auto slash = path_.rfind('/');
    name_ = path_ == "/" || slash == std::string::npos ? path_ : path_.substr(slash + 1);
  }
}

FolderItem::FolderItem(std::shared_ptr<const Folder> parent, std::size_t index)
    : parent_(std::move(parent)), index_(index) {}

std::string FolderItem::Path() const { return parent_ ? joined(parent_->path, Name()) : path_; }

const std::string& FolderItem::Name() const { return parent_ ? parent_->names[index_] : name_; }

const FolderItem::Entry* FolderItem::aheadEntry() const {
  return parent_ && !parent_->ahead.empty() ? &parent_->ahead[index_] : nullptr;
}

const FolderItem::Status& FolderItem::status() const {
  if (!status_ && aheadEntry()) status_ = aheadEntry()->status;
  if (!status_) {
    Status s;
    struct stat st {};
    const int rc = parent_ ? ::fstatat(parent_->fd, Name().c_str(), &st, AT_SYMLINK_NOFOLLOW)
                           : ::lstat(path_.c_str(), &st);
    if (rc == 0) {
      s.exists = true;
      s.directory = S_ISDIR(st.st_mode);
      s.length = s.directory ? 0 : static_cast<std::uint64_t>(st.st_size);
      s.mtime = static_cast<std::int64_t>(st.st_mtime);
      s.device = st.st_dev;
      s.inode = st.st_ino;
      s.openable = s.directory || S_ISREG(st.st_mode);
    }
    status_ = s;
  }
  return *status_;
}

bool FolderItem::Exists() const { return status().exists; }

bool FolderItem::hiddenByFileSystem() const {
  if (const Entry* known = aheadEntry()) return known->hidden;
  if (!parent_ || parent_->marks == HiddenMarks::None) return false;
  std::optional<std::uint32_t> attributes;
  if (fileSystemSeam().attributes)
    attributes = fileSystemSeam().attributes(Path());
  else if (parent_->marks == HiddenMarks::Fat)
    attributes = fatAttributes(parent_->fd, Name().c_str(), status().openable);
  else
    attributes = ntfsAttributes(parent_->fd, Name());
  const std::uint32_t hidden = parent_->marks == HiddenMarks::Fat ? kFatHidden : kNtfsHidden;
  return attributes && (*attributes & hidden) != 0;
}

bool FolderItem::Visible() const {
  if (!Exists()) return false;
  const std::string& name = Name();
  return (name.empty() || name.front() != '.') && !hiddenByFileSystem();
}

bool FolderItem::Directory() const { return status().directory; }

std::uint64_t FolderItem::Length() const { return status().length; }

Date FolderItem::ModificationDate() const {
  if (!Exists()) return Date();
  // The reader asks twice per item: the local-time conversion is made once.
  if (!date_) date_ = Date::fromSecsSinceEpoch(status().mtime);
  return *date_;
}

std::optional<std::string> FolderItem::KindByName() const {
  if (const Entry* known = aheadEntry(); known && known->named) return known->kind;
  return KindOfFileName(Name());
}

std::optional<std::string> FolderItem::ComposedName() const {
  if (const Entry* known = aheadEntry(); known && known->named) return known->composed;
  return ComposeUtf8(Name());
}

int FolderItem::Count() {
  if (!listing_) {
    if (Directory()) listing_ = ReadAhead::take(parent_ ? parent_->readAhead : readAhead_, *this);
    if (!listing_) listing_ = listNow();
    listingFailed_ = listing_->failed;
  }
  return static_cast<int>(listing_->names.size());
}

std::shared_ptr<FolderItem::Folder> FolderItem::listNow() const {
  auto folder = std::make_shared<Folder>();
  if (!Directory()) return folder;
  folder->path = Path();
  folder->device = status().device;
  allowManyHandles();
  int fd = -1;
  if (const int refused = openFolderHook() ? openFolderHook()(folder->path) : 0) {
    errno = refused;
  } else {
    constexpr int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    fd = parent_ ? ::openat(parent_->fd, Name().c_str(), flags) : ::open(path_.c_str(), flags);
  }
  struct stat opened {};
  if (fd >= 0 && (::fstat(fd, &opened) != 0 || opened.st_dev != status().device ||
                  opened.st_ino != status().inode)) {
    // Another directory stands there now: what was listed is not what would be read.
    ::close(fd);
    fd = -1;
  }
  folder->fd = fd;
  folder->failed = fd < 0 || !list(*folder);
  if (fd >= 0) {
    folder->marks = parent_ && parent_->device == folder->device ? parent_->marks
                                                                 : marksOfFolder(fd, [&] { return folder->path; });
  }
  return folder;
}

bool FolderItem::list(Folder& folder) {
  // The listing reads a handle of its own, so the folder's stays open for the entries.
  const int own = ::dup(folder.fd);
  DIR* dir = own >= 0 ? ::fdopendir(own) : nullptr;
  if (!dir) {
    if (own >= 0) ::close(own);
    return false;
  }
  bool complete = true;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(dir);
    if (!entry) {
      complete = errno == 0;
      break;
    }
    const char* n = entry->d_name;
    if (n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'))) continue;
    folder.names.emplace_back(n);
  }
  ::closedir(dir);
  // std::string compares as unsigned bytes, which is the order the walk promises.
  std::sort(folder.names.begin(), folder.names.end());
  return complete;
}

std::optional<FolderItem> FolderItem::Item(int index) {
  if (index < 1 || index > Count()) return std::nullopt;
  FolderItem child(listing_, static_cast<std::size_t>(index - 1));
  // The status read here (or ahead) is the one the walk uses, so each entry costs one fstatat.
  if (!child.Exists()) return std::nullopt;
  return child;
}

std::optional<FolderItem> FolderItem::Child(const std::string& name) const {
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
      name.find('\0') != std::string::npos)
    return std::nullopt;
  // Unlike Directory, a link to a folder can give children: the preferences folder may be one.
  const std::string path = Path();
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return std::nullopt;
  return FolderItem(joined(path, name));
}

bool FolderItem::Launch(bool) const {
  if (launchHook()) return launchHook()(*this);
  return QDesktopServices::openUrl(QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(Path()))));
}

void setLaunchHook(std::function<bool(const FolderItem&)> hook) { launchHook() = std::move(hook); }

void setOpenFolderHook(std::function<int(const std::string& path)> hook) { openFolderHook() = std::move(hook); }

void setFileSystemSeam(FileSystemSeam seam) { fileSystemSeam() = std::move(seam); }

}  // namespace framework
