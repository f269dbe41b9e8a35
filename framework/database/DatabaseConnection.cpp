// The connection's own work: opening the file, the latest result, the statements prepared once.
#include "framework/database/DatabaseConnection.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace framework::detail {

namespace {
// Unless told otherwise before its first use, the engine counts every allocation under one lock for
// the whole process; nothing here reads those counts, and threads that each fill an index of their
// own would take turns at that lock.
[[maybe_unused]] const int noAllocationCounts = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
}  // namespace

int stepAndReset(sqlite3_stmt* statement) {
  int rc = sqlite3_step(statement);
  if (rc == SQLITE_DONE || rc == SQLITE_ROW) rc = SQLITE_OK;
  const int reset = sqlite3_reset(statement);
  return rc == SQLITE_OK ? reset : rc;
}

bool readingNow(sqlite3* db) {
  for (sqlite3_stmt* st = sqlite3_next_stmt(db, nullptr); st; st = sqlite3_next_stmt(db, st))
    if (sqlite3_stmt_busy(st)) return true;
  return false;
}

Connection::~Connection() {
  if (makingReady.valid()) makingReady.wait();
  for (auto& [sql, statement] : statements) sqlite3_finalize(statement);
  for (auto& [sql, select] : selects) sqlite3_finalize(select.statement);
  sqlite3_close(db);
}

void Connection::setResult(int code) {
  if (code == SQLITE_OK || code == SQLITE_DONE || code == SQLITE_ROW) {
    clearError();
    return;
  }
  setError(code & 0xff, sqlite3_errmsg(db));
  // The engine itself notices a deleted file when it would write through a rollback journal.
  moved = sqlite3_extended_errcode(db) == SQLITE_READONLY_DBMOVED;
  noticeLoss();
}

bool Connection::stillAtPath() {
  int gone = 0;
  if (sqlite3_file_control(db, "main", SQLITE_FCNTL_HAS_MOVED, &gone) != SQLITE_OK || !gone) return true;
  setError(SQLITE_READONLY, sqlite3_errstr(SQLITE_READONLY_DBMOVED));
  moved = true;
  return false;
}

void Connection::setError(int code, std::string message) {
  errorCode = code;
  errorMessage = std::move(message);
}

