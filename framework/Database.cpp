#include "framework/Database.h"

#include "framework/Checkpointer.h"
#include "framework/DatabaseConnection.h"
#include "framework/Text.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <sqlite3.h>

#include <cmath>
#include <cstdio>
#include <limits>

namespace framework {

namespace {

constexpr int kBusyTimeoutMs = 2000;

// Whether a statement of the connection is part-way through its rows.
bool readingNow(sqlite3* db) {
  for (sqlite3_stmt* st = sqlite3_next_stmt(db, nullptr); st; st = sqlite3_next_stmt(db, st))
    if (sqlite3_stmt_busy(st)) return true;
  return false;
}

}  // namespace

namespace detail {

Connection::~Connection() {
  for (auto& [sql, statement] : statements) sqlite3_finalize(statement);
  sqlite3_close(db);
}

void Connection::setResult(int code) {
  if (code == SQLITE_OK || code == SQLITE_DONE || code == SQLITE_ROW) {
    clearError();
    return;
  }
  setError(code & 0xff, sqlite3_errmsg(db));
  noticeLoss();
}

void Connection::noticeLoss() {
  // A fresh transaction for the next change would keep the rest of a change that was meant to
  // land whole, so the loss stands until the caller ends the transaction.
  if (!transactionOpen || !sqlite3_get_autocommit(db)) return;
  transactionOpen = false;
  lost = true;
  lostCode = errorCode ? errorCode : SQLITE_ABORT;
  lostMessage = errorCode ? errorMessage : sqlite3_errstr(SQLITE_ABORT);
}

void Connection::transactionEnded() {
  transactionOpen = false;
  lost = false;
}

void Connection::setError(int code, std::string message) {
  errorCode = code;
  errorMessage = std::move(message);
}

sqlite3_stmt* Connection::cached(const std::string& sql) {
  auto found = statements.find(sql);
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
  int rc = sqlite3_step(statement);
  if (rc == SQLITE_DONE || rc == SQLITE_ROW) rc = SQLITE_OK;
  setResult(rc);
  sqlite3_reset(statement);
  return rc;
}

bool Connection::beginIfNeeded() {
  noticeLoss();
  if (lost) {
    setError(lostCode, lostMessage);
    return false;
  }
  if (!sqlite3_get_autocommit(db)) return true;
  // Taking the write lock at once makes a locked file cost one busy wait, before anything is changed.
  int rc = runCached("BEGIN IMMEDIATE");
  // With a record set of the connection open the engine does not wait for the lock itself; the
  // checkpointer holds it for moments only, so it is waited for here, within the same timeout.
  // A record set whose view went stale under another writer cannot take the lock at all.
  for (int waited = 0; rc == SQLITE_BUSY && sqlite3_extended_errcode(db) != SQLITE_BUSY_SNAPSHOT &&
                       waited < kBusyTimeoutMs && readingNow(db);
       ++waited) {
    sqlite3_sleep(1);
    rc = runCached("BEGIN IMMEDIATE");
  }
  if (rc != SQLITE_OK) return false;
  transactionOpen = true;
  return true;
}

}  // namespace detail

// ---- DatabaseField

DatabaseField::DatabaseField(Kind kind, std::int64_t integer, double real, std::string text)
    : kind_(kind), integer_(integer), real_(real), text_(std::move(text)) {}

std::string DatabaseField::StringValue() && {
  if (kind_ == Kind::Text) return std::move(text_);
  return StringValue();
}

std::string DatabaseField::StringValue() const& {
  switch (kind_) {
    case Kind::Null: return {};
    case Kind::Integer: return std::to_string(integer_);
    case Kind::Boolean: return integer_ != 0 ? "True" : "False";
    case Kind::Real: {
      char text[32];
      std::snprintf(text, sizeof text, "%.15g", real_);
      return text;
    }
    case Kind::Text: return text_;
  }
  return {};
}

std::int32_t DatabaseField::IntegerValue() const {
  double value = 0;
  switch (kind_) {
    case Kind::Null: return 0;
    // A 32-bit column reads back whole; a wider value keeps its low 32 bits, as the columns store.
    case Kind::Integer:
    case Kind::Boolean: return static_cast<std::int32_t>(static_cast<std::uint32_t>(integer_));
    case Kind::Real: value = real_; break;
    case Kind::Text: value = Val(text_); break;
  }
  if (std::isnan(value)) return 0;
  if (value >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
    return std::numeric_limits<std::int32_t>::max();
  if (value <= static_cast<double>(std::numeric_limits<std::int32_t>::min()))
    return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

Date DatabaseField::DateValue() const {
  if (std::optional<Date> stored = Date::fromSQLDateTime(StringValue())) return *stored;
  return Date();
}

// ---- DatabaseRecord

void DatabaseRecord::set(std::string_view name, Value value) {
  for (auto& [column, held] : columns_) {
    if (detail::sameName(column, name)) {
      held = std::move(value);
      return;
    }
  }
  if (columns_.empty()) columns_.reserve(12);
  columns_.emplace_back(std::string(name), std::move(value));
}

void DatabaseRecord::Column(std::string_view name, const std::string& text) { set(name, text); }
void DatabaseRecord::IntegerColumn(std::string_view name, std::int64_t value) {
  set(name, value);
}
void DatabaseRecord::BooleanColumn(std::string_view name, bool value) {
  set(name, static_cast<std::int64_t>(value ? 1 : 0));
}
void DatabaseRecord::DateColumn(std::string_view name, const Date& value) {
  set(name, value.SQLDateTime());
}

// ---- Database

namespace {

using detail::quotedName;

std::string insertText(const std::string& table, const DatabaseRecord& record) {
  const auto& columns = record.columns();
  if (columns.empty()) return "INSERT INTO " + quotedName(table) + " DEFAULT VALUES";
  std::string names, marks;
  for (const auto& [name, value] : columns) {
    if (!names.empty()) {
      names += ',';
      marks += ',';
    }
    names += quotedName(name);
    marks += '?';
  }
  return "INSERT INTO " + quotedName(table) + " (" + names + ") VALUES (" + marks + ")";
}

bool runSetting(sqlite3* db, const char* sql) {
  return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

}  // namespace

Database::Database(Key, std::shared_ptr<detail::Connection> connection)
    : connection_(std::move(connection)) {
  // A file's log is checkpointed by a thread of its own; the connection itself never does it,
  // so no write of the program waits for a checkpoint or a sync.
  const char* file = sqlite3_db_filename(connection_->db, "main");
  if (file && *file) checkpointer_ = Checkpointer::start(file);
  if (checkpointer_) sqlite3_wal_autocheckpoint(connection_->db, 0);
}

Database::~Database() = default;

std::shared_ptr<Database> Database::open(const std::string& path) {
  sqlite3* handle = nullptr;
  // Only the main thread ever touches a connection (the program's threads are fibers on it), so
  // SQLite need not lock the connection around every call; reading a row makes many.
  const int rc = sqlite3_open_v2(path.c_str(), &handle,
                                 SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  // The handle is owned from here on, also when the open failed.
  auto connection = std::make_shared<detail::Connection>(handle);
  if (rc != SQLITE_OK || !handle) return nullptr;
  // The search writes its LIKE pattern between double quotes.
  sqlite3_db_config(handle, SQLITE_DBCONFIG_DQS_DML, 1, nullptr);
  sqlite3_busy_timeout(handle, kBusyTimeoutMs);
  // Reading the journal mode is the first touch of the file, so a file that is no database fails here.
  if (!runSetting(handle, "PRAGMA journal_mode=WAL") ||
      !runSetting(handle, "PRAGMA synchronous=NORMAL"))
    return nullptr;
  return std::make_shared<Database>(Key{}, std::move(connection));
}

std::unique_ptr<RecordSet> Database::SQLSelect(const std::string& sql) {
  detail::Connection& c = *connection_;
  sqlite3_stmt* statement = nullptr;
  const int rc = sqlite3_prepare_v2(c.db, sql.c_str(), static_cast<int>(sql.size()), &statement,
                                    nullptr);
  if (rc != SQLITE_OK) {
    c.setResult(rc);
    sqlite3_finalize(statement);
    return nullptr;
  }
  if (!statement) {  // a text of blanks or comments only
    c.setError(SQLITE_MISUSE, "the SQL text holds no statement");
    return nullptr;
  }
  auto records = std::make_unique<RecordSet>(connection_, statement);
  if (c.errorCode != 0) return nullptr;
  return records;
}

void Database::InsertRecord(const std::string& table, const DatabaseRecord& record) {
  detail::Connection& c = *connection_;
  const auto& columns = record.columns();
  sqlite3_stmt* statement = nullptr;
  for (const auto& known : c.inserts) {
    if (known.table != table || known.columns.size() != columns.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < columns.size() && same; ++i) same = known.columns[i] == columns[i].first;
    if (same) {
      statement = known.statement;
      break;
    }
  }
  if (!statement) {
    statement = c.cached(insertText(table, record));
    if (statement) {
      detail::Connection::Insert known{table, {}, statement};
      for (const auto& [name, value] : columns) known.columns.push_back(name);
      c.inserts.push_back(std::move(known));
    }
  }
  if (!statement || !c.beginIfNeeded()) return;
  int index = 1;
  for (const auto& [name, value] : columns) {
    if (const auto* text = std::get_if<std::string>(&value))
      // The record outlives the step, and the bindings are cleared before it returns.
      sqlite3_bind_text(statement, index, text->data(), static_cast<int>(text->size()),
                        SQLITE_STATIC);
    else
      sqlite3_bind_int64(statement, index, std::get<std::int64_t>(value));
    ++index;
  }
  c.setResult(sqlite3_step(statement));
  sqlite3_reset(statement);
  sqlite3_clear_bindings(statement);
}

bool Database::Begin() {
  if (!connection_->beginIfNeeded()) return false;
  connection_->clearError();
  return true;
}

void Database::Commit() {
  detail::Connection& c = *connection_;
  c.noticeLoss();
  if (c.lost) {
    c.setError(c.lostCode, c.lostMessage);
    c.transactionEnded();
    return;
  }
  if (sqlite3_get_autocommit(c.db)) {
    c.transactionEnded();
    c.clearError();
    return;
  }
  const bool landed = c.runCached("COMMIT") == SQLITE_OK;
  if (sqlite3_get_autocommit(c.db)) c.transactionEnded();
  if (landed && checkpointer_) checkpointer_->Wake();
}

void Database::Rollback() {
  detail::Connection& c = *connection_;
  if (c.lost || sqlite3_get_autocommit(c.db)) {
    c.transactionEnded();
    c.clearError();
    return;
  }
  c.runCached("ROLLBACK");
  if (sqlite3_get_autocommit(c.db)) c.transactionEnded();
  // What the undone change wrote to the log is dropped from the file too.
  if (checkpointer_) checkpointer_->Wake();
}

bool Database::Error() const { return connection_->errorCode != 0; }
std::int32_t Database::ErrorCode() const { return connection_->errorCode; }
std::string Database::ErrorMessage() const { return connection_->errorMessage; }

// ---- The database item

std::shared_ptr<Database> DatabaseItem(const std::string& name) {
  if (!textEquals(name, "lumeno")) return nullptr;
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
  if (folder.isEmpty() || !QDir().mkpath(folder)) return nullptr;
  const QByteArray path = QFile::encodeName(QDir(folder).filePath(QStringLiteral("lumeno.sqlite")));
  auto database = Database::open(path.toStdString());
  if (!database) return nullptr;
  sqlite3* db = database->connection_->db;
  if (!runSetting(db,
                  "CREATE TABLE IF NOT EXISTS Folder1 (No INTEGER PRIMARY KEY, FolNo INTEGER, "
                  "Name TEXT, Folder BOOLEAN, CDName TEXT, Type TEXT, Date DATETIME, "
                  "Time DATETIME, Byte INTEGER)") ||
      !runSetting(db, "CREATE INDEX IF NOT EXISTS Folder1_FolNo ON Folder1 (FolNo)"))
    return nullptr;
  return database;
}

}  // namespace framework
