#include "framework/NameIndex.h"

#include <sqlite3.h>

#include <initializer_list>

#include "framework/DatabaseConnection.h"

namespace framework {

namespace {

// A record is in the index exactly when its No is at most UpTo, so the triggers and the build
// never index a record twice nor delete one that was never indexed. The triggers only queue the
// change: an FTS5 table written from a trigger flushes its pending terms at every statement, which
// costs a read ten times its inserts, while the queue is taken into the index in one statement.
constexpr const char* kSchema[] = {
    "CREATE VIRTUAL TABLE IF NOT EXISTS Folder1Names USING fts5(Name, content='Folder1', "
    "content_rowid='No', tokenize='trigram', columnsize=0)",
    "CREATE TABLE IF NOT EXISTS Folder1NamesBuilt (UpTo INTEGER NOT NULL)",
    "INSERT INTO Folder1NamesBuilt SELECT CASE WHEN EXISTS (SELECT 1 FROM Folder1) THEN 0 ELSE "
    "9223372036854775807 END WHERE NOT EXISTS (SELECT 1 FROM Folder1NamesBuilt)",
    "CREATE TABLE IF NOT EXISTS Folder1NamesQueue (Seq INTEGER PRIMARY KEY, No INTEGER NOT NULL, "
    "Name TEXT, Gone INTEGER NOT NULL)",
    "CREATE TRIGGER IF NOT EXISTS Folder1Names_Insert AFTER INSERT ON Folder1 "
    "WHEN new.No <= (SELECT UpTo FROM Folder1NamesBuilt) BEGIN "
    "INSERT INTO Folder1NamesQueue (No, Name, Gone) VALUES (new.No, new.Name, 0); END",
    "CREATE TRIGGER IF NOT EXISTS Folder1Names_Delete AFTER DELETE ON Folder1 "
    "WHEN old.No <= (SELECT UpTo FROM Folder1NamesBuilt) BEGIN "
    "INSERT INTO Folder1NamesQueue (No, Name, Gone) VALUES (old.No, old.Name, 1); END",
    "CREATE TRIGGER IF NOT EXISTS Folder1Names_Update AFTER UPDATE OF No, Name ON Folder1 BEGIN "
    "INSERT INTO Folder1NamesQueue (No, Name, Gone) SELECT old.No, old.Name, 1 "
    "WHERE old.No <= (SELECT UpTo FROM Folder1NamesBuilt); "
    "INSERT INTO Folder1NamesQueue (No, Name, Gone) SELECT new.No, new.Name, 0 "
    "WHERE new.No <= (SELECT UpTo FROM Folder1NamesBuilt); END",
};
constexpr const char* kPresent =
    "SELECT COUNT(*) FROM sqlite_schema WHERE name IN ('Folder1Names', 'Folder1NamesBuilt', "
    "'Folder1NamesQueue', 'Folder1Names_Insert', 'Folder1Names_Delete', 'Folder1Names_Update')";
constexpr int kObjects = 6;
constexpr const char* kQueued = "SELECT EXISTS (SELECT 1 FROM Folder1NamesQueue)";
constexpr const char* kQueueUpTo =
    "SELECT MAX(Seq) FROM (SELECT Seq FROM Folder1NamesQueue ORDER BY Seq LIMIT ?1)";
constexpr const char* kTakeQueue =
    "INSERT INTO Folder1Names (Folder1Names, rowid, Name) SELECT CASE Gone WHEN 1 THEN 'delete' END, "
    "No, Name FROM Folder1NamesQueue WHERE Seq <= ?1 ORDER BY Seq";
constexpr const char* kEmptyQueue = "DELETE FROM Folder1NamesQueue WHERE Seq <= ?1";
constexpr std::int64_t kWholeQueue = 0x7fffffffffffffff;

constexpr const char* kScan = "SELECT No, FolNo, Name, Folder FROM Folder1 WHERE Name LIKE ?1";
constexpr const char* kIndexed =
    "SELECT No, FolNo, Name, Folder FROM Folder1 WHERE No IN (SELECT rowid FROM Folder1Names "
    "WHERE Folder1Names MATCH ?1) AND Name LIKE ?2 ORDER BY No";

// Rows per statement of a build: small enough to look at the clock often.
constexpr int kBatch = 1000;
// Queued changes per statement: a few milliseconds of work, so a step keeps to its budget.
constexpr std::int64_t kQueueBatch = 1000;

// Steps a cached statement once with its integer parameters; the statement is reset afterwards.
// Gives the engine's result and, on a row, its first column.
int stepOnce(detail::Connection& c, const char* sql, std::initializer_list<std::int64_t> values,
             std::optional<std::int64_t>* first = nullptr) {
  sqlite3_stmt* st = c.cached(sql);
  if (!st) return c.errorCode ? c.errorCode : SQLITE_ERROR;
  int i = 1;
  for (std::int64_t v : values) sqlite3_bind_int64(st, i++, v);
  const int rc = sqlite3_step(st);
  if (first && rc == SQLITE_ROW && sqlite3_column_type(st, 0) != SQLITE_NULL) *first = sqlite3_column_int64(st, 0);
  c.setResult(rc);
  sqlite3_reset(st);
  sqlite3_clear_bindings(st);
  return rc == SQLITE_ROW ? SQLITE_DONE : rc;
}

// Through the database's own commit, so that its log is copied back afterwards.
bool committed(Database& db) {
  db.Commit();
  return !db.Error();
}

bool runAll(sqlite3* db, std::initializer_list<const char*> sqls) {
  for (const char* sql : sqls)
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) return false;
  return true;
}

// Undoes what failed, keeping the failure as the latest error.
void undo(detail::Connection& c, std::initializer_list<const char*> sqls) {
  const std::int32_t code = c.errorCode;
  const std::string message = c.errorMessage;
  runAll(c.db, sqls);
  c.setError(code, message);
}

// Opens a write transaction without waiting: another process writing the file makes the caller
// come back later rather than block the window.
int beginNow(detail::Connection& c) {
  sqlite3_busy_timeout(c.db, 0);
  const int rc = stepOnce(c, "BEGIN IMMEDIATE", {});
  sqlite3_busy_timeout(c.db, 2000);
  return rc;
}

// The first `count` queued changes into the index: both steps or neither, also inside a
// transaction that goes on after a failure.
bool takeQueue(detail::Connection& c, std::int64_t count, bool* took = nullptr) {
  std::optional<std::int64_t> last;
  if (stepOnce(c, kQueueUpTo, {count}, &last) != SQLITE_DONE) return false;
  if (took) *took = last.has_value();
  if (!last) return true;
  if (stepOnce(c, "SAVEPOINT Folder1NamesQueue", {}) != SQLITE_DONE) return false;
  if (stepOnce(c, kTakeQueue, {*last}) == SQLITE_DONE && stepOnce(c, kEmptyQueue, {*last}) == SQLITE_DONE)
    return stepOnce(c, "RELEASE Folder1NamesQueue", {}) == SQLITE_DONE;
  undo(c, {"ROLLBACK TO Folder1NamesQueue", "RELEASE Folder1NamesQueue"});
  return false;
}

}  // namespace

