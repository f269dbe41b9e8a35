#pragma once
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>

namespace framework {

// Copies a database's write-ahead log back into its file and truncates the log, on an OS thread
// with a connection of its own, so the program's connection never checkpoints or syncs. It touches
// nothing but that file, and the caller never waits for it.
class Checkpointer {
 public:
  // Starts the thread for the database file at `path`; nullptr when the engine has no threads.
  static std::unique_ptr<Checkpointer> start(const std::string& path);

  explicit Checkpointer(std::string path);
  // Stops the thread and waits for the checkpoint it may be running.
  ~Checkpointer();
  Checkpointer(const Checkpointer&) = delete;
  Checkpointer& operator=(const Checkpointer&) = delete;

  // Asks for a checkpoint soon. One that a reader or a writer holds back is tried again a little
  // later, until it has gone through.
  void Wake();

 private:
  void run(std::stop_token stop);

  const std::string path_;
  std::mutex mutex_;  // guards wanted_ only, never held across a call of the engine
  std::condition_variable_any wake_;
  bool wanted_ = false;
  std::jthread thread_;  // last, so it starts after the members it uses and stops first
};

}  // namespace framework