sqlite3_stmt* Connection::cached(const std::string& sql) {
  auto found = statements.find(sql);
  // Every run resets its statement, so this reset's result (the last run's) was reported then.
  if (found != statements.end()) {
    sqlite3_reset(found->second);
    return found->second;
  }
  sqlite3_stmt* statement = nullptr;
  const int rc = sqlite3_prepare_v3(db, sql.c_str(), static_cast<int>(sql.size()),
                                    SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
  if (rc != SQLITE_OK || !statement) {
    setResult(rc == SQLITE_OK ? SQLITE_MISUSE : rc);
    sqlite3_finalize(statement);
    return nullptr;
  }
  statements.emplace(sql, statement);
  return statement;
}

int Connection::runCached(const std::string& sql) {
  sqlite3_stmt* statement = cached(sql);
  if (!statement) return errorCode ? errorCode : SQLITE_ERROR;
  const int rc = stepAndReset(statement);
  setResult(rc);
  return rc;
}

std::string engineError(sqlite3* db, int code) {
  return std::to_string(code & 0xff) + " " + (db ? sqlite3_errmsg(db) : sqlite3_errstr(code));
}

namespace {

std::uint32_t bigEndian32(const unsigned char* p) {
  return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

// Whether a log beside the file holds changes not yet copied back into it.
bool logBeside(const std::string& path) {
  std::error_code ec;
  const std::uintmax_t log = std::filesystem::file_size(path + "-wal", ec);
  return !ec && log > 0;
}

// A file shorter than the pages its header counts has lost its end, which the engine would notice
// only when it reads a missing page. A log beside it may hold pages not yet copied back into the
// file, so the count is trusted only without one.
std::string truncation(const std::string& path, std::uint64_t size) {
  if (logBeside(path)) return {};
  unsigned char h[100];
  std::ifstream in(path, std::ios::binary);
  if (!in.read(reinterpret_cast<char*>(h), sizeof h)) return {};  // too short: the engine tells
  if (std::memcmp(h, "SQLite format 3", 16) != 0) return {};
  std::uint64_t pageSize = std::uint64_t(h[16]) << 8 | h[17];
  if (pageSize == 1) pageSize = 65536;
  const std::uint32_t pages = bigEndian32(h + 28);
  // The count is kept up to date only by writers that also stamp it with the change counter.
  if (pages == 0 || bigEndian32(h + 92) != bigEndian32(h + 24)) return {};
  const std::uint64_t whole = pageSize * pages;
  if (size >= whole) return {};
  return "ファイルが途中で切れています（" + std::to_string(whole) + " バイトのうち " +
         std::to_string(size) + " バイトしかありません）。";
}

// The folder must take new files: the engine keeps its log and index files beside the catalogue.
std::string unwritableFolder(const std::string& path) {
  std::string folder = std::filesystem::path(path).parent_path().string();
  if (folder.empty()) folder = ".";
  if (::access(folder.c_str(), W_OK | X_OK) == 0) return {};
  if (errno == ENOENT) return "フォルダ「" + folder + "」がありません。";
  return "フォルダ「" + folder + "」に書き込めません（" + std::strerror(errno) + "）。";
}

}  // namespace

std::shared_ptr<Connection> connect(const std::string& path, bool& created, std::string& reason) {
  struct stat status {};
  created = false;
  if (::stat(path.c_str(), &status) != 0) {
    if (errno != ENOENT) {
      reason = std::strerror(errno);
      return nullptr;
    }
    created = true;
  } else if (S_ISDIR(status.st_mode)) {
    reason = "ファイルの代わりに同じ名前のフォルダがあります。";
    return nullptr;
  } else if (!S_ISREG(status.st_mode)) {
    // A pipe or a device would block the program or give no database.
    reason = "通常のファイルではありません。";
    return nullptr;
  } else if (status.st_size == 0) {
    created = true;  // an empty file holds nothing: the engine takes it for an empty database
  } else if (reason = truncation(path, static_cast<std::uint64_t>(status.st_size)); !reason.empty()) {
    return nullptr;
  }
  // A catalogue on read-only media or in a folder shared read-only can still be read; a new one
  // needs the folder.
  if (created && !(reason = unwritableFolder(path)).empty()) return nullptr;
  const bool readOnly = !created && (::access(path.c_str(), W_OK) != 0 || !unwritableFolder(path).empty());

  sqlite3* handle = nullptr;
  // The connection is the main thread's, but a thread's commit runs on a worker of its own while
  // the window goes on (see Commit), so the engine serialises the calls on it. Only a missing
  // file is created.
  const int flags = (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_FULLMUTEX |
                    (created ? SQLITE_OPEN_CREATE : 0);
  const int rc = sqlite3_open_v2(path.c_str(), &handle, flags, nullptr);
  // The handle is owned from here on, also when the open failed.
  auto connection = std::make_shared<Connection>(handle);
  if (rc != SQLITE_OK || !handle) {
    reason = engineError(handle, rc);
    return nullptr;
  }
  // The search writes its LIKE pattern between double quotes.
  sqlite3_db_config(handle, SQLITE_DBCONFIG_DQS_DML, 1, nullptr);
  sqlite3_busy_timeout(handle, kBusyTimeoutMs);
  // Closing copies a log back into the file: a file that is not made ready for changes (unusable,
  // damaged) keeps its log as it is (configure allows the copy again).
  if (logBeside(path)) sqlite3_db_config(handle, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
  // The engine reads nothing at the open: reading the schema is its first look at the file, so
  // a file that is no database, a damaged schema or another program's lock shows here.
  const int read = connection->runCached("SELECT count(*) FROM sqlite_schema");
  if (read != SQLITE_OK) {
    reason = connection->errorText();
    return nullptr;
  }
  return connection;
}

Connection::MadeReady makeReady(sqlite3* db, const std::vector<std::string>& preparation) {
  Connection::MadeReady made;
  sqlite3_mutex* lock = sqlite3_db_mutex(db);
  sqlite3_mutex_enter(lock);
  // The engine changes the journal mode and the schema only while none of the connection's
  // statements is part-way through its rows; until then changes go through the file's own journal,
  // as safely.
  if (readingNow(db)) {
    made.deferred = true;
  } else {
    sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 0, nullptr);
    std::vector<std::string> statements = {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=NORMAL"};
    statements.insert(statements.end(), preparation.begin(), preparation.end());
    for (const std::string& sql : statements) {
      sqlite3_stmt* statement = nullptr;
      int rc = sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &statement, nullptr);
      if (rc == SQLITE_OK) rc = statement ? stepAndReset(statement) : SQLITE_MISUSE;
      if (rc != SQLITE_OK) made = {false, rc, sqlite3_extended_errcode(db), sqlite3_errmsg(db)};
      sqlite3_finalize(statement);
      if (rc != SQLITE_OK) break;
    }
  }
  sqlite3_mutex_leave(lock);
  return made;
}

}  // namespace framework::detail