bool NameIndex::Prepare(Database& db) {
  detail::Connection& c = *db.connection_;
  std::optional<std::int64_t> present;
  if (stepOnce(c, kPresent, {}, &present) != SQLITE_DONE) return false;
  if (present == kObjects) return true;
  if (!sqlite3_get_autocommit(c.db)) return false;
  if (!runAll(c.db, {"BEGIN IMMEDIATE"})) return false;
  for (const char* sql : kSchema) {
    if (!runAll(c.db, {sql})) {
      runAll(c.db, {"ROLLBACK"});
      return false;
    }
  }
  if (committed(db)) return true;
  runAll(c.db, {"ROLLBACK"});
  return false;
}

std::int64_t NameIndex::IndexedUpTo(Database& db) {
  detail::Connection& c = *db.connection_;
  // Asked before every search, so a missing table must not be an error left for the caller.
  const std::int32_t code = c.errorCode;
  const std::string message = c.errorMessage;
  std::optional<std::int64_t> upTo;
  stepOnce(c, "SELECT UpTo FROM Folder1NamesBuilt", {}, &upTo);
  c.setError(code, message);
  return upTo.value_or(0);
}

bool NameIndex::TakeQueue(Database& db) {
  detail::Connection& c = *db.connection_;
  std::optional<std::int64_t> queued;
  if (stepOnce(c, kQueued, {}, &queued) != SQLITE_DONE) return false;
  if (queued.value_or(0) == 0) return true;
  // Inside a transaction of someone else's the queue goes with it, kept or undone.
  if (!sqlite3_get_autocommit(c.db)) return takeQueue(c, kWholeQueue);
  if (beginNow(c) != SQLITE_DONE) return false;
  if (takeQueue(c, kWholeQueue) && committed(db)) return true;
  undo(c, {"ROLLBACK"});
  return false;
}

