#pragma once
#include "framework/database/DatabaseTransaction.h"

#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace framework {
class DatabaseCheck;
}

namespace framework::detail {

// SQL names compare as the engine compares them: ASCII letters without case, all else exactly.
inline bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// A table or column name as an SQL identifier, whatever characters it holds.
inline std::string quotedName(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + '"';
}

// How long a change waits for another connection's write lock.
inline constexpr int kBusyTimeoutMs = 2000;

// The connection and the state every operation on it shares: the latest result and the prepared
// statements. Owned jointly by the Database and its record sets, so a record set outlives neither.
struct Connection {
  explicit Connection(sqlite3* handle) : db(handle) {}
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Records the outcome of the latest operation; SQLITE_OK (or a finished step) clears it.
  void setResult(int code);
  void setError(int code, std::string message);
  void clearError() {
    errorCode = 0;
    errorMessage.clear();
    moved = false;
  }
  // The latest error as it is reported: the code, a blank, the message.
  std::string errorText() const { return std::to_string(errorCode) + " " + errorMessage; }

  // Opens a transaction unless one is open; false (error state set) when it cannot, and while a
  // transaction that the engine rolled back by itself has not been ended by Commit or Rollback.
  // Before the first change the file must have passed its check and still be at its path.
  bool beginIfNeeded();
  // The transaction's fate follows the engine: lost when the engine ended it by itself.
  void noticeLoss();
  // Whether the transaction is lost (after noticeLoss); if so the error state is its failure.
  bool failedByLoss();
  // After a COMMIT or ROLLBACK was tried: ended once the engine holds no transaction.
  void settleEnd();
  // Whether the file at the connection's path is still the one it holds; when it was moved,
  // deleted or replaced, false with the error state set and `moved`.
  bool stillAtPath();
  // Starts the engine's check of the file (again) unless one is under way or has passed; `done`
  // runs on the main thread with its verdict.
  void startCheck(std::function<void()> done = {});
  // A connection that has only read so far waits for the check's verdict and, once the file is
  // whole, is made ready for changes (WAL journal, synchronous NORMAL, `preparation`) on a worker OS
  // thread, the caller giving way meanwhile (see waitGoingOn). False, with the error state set,
  // while no change may go: a damaged file, a check that could not run (tried again by the next
  // change), a wait cut short, a failure to make it ready (tried again by the next change).
  bool readyForChanges();
  // Runs one statement without a result, through a statement prepared once.
  int runCached(const std::string& sql);
  // The same on a worker OS thread, giving way to the event loop and the other threads until it
  // is done; for a cooperative thread only.
  int runCachedAside(const std::string& sql);
  // While a worker holds the connection (runCachedAside, readyForChanges): work that can wait leaves
  // it alone, since any call would hold up the window until the worker is done.
  bool busyAside = false;
  // The statement for the text, prepared once and reset before it is handed out; nullptr on failure.
  sqlite3_stmt* cached(const std::string& sql);

  sqlite3* db;
  std::int32_t errorCode = 0;
  std::string errorMessage;
  // The latest error came from a file no longer at the connection's path.
  bool moved = false;
  // False until the file has been found whole in this run and made ready; the check of it, and
  // the statements that make it ready after the journal mode.
  bool prepared = true;
  std::shared_ptr<DatabaseCheck> check;
  std::vector<std::string> preparation;
  // What making the file ready came to on its worker: deferred while a statement was part-way
  // through its rows, or the failure with the engine's extended code and message.
  struct MadeReady {
    bool deferred = false;
    int rc = 0;
    int extendedCode = 0;
    std::string message;
  };
  // The making ready under way or not yet taken in; each caller waiting for it keeps a copy.
  std::shared_future<MadeReady> makingReady;
  // What became of the transaction begun by beginIfNeeded.
  TransactionState transaction;
  std::unordered_map<std::string, sqlite3_stmt*> statements;
  // Selects with bound values by SQL text, and whether a record set holds each one now.
  struct Select {
    sqlite3_stmt* statement = nullptr;
    bool lent = false;
  };
  std::unordered_map<std::string, Select> selects;

  // The insert statements by table and column names, found without building their SQL text.
  struct Insert {
    std::string table;
    std::vector<std::string> columns;
    sqlite3_stmt* statement;
  };
  std::vector<Insert> inserts;
};

// A connection to the file that has written nothing yet: a missing (or empty) file is created
// empty and `created` set; an existing one must be a regular file that the engine can read and
// that holds all the pages its header counts, and is opened read-only when it or its folder
// cannot be written. Nullptr with the reason (the engine's code and
// message, or what is wrong, in words) when it cannot be had.
std::shared_ptr<Connection> connect(const std::string& path, bool& created, std::string& reason);

// Makes the file ready for changes: WAL journal, synchronous NORMAL, then `preparation`, in that
// order and under the connection's lock throughout, so nothing else uses it meanwhile. The first
// write to the file. Touches nothing of the Connection but its handle: any thread.
Connection::MadeReady makeReady(sqlite3* db, const std::vector<std::string>& preparation);

// Waits until `done` holds, the window and the cooperative threads going on: on a cooperative
// thread by giving way, on the main thread in an event loop of its own. False when the wait was cut
// short by the application quitting.
bool waitGoingOn(const std::function<bool()>& done);

// Runs a statement that gives no rows once and resets it: its failure, or the reset's.
int stepAndReset(sqlite3_stmt* statement);

// Whether a statement of the connection is part-way through its rows.
bool readingNow(sqlite3* db);

// An engine result as it is reported: the primary code, a blank, the message.
std::string engineError(sqlite3* db, int code);

}  // namespace framework::detail
