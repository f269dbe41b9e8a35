#pragma once
#include <array>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>

#include <QObject>

struct sqlite3;

#include "catalogue/NameIndex.h"


// Keeps the name index of an open catalogue caught up, each shard on an OS thread of its own with a
// connection of its own (the shard's file read-write, the catalogue attached read-only), so neither
// the window nor a read ever waits for it and the shards fill on several cores. Woken after every
// commit of the catalogue's connection, each shard indexes its records above its watermark in No
// order, in batches each committed with the watermark, so work cut off goes on at the next start.
// At its start a shard lowers its watermark to the catalogue's highest number (numbers freed by
// deleting the last disc come back), and whenever the connection wrote numbers below it, to below
// those.
class NameIndexBuild {
 public:
  // Starts at once. `catchingUp` runs on the thread that made the build, from its event loop:
  // with true when the build finds the index behind the catalogue at its start, with false once
  // every shard has caught up (or failed).
  NameIndexBuild(std::shared_ptr<framework::Database> db, std::function<void(bool)> catchingUp);
  // Takes the hooks away, then stops the threads, interrupting the batches they run.
  ~NameIndexBuild();
  NameIndexBuild(const NameIndexBuild&) = delete;
  NameIndexBuild& operator=(const NameIndexBuild&) = delete;

  // Every committed record is in the index, or the index cannot be had (the search then scans).
  bool Idle() const;
  // Every build of the program is idle.
  static bool AllIdle();
  // Whether any build exists.
  static bool AnyStarted();

 private:
  struct Shard {
    bool wanted = true;
    bool idle = false;
    sqlite3* working = nullptr;  // the thread's connection while it has one
  };

  void wake();
  void run(std::stop_token stop, int shard);
  void report(bool catchingUp);
  // A shard has caught up with what it found at its start (or failed); called with mutex_ held.
  void caughtUp();

  std::shared_ptr<framework::Database> db_;
  std::shared_ptr<NameIndex::Written> written_;
  std::function<void(bool)> catchingUp_;
  QObject context_;  // on the maker's thread: its event loop runs `catchingUp`
  mutable std::mutex mutex_;  // guards the ones below; held across no call of the engine but an interrupt
  std::condition_variable_any wake_;
  std::array<Shard, NameIndex::kShards> shards_;
  int starting_ = NameIndex::kShards;  // shards not yet caught up with what they found at their start
  bool behind_ = false;                // a shard found the index behind at its start
  std::array<std::jthread, NameIndex::kShards> threads_;  // last, so they start after the members they use and stop first
};

