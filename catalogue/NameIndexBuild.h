#pragma once
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>

#include <QObject>

struct sqlite3;

#include "catalogue/NameIndex.h"


// Keeps the name index of an open catalogue caught up, on an OS thread of its own with a
// connection of its own (the index file read-write, the catalogue attached read-only), so neither
// the window nor a read ever waits for it. Woken after every commit of the catalogue's connection,
// it indexes the records above its watermark in No order, in batches each committed with the
// watermark, so work cut off goes on at the next start. At its start it lowers the watermark to the
// catalogue's highest number (numbers freed by deleting the last disc come back), and whenever the
// connection wrote numbers below it, to below those.
class NameIndexBuild {
 public:
  // Starts at once. `catchingUp` runs on the thread that made the build, from its event loop:
  // with true when the build finds the index behind the catalogue at its start, with false once
  // it has caught up (or failed).
  NameIndexBuild(std::shared_ptr<framework::Database> db, std::function<void(bool)> catchingUp);
  // Takes the hooks away, then stops the thread after the batch it runs.
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
  void wake();
  void run(std::stop_token stop);
  void report(bool catchingUp);

  std::shared_ptr<framework::Database> db_;
  std::shared_ptr<NameIndex::Written> written_;
  std::function<void(bool)> catchingUp_;
  QObject context_;  // on the maker's thread: its event loop runs `catchingUp`
  mutable std::mutex mutex_;  // guards the three below; held across no call of the engine but an interrupt
  std::condition_variable_any wake_;
  bool wanted_ = true;
  bool idle_ = false;
  sqlite3* working_ = nullptr;  // the thread's connection while it has one
  std::jthread thread_;  // last, so it starts after the members it uses and stops first
};

