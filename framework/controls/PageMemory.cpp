#include "framework/controls/PageMemory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <new>
#include <stop_token>
#include <thread>
#include <utility>

namespace framework {

namespace {
std::size_t pageSize() {
  static const std::size_t size = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  return size;
}

// Takes each block back in a call of its own: a new block that the window asks for meanwhile waits
// for one block at most.
class Releaser {
 public:
  static Releaser& instance() {
    static Releaser releaser;
    return releaser;
  }
  void add(std::vector<PageMemory> blocks) {
    {
      std::lock_guard lock(mutex_);
      for (PageMemory& b : blocks) queue_.push_back(std::move(b));
    }
    wake_.notify_one();
  }

 private:
  Releaser() = default;
  void run(std::stop_token stop) {
    std::unique_lock lock(mutex_);
    // Blocks still queued at the end go with the queue.
    while (wake_.wait(lock, stop, [this] { return !queue_.empty(); })) {
      PageMemory block = std::move(queue_.front());
      queue_.pop_front();
      lock.unlock();
      block = PageMemory();
      lock.lock();
    }
  }

  std::mutex mutex_;
  std::condition_variable_any wake_;
  std::deque<PageMemory> queue_;
  std::jthread thread_{[this](std::stop_token stop) { run(stop); }};  // last: starts after the members it uses
};
}  // namespace

PageMemory::PageMemory(std::size_t bytes) {
  const std::size_t page = pageSize();
  const std::size_t size = (std::max<std::size_t>(bytes, 1) + page - 1) / page * page;
  int flags = MAP_PRIVATE | MAP_ANONYMOUS;
#ifdef MAP_POPULATE
  // The pages are all about to be written: one call maps them instead of a fault for each.
  flags |= MAP_POPULATE;
#endif
  void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, flags, -1, 0);
  if (p == MAP_FAILED) throw std::bad_alloc();
  data_ = static_cast<char*>(p);
  size_ = size;
}

PageMemory::PageMemory(PageMemory&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

PageMemory& PageMemory::operator=(PageMemory&& other) noexcept {
  if (this != &other) {
    PageMemory old(std::move(*this));
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

PageMemory::~PageMemory() {
  if (data_) munmap(data_, size_);
}

void ReleaseLater(std::vector<PageMemory> blocks) {
  if (!blocks.empty()) Releaser::instance().add(std::move(blocks));
}

}  // namespace framework
