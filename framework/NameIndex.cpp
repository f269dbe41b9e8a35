#include "framework/NameIndex.h"

#include <sqlite3.h>

#include <initializer_list>

#include "framework/DatabaseConnection.h"

namespace framework {

namespace {

// A record is in the index exactly when its No is at most UpTo, so the triggers and the build
// never index a record twice nor delete one that was never indexed.
constexpr const char* kSchema[] = {
    "CREATE VIRTUAL TABLE IF NOT EXISTS Folder1Names USING fts5(Name, content='Folder1', "
    "content_rowid='No', tokenize='trigram', columnsize=0)",
    "CREATE TABLE IF NOT EXISTS Folder1NamesBuilt (UpTo INTEGER NOT NULL)",
    "INSERT INTO Folder1NamesBuilt SELECT CASE WHEN EXISTS (SELECT 1 FROM Folder1) THEN 0 ELSE "
    "9223372036854775807 END WHERE NOT EXISTS (SELECT 1 FROM Folder1NamesBuilt)",
    "CREATE TRIGGER IF NOT EXISTS Folder1Names_Insert AFTER INSERT ON Folder1 "
    "WHEN new.No <= (SELECT UpTo FROM Folder1NamesBuilt) BEGIN "
    "INSERT INTO Folder1Names (rowid, Name) VALUES (new.No, new.Name); END",
    "CREATE TRIGGER IF NOT EXISTS Folder1Names_Delete AFTER DELETE ON Folder1 "
    "WHEN old.No <= (SELECT UpTo FROM Folder1NamesBuilt) BEGIN "
    "INSERT INTO Folder1Names (Folder1Names, rowid, Name) VALUES ('delete', old.No, old.Name); END",
    "CREATE TRIGGER IF NOT EXISTS Folder1Names_Update AFTER UPDATE OF No, Name ON Folder1 BEGIN "
    "INSERT INTO Folder1Names (Folder1Names, rowid, Name) SELECT 'delete', old.No, old.Name "
    "WHERE old.No <= (SELECT UpTo FROM Folder1NamesBuilt); "
    "INSERT INTO Folder1Names (rowid, Name) SELECT new.No, new.Name "
    "WHERE new.No <= (SELECT UpTo FROM Folder1NamesBuilt); END",
};
constexpr const char* kPresent =
    "SELECT COUNT(*) FROM sqlite_schema WHERE name IN ('Folder1Names', 'Folder1NamesBuilt', "
    "'Folder1Names_Insert', 'Folder1Names_Delete', 'Folder1Names_Update')";
constexpr int kObjects = 5;

constexpr const char* kScan = "SELECT No, FolNo, Name, Folder FROM Folder1 WHERE Name LIKE ?1";
constexpr const char* kIndexed =
    "SELECT No, FolNo, Name, Folder FROM Folder1 WHERE No IN (SELECT rowid FROM Folder1Names "
    "WHERE Folder1Names MATCH ?1) AND Name LIKE ?2 ORDER BY No";

// Rows per statement of a build: small enough to look at the clock often.
constexpr int kBatch = 2000;

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

bool runAll(sqlite3* db, std::initializer_list<const char*> sqls) {
  for (const char* sql : sqls)
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) return false;
  return true;
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
  if (runAll(c.db, {"COMMIT"})) return true;
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

NameIndex::Step NameIndex::Build(Database& db, std::chrono::milliseconds budget) {
  detail::Connection& c = *db.connection_;
  if (!sqlite3_get_autocommit(c.db)) return Step::Waiting;
  std::int64_t upTo = IndexedUpTo(db);
  if (upTo == kComplete) return Step::Done;
  // Another process writing the file: come back later rather than block the window.
  sqlite3_busy_timeout(c.db, 0);
  const bool began = stepOnce(c, "BEGIN IMMEDIATE", {}) == SQLITE_DONE;
  sqlite3_busy_timeout(c.db, 2000);
  if (!began) return c.errorCode == SQLITE_BUSY ? Step::Waiting : Step::Failed;

  const auto until = std::chrono::steady_clock::now() + budget;
  bool ok = true;
  do {
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
  } while (ok && std::chrono::steady_clock::now() < until);
  ok = ok && stepOnce(c, "UPDATE Folder1NamesBuilt SET UpTo = ?1", {upTo}) == SQLITE_DONE &&
       stepOnce(c, "COMMIT", {}) == SQLITE_DONE;
  if (!ok) {
    const std::int32_t code = c.errorCode;
    const std::string message = c.errorMessage;
    runAll(c.db, {"ROLLBACK"});
    c.setError(code, message);
    return Step::Failed;
  }
  return upTo == kComplete ? Step::Done : Step::More;
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

std::unique_ptr<RecordSet> NameIndex::Search(Database& db, const std::string& term) {
  const std::string pattern = "%" + term + "%";
  if (Complete(db)) {
    if (std::optional<std::string> match = MatchQuery(term)) return db.SQLSelect(kIndexed, {*match, pattern});
  }
  return db.SQLSelect(kScan, {pattern});
}

}  // namespace framework
