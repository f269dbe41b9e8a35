#pragma once
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>
#include <vector>

#include "framework/database/Database.h"
#include "framework/streams/TextInputStream.h"

// The records of the old catalogue "olddbtext" (nine lines a record, names in Mac OS Japanese),
// read and decoded into Folder1 rows on an OS thread of their own, ahead of the one that stores
// them, and handed over in batches in the file's order. Only a few batches are held at a time.
// The thread touches nothing but the stream.
class OldCatalogueReader {
 public:
  struct Batch {
    std::vector<framework::DatabaseRecord> records;  // every column of Folder1 set
    int unreadable = 0;           // records among these whose numbers or date-time cannot be read
    bool unreadableFile = false;  // after the records, a line beyond the limit: the file is none to import
    bool last = false;            // nothing comes after this batch
  };

  // Starts reading the stream from where it stands; closes it at its end.
  explicit OldCatalogueReader(std::shared_ptr<framework::TextInputStream> stream);
  // Stops the thread (at its next batch at the latest) and waits for it.
  ~OldCatalogueReader() = default;
  OldCatalogueReader(const OldCatalogueReader&) = delete;
  OldCatalogueReader& operator=(const OldCatalogueReader&) = delete;

  // The next batch, waiting for it no longer than `wait`; none when it is not ready by then.
  std::optional<Batch> next(std::chrono::milliseconds wait);
  // Gives a batch back once its records are stored: their memory goes back where it was taken, on
  // the reading thread, since freeing it here would contend with that thread's allocations.
  void giveBack(Batch&& batch);

 private:
  void run(std::stop_token stop);
  // Queues the batch, waiting while a few are queued; false when stopped.
  bool push(const std::stop_token& stop, Batch& batch);

  std::shared_ptr<framework::TextInputStream> stream_;  // the thread's alone once it runs
  std::mutex mutex_;
  std::condition_variable_any changed_;
  std::deque<Batch> batches_;
  std::vector<Batch> spent_;  // given back, for the thread to free
  std::jthread thread_;  // last: started once the rest is whole, stopped and joined first
};
