#include "framework/database/Checkpointer.h"

#include <sqlite3.h>

#include <chrono>

namespace framework {

namespace {

// A checkpoint held back by a reader or a writer is tried again after this long, and one
// checkpoint follows another no sooner, so a stream of small commits is not slowed by them.
constexpr std::chrono::milliseconds kSpacing{200};

struct CloseConnection {
  void operator()(sqlite3* db) const { sqlite3_close(db); }
};
using Connection = std::unique_ptr<sqlite3, CloseConnection>;

Connection openConnection(const std::string& path) {
  sqlite3* handle = nullptr;
  // No busy handler: a checkpoint that would wait gives way at once, and it never stands in the
  // way of the program's own writes for longer than its copying takes.
  const int rc = sqlite3_open_v2(path.c_str(), &handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
  Connection connection(handle);
  // The connection learns that the file keeps a log only when it first reads it.
  if (rc != SQLITE_OK ||
      sqlite3_exec(handle, "SELECT 1 FROM sqlite_schema LIMIT 1", nullptr, nullptr, nullptr) != SQLITE_OK)
    connection.reset();
  return connection;
}

// Whether the whole log went back into the file and was truncated. The copying is done without
// blocking anyone first; only truncating needs every reader off the log.
bool checkpoint(sqlite3* db) {
  int logged = 0, copied = 0;
  if (sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_PASSIVE, &logged, &copied) != SQLITE_OK)
    return false;
  if (copied < logged) return false;
  return sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, &logged, &copied) == SQLITE_OK;
}

}  // namespace

std::unique_ptr<Checkpointer> Checkpointer::start(const std::string& path) {
  if (path.empty() || !sqlite3_threadsafe()) return nullptr;
  return std::make_unique<Checkpointer>(path);
}

Checkpointer::Checkpointer(std::string path)
    : path_(std::move(path)), thread_([this](std::stop_token stop) { run(std::move(stop)); }) {}

Checkpointer::~Checkpointer() {
  thread_.request_stop();
  wake_.notify_all();
}

void Checkpointer::Wake() {
  {
    std::lock_guard lock(mutex_);
    wanted_ = true;
  }
  wake_.notify_one();
}

void Checkpointer::run(std::stop_token stop) {
  Connection db;
  bool behind = false;  // the last attempt did not go through
  while (!stop.stop_requested()) {
    {
      std::unique_lock lock(mutex_);
      if (!behind) wake_.wait(lock, stop, [this] { return wanted_; });
      if (stop.stop_requested()) return;
      wanted_ = false;
    }
    if (!db) db = openConnection(path_);
    behind = !db || !checkpoint(db.get());
    std::unique_lock lock(mutex_);
    wake_.wait_for(lock, stop, kSpacing, [] { return false; });
  }
}

}  // namespace framework
