#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>

class QObject;

namespace framework {

// The engine's own check of a database file (PRAGMA quick_check), run on an OS thread over a
// read-only connection of its own, so the window goes on while a large file is read through.
class DatabaseCheck {
 public:
  struct Verdict {
    enum class Kind { Whole, Damaged, Failed };
    Kind kind = Kind::Failed;
    // Damaged: the engine's damage code and message; Failed: why the check could not run.
    std::int32_t code = 0;
    std::string message;
  };

  // Starts checking the file at `path`. `done` runs with the verdict on the thread that made the
  // check, from its event loop, unless the check is destroyed first.
  DatabaseCheck(std::string path, std::function<void(const Verdict&)> done);
  // Stops a check under way and waits for its thread.
  ~DatabaseCheck();
  DatabaseCheck(const DatabaseCheck&) = delete;
  DatabaseCheck& operator=(const DatabaseCheck&) = delete;

  // The verdict once the check has ended; none while it runs.
  std::optional<Verdict> verdict() const;
  // Waits for the verdict, the event loop and the cooperative threads going on meanwhile; none
  // when the wait was cut short by the application quitting.
  std::optional<Verdict> await() const;

  // Test seam: while held, a check that starts waits before it reads anything.
  static void holdForTest(bool hold);

 private:
  void run(std::stop_token stop);

  const std::string path_;
  std::function<void(const Verdict&)> done_;
  std::unique_ptr<QObject> context_;  // the done call's receiver; gone with the check
  mutable std::mutex mutex_;          // guards verdict_
  std::optional<Verdict> verdict_;
  std::jthread thread_;  // last: starts after the members it uses and stops first
};

}  // namespace framework
