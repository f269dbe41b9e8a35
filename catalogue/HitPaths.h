#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "catalogue/Module1.h"
#include "catalogue/NameIndex.h"

// The path texts of a search's hits, built on an OS thread of their own from a read of their own
// (NameIndex::SearchAside) and handed to the window's thread in batches, in the search's order.
// The thread touches neither the window nor the catalogue's own connection.
class HitPaths {
 public:
  // Path texts packed one after the other.
  struct Batch {
    std::string texts;
    std::vector<std::uint32_t> ends;  // where each path's text ends
    std::size_t size() const { return ends.size(); }
    std::string_view operator[](std::size_t i) const {
      const std::uint32_t begin = i == 0 ? 0 : ends[i - 1];
      return std::string_view(texts).substr(begin, ends[i] - begin);
    }
  };

  // Starts the thread. `queued` runs on it whenever it queues a batch after the window's thread
  // found none queued, and at the end; it may only post work to the window's thread.
  HitPaths(std::unique_ptr<NameIndex::Aside> search, std::function<void()> queued);
  // Stops the thread (at its next row, or its read interrupted) and waits for it.
  ~HitPaths();
  HitPaths(const HitPaths&) = delete;
  HitPaths& operator=(const HitPaths&) = delete;

  // The next batch when one is queued, never waiting; none tells the thread to call `queued` again.
  std::optional<Batch> take();
  // Waits until a batch is queued or the thread has ended, but not past `until`.
  void waitUntil(std::chrono::steady_clock::time_point until);
  // Every batch taken and the rows at their end.
  bool finished();
  // How the rows ended, once finished: the failure to report, none when they ran out.
  std::optional<Module1::Failure> failure();

 private:
  void run();
  // Queues the batch, waiting while a few are queued; false when stopped.
  bool push(Batch& batch);
  void tell();

  std::unique_ptr<NameIndex::Aside> search_;  // the thread's alone once it runs
  std::function<void()> queued_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Batch> batches_;
  bool ended_ = false;
  bool told_ = false;  // `queued` ran since the window's thread last found none queued
  std::optional<Module1::Failure> failure_;
  std::atomic<bool> stop_{false};
  std::jthread thread_;  // last: started once the rest is whole
};
