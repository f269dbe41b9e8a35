#pragma once
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "framework/files/FolderItem.h"

namespace framework {

// While it lives, worker threads list the folders below a root ahead of a depth-first walk of it:
// each folder's listing, its entries' status and hidden marks, and the kind texts and composed names
// of its visible entries, the folder nearest in walk order first. The walk itself stays as it is:
// FolderItem::Count hands it the listing a worker made (waiting, with yields, while one is under
// way), so the items, their order and the checks before a folder is entered are the same. What is
// held ahead is bounded, so a large volume costs little memory and few handles.
class ReadAhead {
 public:
  // `skipAtTop` names the root's folders that the walk does not enter.
  ReadAhead(FolderItem& root, std::function<bool(const std::string& name)> skipAtTop);
  // Stops the workers; listings the walk did not take are closed.
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

 private:
  friend class FolderItem;
  class Queue;
  // The listing of `folder` read ahead, once a worker has made it; none when it is not read ahead.
  static std::shared_ptr<const FolderItem::Folder> take(const std::weak_ptr<void>& readAhead, const FolderItem& folder);
  static void work(Queue& queue);
  static std::shared_ptr<FolderItem::Folder> listAhead(Queue& queue, const FolderItem& folder);

  std::shared_ptr<Queue> queue_;
  std::vector<std::jthread> workers_;
};

}  // namespace framework