NameIndex::Step NameIndex::Build(Database& db, std::chrono::milliseconds budget) {
  detail::Connection& c = *db.connection_;
  if (c.busyAside || !sqlite3_get_autocommit(c.db)) return Step::Waiting;
  std::int64_t upTo = IndexedUpTo(db);
  std::optional<std::int64_t> queued;
  if (stepOnce(c, kQueued, {}, &queued) != SQLITE_DONE) return Step::Failed;
  if (upTo == kComplete && queued.value_or(0) == 0) return Step::Done;
  if (beginNow(c) != SQLITE_DONE) return c.errorCode == SQLITE_BUSY ? Step::Waiting : Step::Failed;

  const auto until = std::chrono::steady_clock::now() + budget;
  bool ok = true;
  // What reads queued first, in pieces, as long as the budget lasts.
  for (bool took = true; ok && took && std::chrono::steady_clock::now() < until;)
    ok = takeQueue(c, kQueueBatch, &took);
  // At least one batch, however short the budget.
  for (bool first = true; ok && upTo != kComplete && (first || std::chrono::steady_clock::now() < until);
       first = false) {
    std::optional<std::int64_t> last;
    ok = stepOnce(c, "SELECT MAX(No) FROM (SELECT No FROM Folder1 WHERE No > ?1 ORDER BY No LIMIT ?2)",
                  {upTo, kBatch}, &last) == SQLITE_DONE;
    if (!ok) break;
    if (!last) {
      upTo = kComplete;
      break;
    }
    ok = stepOnce(c,
                  "INSERT INTO Folder1Names (rowid, Name) SELECT No, Name FROM Folder1 "
                  "WHERE No > ?1 AND No <= ?2",
                  {upTo, *last}) == SQLITE_DONE;
    upTo = *last;
  }
  ok = ok && stepOnce(c, "UPDATE Folder1NamesBuilt SET UpTo = ?1", {upTo}) == SQLITE_DONE &&
       committed(db);
  if (!ok) {
    undo(c, {"ROLLBACK"});
    return Step::Failed;
  }
  return Step::More;
}

std::optional<std::string> NameIndex::MatchQuery(std::string_view term) {
  std::string query, run;
  int characters = 0;
  bool wellFormed = true;
  auto endRun = [&] {
    if (characters >= 3) {
      if (!query.empty()) query += " AND ";
      query += '"';
      for (char ch : run) {
        if (ch == '"') query += '"';
        query += ch;
      }
      query += '"';
    }
    run.clear();
    characters = 0;
  };
  for (std::size_t i = 0; i < term.size();) {
    const auto b = static_cast<unsigned char>(term[i]);
    const std::size_t length = b < 0x80 ? 1 : b >= 0xF8 ? 0 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 0;
    if (length == 0 || i + length > term.size()) {
      wellFormed = false;
      break;
    }
    for (std::size_t k = 1; k < length; ++k)
      if ((static_cast<unsigned char>(term[i + k]) & 0xC0) != 0x80) wellFormed = false;
    if (!wellFormed) break;
    if (b == '%' || b == '_') {
      endRun();
    } else {
      run.append(term.substr(i, length));
      ++characters;
    }
    i += length;
  }
  if (!wellFormed) return std::nullopt;
  endRun();
  if (query.empty()) return std::nullopt;
  return query;
}

std::unique_ptr<RecordSet> NameIndex::Search(Database& db, const std::string& term, bool mayWrite) {
  const std::string pattern = "%" + term + "%";
  if (Complete(db)) {
    std::optional<std::string> match = MatchQuery(term);
    if (match && mayWrite && TakeQueue(db)) return db.SQLSelect(kIndexed, {*match, pattern});
  }
  return db.SQLSelect(kScan, {pattern});
}

}  // namespace framework
