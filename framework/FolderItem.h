#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "framework/Date.h"

namespace framework {

// A file system item named by its path. Cheap to copy; the item's status is read once (lstat, links
// not followed) at first use and kept, and a folder's listing is read once and shared by the copies.
class FolderItem {
 public:
  // `name`, when given, is shown as Name instead of the path's last component (volumes use it).
  explicit FolderItem(std::string path, std::string name = {});

  const std::string& Path() const { return path_; }
  // The last path component as the file system gives its bytes ("/" for the root).
  std::string Name() const;

  // The item is there (a dangling link is there too).
  bool Exists() const;
  // It exists and its name does not begin with ".".
  bool Visible() const;
  // A real directory: a symbolic link is never one, even to a folder.
  bool Directory() const;
  // Size in bytes; 0 for a missing item.
  std::uint64_t Length() const;
  // Last modification, local time; the current moment for a missing item.
  Date ModificationDate() const;

  // Entries of a directory, "." and ".." left out, sorted by name bytes; 0 for a file, a link, a
  // missing or unreadable folder. Listed at the first call; later calls reuse that listing.
  int Count();
  // Entry `index` (from 1) of the listing, its status already read; none when the index is out of
  // range or the entry has disappeared since the listing.
  std::optional<FolderItem> Item(int index);

  // The item for `name` inside this folder (this item or the folder its link leads to), whether or
  // not it exists; none when this is no folder or `name` is no single component.
  std::optional<FolderItem> Child(const std::string& name) const;

  // Asks the desktop to open the item with its default handler; false when it refuses.
  // `activate` is accepted for the caller's sake; the desktop decides about bringing it forward.
  bool Launch(bool activate = true) const;

 private:
  struct Status {
    bool exists = false;
    bool directory = false;
    std::uint64_t length = 0;
    std::int64_t mtime = 0;  // seconds since the epoch
  };
  const Status& status() const;

  std::string path_;
  std::string name_;
  mutable std::optional<Status> status_;
  mutable std::optional<Date> date_;
  std::shared_ptr<const std::vector<std::string>> listing_;
};

// Tests record launches instead of opening anything. An empty function restores the real launch.
void setLaunchHook(std::function<bool(const FolderItem&)> hook);

}  // namespace framework
