#pragma once
#include <functional>
#include <memory>

class QTimer;

namespace framework {

class Database;

// Builds the name index of a catalogue in short steps from the event loop, so the window keeps
// answering; each step is committed with the marker, so a build cut off goes on at the next start.
// Once complete it takes the changes queued by later reads into the index every little while, so
// the first search after a large read need not. While another transaction is open it waits for it.
// Stops when destroyed.
class NameIndexBuild {
 public:
  // Starts at the next turn of the event loop. `mayGoOn` is asked before each step: false ends the
  // work. `finished` runs once, when the index is first complete, a step failed (the search then
  // scans, or takes the queue in itself) or the work was ended.
  NameIndexBuild(std::shared_ptr<Database> db, std::function<bool()> mayGoOn,
                 std::function<void()> finished);
  ~NameIndexBuild();
  NameIndexBuild(const NameIndexBuild&) = delete;
  NameIndexBuild& operator=(const NameIndexBuild&) = delete;

 private:
  void step();

  std::shared_ptr<Database> db_;
  std::function<bool()> mayGoOn_;
  std::function<void()> finished_;
  std::unique_ptr<QTimer> timer_;
  bool complete_ = false;
};

}  // namespace framework
