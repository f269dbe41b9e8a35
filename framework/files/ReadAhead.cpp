#include "framework/files/ReadAhead.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <utility>

#include <sys/resource.h>
#include <unistd.h>

#include "framework/files/KindText.h"
#include "framework/text/Normalization.h"
#include "framework/threads/Thread.h"

namespace framework {

namespace {

// A folder's place in walk order: the indexes from the root down to it. Compared as sequences,
// keys sort depth first with each folder before its subfolders, as the walk goes.
using Key = std::vector<std::uint32_t>;

// Held ahead at most: open folders (one handle each) and their entries.
constexpr std::size_t kHeldFolders = 512;
constexpr std::size_t kHeldEntries = 100000;

}  // namespace

class ReadAhead::Queue {
 public:
  struct Job {
    std::shared_ptr<const FolderItem::Folder> parent;  // none: the root
    std::size_t index = 0;
  };

  // The job a worker may start now: the one the walk waits for, else the nearest in walk order
  // while there is room.
  std::map<Key, Job>::iterator startable() {
    if (demanded) {
      if (auto found = pending.find(*demanded); found != pending.end()) return found;
    }
    if (heldFolders < kHeldFolders && heldEntries < kHeldEntries) return pending.begin();
    return pending.end();
  }

  // The walk has reached `key`: whatever lies before it in walk order will never be asked for.
  void passTo(const Key& key) {
    passed = key;
    for (auto it = ready.begin(); it != ready.end() && it->first < key;) {
      release(*it->second);
      it = ready.erase(it);
    }
    pending.erase(pending.begin(), pending.lower_bound(key));
  }

  void release(const FolderItem::Folder& folder) {
    --heldFolders;
    heldEntries -= folder.names.size();
  }

  std::mutex mutex;
  std::condition_variable wake;    // the workers: a job to start, or room for one
  std::condition_variable landed;  // the walk: a listing is ready
  std::optional<FolderItem> root;
  std::function<bool(const std::string&)> skipAtTop;
  std::weak_ptr<void> self;
  std::map<Key, Job> pending;
  std::set<Key> running;
  std::map<Key, std::shared_ptr<const FolderItem::Folder>> ready;
  std::optional<Key> demanded;
  std::optional<Key> passed;
  std::size_t heldFolders = 0, heldEntries = 0;  // running and ready
  std::atomic<bool> stopping = false;
};

ReadAhead::ReadAhead(FolderItem& root, std::function<bool(const std::string& name)> skipAtTop)
    : queue_(std::make_shared<Queue>()) {
  if (root.listing_) return;  // listed already: the walk goes on without workers
  queue_->skipAtTop = std::move(skipAtTop);
  queue_->self = queue_;
  queue_->root = root;
  queue_->pending.emplace(Key{}, Queue::Job{});
  root.readAhead_ = queue_;
  // Half the cores: the window, the stores and the name index keep theirs.
  const unsigned workers = std::clamp(std::thread::hardware_concurrency() / 2, 2u, 4u);
  for (unsigned i = 0; i < workers; ++i) workers_.emplace_back([queue = queue_.get()] { work(*queue); });
}

ReadAhead::~ReadAhead() {
  {
    const std::lock_guard lock(queue_->mutex);
    queue_->stopping = true;
  }
  queue_->wake.notify_all();
  workers_.clear();
}

void ReadAhead::work(Queue& queue) {
  // On a busy machine the window's thread goes first: it stores what the workers list, and it
  // must answer the user.
  ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 5);
  std::unique_lock lock(queue.mutex);
  for (;;) {
    auto next = queue.pending.end();
    queue.wake.wait(lock, [&] { return queue.stopping || (next = queue.startable()) != queue.pending.end(); });
    if (queue.stopping) return;
    const Key key = next->first;
    const Queue::Job job = std::move(next->second);
    queue.pending.erase(next);
    queue.running.insert(key);
    ++queue.heldFolders;
    lock.unlock();

    const FolderItem item = job.parent ? FolderItem(job.parent, job.index) : *queue.root;
    std::shared_ptr<FolderItem::Folder> folder = listAhead(queue, item);
    folder->key = key;
    std::vector<std::pair<Key, Queue::Job>> subfolders;
    for (std::size_t i = 0; i < folder->ahead.size(); ++i) {
      const FolderItem::Entry& entry = folder->ahead[i];
      if (!entry.named || !entry.status.directory) continue;
      if (key.empty() && queue.skipAtTop && queue.skipAtTop(folder->names[i])) continue;
      Key below = key;
      below.push_back(static_cast<std::uint32_t>(i));
      subfolders.emplace_back(std::move(below), Queue::Job{folder, i});
    }

    lock.lock();
    queue.running.erase(key);
    if (queue.passed && key < *queue.passed) {
      --queue.heldFolders;  // the walk went past it meanwhile
      continue;
    }
    queue.heldEntries += folder->names.size();
    for (auto& s : subfolders) queue.pending.insert(std::move(s));
    queue.ready.emplace(key, std::move(folder));
    queue.landed.notify_all();
    if (!subfolders.empty()) queue.wake.notify_all();
  }
}

std::shared_ptr<FolderItem::Folder> ReadAhead::listAhead(Queue& queue, const FolderItem& item) {
  std::shared_ptr<FolderItem::Folder> folder = item.listNow();
  folder->readAhead = queue.self;
  std::vector<FolderItem::Entry> entries(folder->names.size());
  for (std::size_t i = 0; i < entries.size() && !queue.stopping; ++i) {
    const FolderItem child(folder, i);
    FolderItem::Entry& entry = entries[i];
    entry.status = child.status();
    const std::string& name = child.Name();
    // What the walk never looks at is not worked out: invisible entries keep their defaults.
    if (!entry.status.exists || (!name.empty() && name.front() == '.')) continue;
    entry.hidden = child.hiddenByFileSystem();
    if (entry.hidden) continue;
    entry.named = true;
    if (!entry.status.directory) entry.kind = KindOfFileName(name);
    entry.composed = ComposeUtf8(name);
  }
  folder->ahead = std::move(entries);
  return folder;
}

std::shared_ptr<const FolderItem::Folder> ReadAhead::take(const std::weak_ptr<void>& readAhead,
                                                          const FolderItem& folder) {
  const std::shared_ptr<void> shared = readAhead.lock();
  if (!shared) return nullptr;
  Queue& queue = *static_cast<Queue*>(shared.get());
  Key key;
  if (folder.parent_) {
    key = folder.parent_->key;
    key.push_back(static_cast<std::uint32_t>(folder.index_));
  }
  std::unique_lock lock(queue.mutex);
  for (;;) {
    if (auto found = queue.ready.find(key); found != queue.ready.end()) {
      std::shared_ptr<const FolderItem::Folder> listing = std::move(found->second);
      queue.release(*listing);
      queue.ready.erase(found);
      queue.passTo(key);
      queue.demanded.reset();
      queue.wake.notify_all();
      return listing;
    }
    if (!queue.pending.contains(key) && !queue.running.contains(key)) return nullptr;
    if (queue.demanded != key) {
      queue.demanded = key;
      queue.wake.notify_all();
    }
    // The window's thread waits a little at a time and gives way when its slice is spent.
    if (!queue.landed.wait_for(lock, std::chrono::milliseconds(2), [&] { return queue.ready.contains(key); })) {
      lock.unlock();
      Yield();
      lock.lock();
    }
  }
}

}  // namespace framework
