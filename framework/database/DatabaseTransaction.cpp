// A transaction's life on a connection: begun before the first change, followed when the engine
// ends it by itself, committed (beside a cooperative thread) or rolled back.
#include "framework/database/DatabaseTransaction.h"

#include "framework/database/Checkpointer.h"
#include "framework/database/Database.h"
#include "framework/database/DatabaseConnection.h"
#include "framework/threads/Thread.h"

#include <sqlite3.h>

#include <chrono>
#include <future>

namespace framework {

namespace detail {

void TransactionState::follow(bool engineOpen, std::int32_t errorCode, const std::string& errorMessage) {
  if (fate_ != Fate::Open || engineOpen) return;
  fate_ = Fate::Lost;
  lostCode_ = errorCode ? errorCode : SQLITE_ABORT;
  lostMessage_ = errorCode ? errorMessage : sqlite3_errstr(SQLITE_ABORT);
}

namespace {

// BEGIN IMMEDIATE: taking the write lock at once makes a locked file cost one busy wait, before
// anything is changed. With a record set of the connection open the engine does not wait for the
// lock itself; the checkpointer holds it for moments only, so it is waited for here, within the
// same timeout. A record set whose view went stale under another writer cannot take the lock at all.
int beginImmediate(Connection& c) {
  int rc = c.runCached("BEGIN IMMEDIATE");
  for (int waited = 0; rc == SQLITE_BUSY && sqlite3_extended_errcode(c.db) != SQLITE_BUSY_SNAPSHOT &&
                       waited < kBusyTimeoutMs && readingNow(c.db);
       ++waited) {
    sqlite3_sleep(1);
    rc = c.runCached("BEGIN IMMEDIATE");
  }
  return rc;
}

}  // namespace

void Connection::noticeLoss() { transaction.follow(!sqlite3_get_autocommit(db), errorCode, errorMessage); }

void Connection::settleEnd() {
  if (sqlite3_get_autocommit(db)) transaction.ended();
}

bool Connection::failedByLoss() {
  noticeLoss();
  if (!transaction.lost()) return false;
  setError(transaction.lostCode(), transaction.lostMessage());
  return true;
}

bool Connection::beginIfNeeded() {
  if (failedByLoss()) return false;
  if (!sqlite3_get_autocommit(db)) return true;  // open already, here or by the caller's own BEGIN
  // The first change waits for the file's check, and goes nowhere once the file has been moved.
  if (!readyForChanges() || !stillAtPath()) return false;
  if (beginImmediate(*this) != SQLITE_OK) return false;
  transaction.begun();
  return true;
}

int Connection::runCachedAside(const std::string& sql) {
  sqlite3_stmt* statement = cached(sql);
  if (!statement) return errorCode ? errorCode : SQLITE_ERROR;
  struct Outcome {
    int rc;
    std::string message;
  };
  // The message is taken under the connection's lock with the step, before a call of the event
  // loop's handlers can replace it.
  auto step = std::async(std::launch::async, [this, statement] {
    sqlite3_mutex* lock = sqlite3_db_mutex(db);
    sqlite3_mutex_enter(lock);
    const int rc = stepAndReset(statement);
    Outcome outcome{rc, rc == SQLITE_OK ? std::string() : std::string(sqlite3_errmsg(db))};
    sqlite3_mutex_leave(lock);
    return outcome;
  });
  // Joined on every way out, also when the waiting thread is dropped at quit and unwinds here.
  struct Join {
    std::future<Outcome>& step;
    bool& busy;
    ~Join() {
      if (step.valid()) step.wait();
      busy = false;
    }
  } join{step, busyAside};
  busyAside = true;
  waitGoingOn([&step] { return step.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
  const Outcome outcome = step.get();
  if (outcome.rc == SQLITE_OK) {
    clearError();
  } else {
    setError(outcome.rc & 0xff, outcome.message);
    noticeLoss();
  }
  return outcome.rc;
}

}  // namespace detail

bool Database::Begin() {
  if (!connection_->beginIfNeeded()) return false;
  connection_->clearError();
  return true;
}

void Database::Commit() {
  detail::Connection& c = *connection_;
  // A lost transaction's failure is the commit's, and ends it.
  if (c.failedByLoss()) {
    c.transaction.ended();
    return;
  }
  if (sqlite3_get_autocommit(c.db)) {  // nothing open: a harmless success
    c.transaction.ended();
    c.clearError();
    return;
  }
  // A change to a file that is no longer the catalogue's would be lost without a word.
  if (!c.stillAtPath()) {
    const std::string message = c.errorMessage;
    c.runCached("ROLLBACK");
    c.settleEnd();
    c.setError(SQLITE_READONLY, message);
    c.moved = true;
    return;
  }
  // A large change costs its commit time in proportion to its size (the engine checks again every
  // log frame it wrote twice); on a thread the window goes on meanwhile.
  const bool landed = (CurrentThread() ? c.runCachedAside("COMMIT") : c.runCached("COMMIT")) == SQLITE_OK;
  c.settleEnd();
  if (landed && checkpointer_) checkpointer_->Wake();
}

void Database::Rollback() {
  detail::Connection& c = *connection_;
  if (c.transaction.lost() || sqlite3_get_autocommit(c.db)) {
    c.transaction.ended();
    c.clearError();
    return;
  }
  c.runCached("ROLLBACK");
  c.settleEnd();
  // What the undone change wrote to the log is dropped from the file too.
  if (checkpointer_) checkpointer_->Wake();
}

}  // namespace framework
