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

// The path texts of a search's hits, built from reads of their own (NameIndex::SearchAside), a
// thread for each part of the search, and handed to the window's thread in batches, in the
// search's order. The threads touch neither the window nor the catalogue's own connection.
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

  // Starts the threads. `queued` runs on one of them whenever a batch that the window's thread can
  // take comes after it found none, and at the end; it may only post work to the window's thread.
  // The threads last until the window's thread has taken every batch and handed each back.
  HitPaths(std::unique_ptr<NameIndex::Aside> search, std::function<void()> queued);
  // Stops the threads (at their next row, or their reads interrupted) and waits for them.
  ~HitPaths();
  HitPaths(const HitPaths&) = delete;
  HitPaths& operator=(const HitPaths&) = delete;

  // Puts the next batch in `batch` when one is queued, never waiting; what `batch` held, listed,
  // goes back to the threads. False when none is (`batch` left empty), which tells the threads to
  // call `queued` again.
  bool take(Batch& batch);
  // Waits until a batch is queued or the part being taken has ended, but not past `until`.
  void waitUntil(std::chrono::steady_clock::time_point until);
  // Every batch taken and the rows at their end.
  bool finished();
  // How the rows ended, once finished: the failure to report, none when they ran out.
  std::optional<Module1::Failure> failure();

 private:
  struct Part {
    std::deque<Batch> batches;
    bool ended = false;
    std::optional<Module1::Failure> failure;
  };
  void run(int part);
  // Queues the batch and gives one to fill next, waiting while the part being taken has a few
  // queued; false when stopped, or when the rows ended at an earlier part's failure.
  bool push(int part, Batch& batch);
  // The part being taken, past those that ended whole. Under the lock.
  Part& current();
  void tell();

  std::unique_ptr<NameIndex::Aside> search_;  // each part its own thread's alone once it runs
  std::function<void()> queued_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Part> parts_;
  std::size_t current_ = 0;    // the part the window's thread takes from
  std::vector<Batch> spent_;   // listed batches, whose memory the threads fill again or let go
  bool drained_ = false;       // the window's thread found the rows' end: the threads may end
  bool told_ = false;  // `queued` ran since the window's thread last found none queued
  std::atomic<bool> stop_{false};
  std::vector<std::jthread> threads_;  // last: started once the rest is whole
};
