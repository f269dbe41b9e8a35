#pragma once
#include <functional>
#include <memory>

class QTimer;

namespace framework {

class Database;

// Builds the name index of a catalogue in short steps from the event loop, so the window keeps
// answering; each step is committed with the marker, so a build cut off goes on at the next start.
// While another transaction is open the build waits for it. Stops when destroyed.
class NameIndexBuild {
 public:
  // Starts at the next turn of the event loop. `mayGoOn` is asked before each step: false ends the
  // build. `finished` runs once, when the index is complete, a step failed (the search then keeps
  // scanning) or the build was ended.
  NameIndexBuild(std::shared_ptr<Database> db, std::function<bool()> mayGoOn,
                 std::function<void()> finished);
  ~NameIndexBuild();
  NameIndexBuild(const NameIndexBuild&) = delete;
  NameIndexBuild& operator=(const NameIndexBuild&) = delete;

  bool Running() const;

 private:
  void step();

  std::shared_ptr<Database> db_;
  std::function<bool()> mayGoOn_;
  std::function<void()> finished_;
  std::unique_ptr<QTimer> timer_;
};

}  // namespace framework
