#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "framework/text/Date.h"

namespace framework {

class ReadAhead;
// How a file system marks an entry hidden, when it does.
enum class HiddenMarks : unsigned char;

// A file system item, named by a path or listed in a folder. Cheap to copy; the item's status is
// read once (links not followed) at first use and kept, and a folder's listing is read once and
// shared by the copies. An item listed in a folder is reached through that folder's open handle,
// never by its path, so any depth can be walked; a folder is entered only if it is still the
// directory that was listed (a link or another folder put in its place is not entered), and only
// the handles of the folders whose entries are alive stay open.
class FolderItem {
 public:
  // `name`, when given, is shown as Name instead of the path's last component (volumes use it).
  explicit FolderItem(std::string path, std::string name = {});

  // The path, for display and for naming the item to other programs: for an item listed in a
  // folder, the folder's path and its name (it may exceed PATH_MAX).
  std::string Path() const;
  // The last path component as the file system gives its bytes ("/" for the root).
  const std::string& Name() const;

  // The item is there (a dangling link is there too).
  bool Exists() const;
  // It exists, its name does not begin with "." and its file system does not mark it hidden (the
  // FAT hidden attribute on vfat and exFAT, the NTFS one on ntfs3 and ntfs-3g).
  bool Visible() const;
  // A real directory: a symbolic link is never one, even to a folder.
  bool Directory() const;
  // Size in bytes; 0 for a folder and for a missing item.
  std::uint64_t Length() const;
  // Last modification, local time; the current moment for a missing item.
  Date ModificationDate() const;

  // Entries of a directory, "." and ".." left out, sorted by name bytes; 0 for a file, a link, a
  // missing or unreadable folder. Listed at the first call; later calls reuse that listing.
  int Count();
  // True once Count found this directory unopenable or unlistable (what it could list it keeps).
  bool ListingFailed() const { return listingFailed_; }
  // Entry `index` (from 1) of the listing, its status already read; none when the index is out of
  // range or the entry has disappeared since the listing.
  std::optional<FolderItem> Item(int index);

  // The kind text its name gives (KindOfFileName); none when no type matches. Worked out on a worker
  // when the item's folder was read ahead.
  std::optional<std::string> KindByName() const;
  // The name composed (ComposeUtf8); none when it is no well-formed UTF-8. Worked out on a worker
  // when the item's folder was read ahead.
  std::optional<std::string> ComposedName() const;

  // The item for `name` inside this folder (this item or the folder its link leads to), whether or
  // not it exists; none when this is no folder or `name` is no single component.
  std::optional<FolderItem> Child(const std::string& name) const;

  // Asks the desktop to open the item with its default handler; false when it refuses.
  // `activate` is accepted for the caller's sake; the desktop decides about bringing it forward.
  bool Launch(bool activate = true) const;

 private:
  friend class ReadAhead;
  struct Status {
    bool exists = false;
    bool directory = false;
    std::uint64_t length = 0;
    std::int64_t mtime = 0;  // seconds since the epoch
    std::uint64_t device = 0, inode = 0;
    bool openable = false;  // a directory or a regular file: never a device, FIFO or socket
  };
  // What a worker learnt of an entry when it read the entry's folder ahead of the walk.
  struct Entry {
    Status status;
    bool hidden = false;
    bool named = false;  // kind and composed below were worked out
    std::optional<std::string> kind;
    std::optional<std::string> composed;
  };
  // An open, listed directory.
  struct Folder {
    Folder() = default;
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    ~Folder();

    int fd = -1;
    std::string path;
    std::vector<std::string> names;
    HiddenMarks marks{};  // none
    std::uint64_t device = 0;
    bool failed = false;  // unopenable or unlistable
    // Read ahead only: one per name, its place in walk order, and the read-ahead that lists its
    // subfolders.
    std::vector<Entry> ahead;
    std::vector<std::uint32_t> key;
    std::weak_ptr<void> readAhead;
  };
  FolderItem(std::shared_ptr<const Folder> parent, std::size_t index);
  const Status& status() const;
  bool hiddenByFileSystem() const;
  const Entry* aheadEntry() const;
  // Opens and lists this directory now (an empty listing for anything else).
  std::shared_ptr<Folder> listNow() const;
  // Reads the folder's entries through its handle; false when the listing broke off.
  static bool list(Folder& folder);

  std::string path_;  // empty for an item listed in a folder
  std::string name_;
  std::shared_ptr<const Folder> parent_;  // the folder that listed this item
  std::size_t index_ = 0;                 // its place in that listing
  mutable std::optional<Status> status_;
  mutable std::optional<Date> date_;
  std::shared_ptr<const Folder> listing_;
  bool listingFailed_ = false;
  std::weak_ptr<void> readAhead_;  // a root being read ahead
};

// Tests record launches instead of opening anything. An empty function restores the real launch.
void setLaunchHook(std::function<bool(const FolderItem&)> hook);

// Tests act at the moment between the listing of a folder and its opening: `hook` gets the folder's
// path; a non-zero result makes the opening fail with that errno. An empty function: no hook.
void setOpenFolderHook(std::function<int(const std::string& path)> hook);

// Tests stand in for file systems that cannot be mounted here: `type` gives a folder's file-system
// type by its path ("vfat", "exfat", "ntfs3", "ntfs-3g"; empty: ask the system), `attributes` an
// entry's FAT or NTFS attribute bits by its path (none: the entry has none). Empty functions: none.
struct FileSystemSeam {
  std::function<std::string(const std::string& folder)> type;
  std::function<std::optional<std::uint32_t>(const std::string& entry)> attributes;
};
void setFileSystemSeam(FileSystemSeam seam);

}  // namespace framework
