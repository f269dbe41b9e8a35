#include "framework/database/DatabaseCheck.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QObject>
#include <QTimer>
#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "framework/database/Checkpointer.h"
#include "framework/database/Database.h"
#include "framework/database/DatabaseConnection.h"
#include "framework/threads/Thread.h"

namespace framework {

namespace {

std::atomic<bool> held{false};

struct CloseConnection {
  void operator()(sqlite3* db) const { sqlite3_close(db); }
};

// Interrupts the engine once the check is asked to stop.
int stopRequested(void* token) { return static_cast<std::stop_token*>(token)->stop_requested() ? 1 : 0; }

DatabaseCheck::Verdict failure(sqlite3* db, int rc) {
  DatabaseCheck::Verdict v;
  v.kind = IsDamageCode(rc) ? DatabaseCheck::Verdict::Kind::Damaged : DatabaseCheck::Verdict::Kind::Failed;
  v.code = rc & 0xff;
  v.message = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  return v;
}

}  // namespace

DatabaseCheck::DatabaseCheck(std::string path, std::function<void(const Verdict&)> done)
    : path_(std::move(path)),
      done_(std::move(done)),
      context_(std::make_unique<QObject>()),
      thread_([this](std::stop_token stop) { run(std::move(stop)); }) {}

DatabaseCheck::~DatabaseCheck() {
  thread_.request_stop();
  if (thread_.joinable()) thread_.join();
}

void DatabaseCheck::holdForTest(bool hold) { held = hold; }

std::optional<DatabaseCheck::Verdict> DatabaseCheck::verdict() const {
  std::lock_guard lock(mutex_);
  return verdict_;
}

std::optional<DatabaseCheck::Verdict> DatabaseCheck::await() const {
  detail::waitGoingOn([this] { return verdict().has_value(); });
  return verdict();
}

void DatabaseCheck::run(std::stop_token stop) {
  while (held && !stop.stop_requested()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  Verdict v;
  {
    sqlite3* handle = nullptr;
    const int rc = sqlite3_open_v2(path_.c_str(), &handle, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    std::unique_ptr<sqlite3, CloseConnection> db(handle);
    sqlite3_stmt* st = nullptr;
    if (rc != SQLITE_OK) {
      v = failure(handle, rc);
    } else {
      sqlite3_busy_timeout(handle, 2000);
      // The check reads every page once, in the trees' order rather than the file's: mapped, the
      // pages cost no copy and the system reads ahead.
      sqlite3_exec(handle, "PRAGMA mmap_size=1099511627776", nullptr, nullptr, nullptr);
      sqlite3_progress_handler(handle, 10000, stopRequested, &stop);
      const int prepared = sqlite3_prepare_v2(handle, "PRAGMA quick_check(1)", -1, &st, nullptr);
      const int stepped = prepared == SQLITE_OK ? sqlite3_step(st) : prepared;
      if (stepped == SQLITE_ROW) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        const std::string finding = text ? text : "";
        if (finding == "ok") {
          v.kind = Verdict::Kind::Whole;
        } else {
          v.kind = Verdict::Kind::Damaged;
          v.code = SQLITE_CORRUPT;
          v.message = sqlite3_errstr(SQLITE_CORRUPT);
        }
      } else {
        v = failure(handle, stepped);
      }
      sqlite3_finalize(st);
    }
  }
  if (stop.stop_requested()) return;
  {
    std::lock_guard lock(mutex_);
    verdict_ = v;
  }
  // Queued to the thread that made the check; dropped with the context when the check goes first.
  QMetaObject::invokeMethod(context_.get(), [this, v] { done_(v); }, Qt::QueuedConnection);
}

// ---- How a database waits for the check before its first change

namespace detail {

void Connection::startCheck(std::function<void()> done) {
  if (prepared) return;
  if (check) {
    const auto verdict = check->verdict();
    if (!verdict || verdict->kind != DatabaseCheck::Verdict::Kind::Failed) return;
  }
  const char* file = sqlite3_db_filename(db, "main");
  check.reset();
  check = std::make_shared<DatabaseCheck>(file ? file : "", [done = std::move(done)](const DatabaseCheck::Verdict&) {
    if (done) done();
  });
}

bool waitGoingOn(const std::function<bool()>& done) {
  if (CurrentThread()) {
    // A thread dropped at quit unwinds out of Yield.
    while (!done()) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
      Yield();
    }
    return true;
  }
  if (done()) return true;
  QEventLoop loop;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    if (done()) loop.quit();
  });
  poll.start(1);
  if (!done()) loop.exec();
  return done();
}

namespace {
bool over(const std::shared_future<Connection::MadeReady>& work) {
  return work.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}
}  // namespace

bool Connection::readyForChanges() {
  if (prepared) return true;
  if (!makingReady.valid()) {
    startCheck();
    const std::optional<DatabaseCheck::Verdict> verdict = check->await();
    if (!verdict) {
      setError(SQLITE_INTERRUPT, sqlite3_errstr(SQLITE_INTERRUPT));
      return false;
    }
    if (verdict->kind != DatabaseCheck::Verdict::Kind::Whole) {
      setError(verdict->code, verdict->message);
      return false;
    }
    // Another change may have made the file ready, or begun to, while this one waited.
    if (prepared) return true;
    if (!makingReady.valid()) {
      // Switching the journal writes and syncs the file, and the preparation may build or drop
      // whole tables: on a worker, so the window goes on meanwhile.
      makingReady = std::async(std::launch::async, makeReady, db, preparation).share();
      busyAside = true;
    }
  }
  const std::shared_future<MadeReady> mine = makingReady;
  waitGoingOn([&mine] { return over(mine); });
  // A wait cut short at quit still takes the outcome: what the worker wrote stands either way.
  const MadeReady made = mine.get();
  // Taken in once its worker is done; every caller that waited for it has its own copy.
  if (makingReady.valid() && over(makingReady)) {
    makingReady = {};
    busyAside = false;
  }
  if (made.deferred) return true;
  if (made.rc != SQLITE_OK) {
    setError(made.rc & 0xff, made.message);
    moved = made.extendedCode == SQLITE_READONLY_DBMOVED;
    noticeLoss();
    return false;
  }
  prepared = true;
  clearError();
  return true;
}

}  // namespace detail

void Database::StartCheck(std::function<void()> done) { connection_->startCheck(std::move(done)); }

Database::Check Database::Checked() const {
  const detail::Connection& c = *connection_;
  if (c.prepared) return Check::Ready;
  const auto verdict = c.check ? c.check->verdict() : std::nullopt;
  if (!verdict) return Check::Running;
  switch (verdict->kind) {
    case DatabaseCheck::Verdict::Kind::Whole: return Check::Whole;
    case DatabaseCheck::Verdict::Kind::Damaged: return Check::Damaged;
    case DatabaseCheck::Verdict::Kind::Failed: break;
  }
  return Check::Failed;
}

bool Database::ReadyForChanges() {
  const bool before = connection_->prepared;
  if (!connection_->readyForChanges()) return false;
  connection_->clearError();
  // A log that an earlier run left beside the file may be copied back now.
  if (!before && connection_->prepared && checkpointer_) checkpointer_->Wake();
  return true;
}

}  // namespace framework
