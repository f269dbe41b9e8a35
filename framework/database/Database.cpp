#include "framework/database/Database.h"

#include "framework/database/Checkpointer.h"
#include "framework/database/DatabaseConnection.h"
#include "framework/text/Text.h"

#include <sqlite3.h>

#include <cmath>
#include <cstdio>
#include <limits>

namespace framework {

int BindValue(sqlite3_stmt* statement, int index, const DatabaseRecord::Value& value, void (*keep)(void*)) {
  // The 64-bit length lets the engine refuse a text too long for it instead of taking a cut one.
  if (const auto* text = std::get_if<std::string>(&value))
    return sqlite3_bind_text64(statement, index, text->data(), text->size(), keep, SQLITE_UTF8);
  return sqlite3_bind_int64(statement, index, std::get<std::int64_t>(value));
}

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

}  // namespace

Database::Database(Key, std::shared_ptr<detail::Connection> connection)
    : connection_(std::move(connection)) {
  // A file's log is checkpointed by a thread of its own; the connection itself never does it,
  // so no write of the program waits for a checkpoint or a sync.
  const char* file = sqlite3_db_filename(connection_->db, "main");
  if (file && *file && !ReadOnly()) checkpointer_ = Checkpointer::start(file);
  if (checkpointer_) sqlite3_wal_autocheckpoint(connection_->db, 0);
}

Database::~Database() = default;

std::shared_ptr<Database> Database::open(const std::string& path, std::string* reason) {
  std::string why;
  bool created = false;
  auto connection = detail::connect(path, created, why);
  if (connection) {
    // Nothing else holds the connection yet: it is made ready on the spot.
    const detail::Connection::MadeReady made = detail::makeReady(connection->db, {});
    if (made.rc == SQLITE_OK) return std::make_shared<Database>(Key{}, std::move(connection));
    why = std::to_string(made.rc & 0xff) + " " + made.message;
  }
  if (reason) *reason = why;
  return nullptr;
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

std::unique_ptr<RecordSet> Database::SQLSelect(const std::string& sql,
                                               const std::vector<DatabaseRecord::Value>& values) {
  detail::Connection& c = *connection_;
  detail::Connection::Select* held = nullptr;
  sqlite3_stmt* statement = nullptr;
  auto found = c.selects.find(sql);
  if (found != c.selects.end() && !found->second.lent) {
    held = &found->second;
    statement = held->statement;
  } else {
    const int rc = sqlite3_prepare_v3(c.db, sql.c_str(), static_cast<int>(sql.size()),
                                      SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
    if (rc != SQLITE_OK || !statement) {
      if (rc == SQLITE_OK) c.setError(SQLITE_MISUSE, "the SQL text holds no statement");
      else c.setResult(rc);
      sqlite3_finalize(statement);
      return nullptr;
    }
    // The first one is kept; one made while the kept one is lent lives as long as its record set.
    if (found == c.selects.end()) held = &c.selects.emplace(sql, detail::Connection::Select{statement}).first->second;
  }
  int index = 1;
  for (const auto& value : values) {
    // The values go with the caller, while the record set steps later.
    if (const int rc = BindValue(statement, index, value, SQLITE_TRANSIENT); rc != SQLITE_OK) {
      c.setResult(rc);
      sqlite3_clear_bindings(statement);
      if (!held) sqlite3_finalize(statement);
      return nullptr;
    }
    ++index;
  }
  if (held) held->lent = true;
  auto records = std::make_unique<RecordSet>(connection_, statement, held ? &held->lent : nullptr);
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
  int rc = SQLITE_OK;
  for (const auto& [name, value] : columns) {
    // The record outlives the step, and the bindings are cleared before it returns.
    rc = BindValue(statement, index, value, SQLITE_STATIC);
    if (rc != SQLITE_OK) break;
    ++index;
  }
  if (rc == SQLITE_OK) rc = sqlite3_step(statement);
  c.setResult(rc);
  // A reset after a step that went well reports a failure of its own only.
  const int reset = sqlite3_reset(statement);
  if (rc == SQLITE_DONE && reset != SQLITE_OK) c.setResult(reset);
  sqlite3_clear_bindings(statement);
}


bool IsDamageCode(std::int32_t code) {
  switch (code & 0xff) {
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_IOERR:
    case SQLITE_FORMAT: return true;
    default: return false;
  }
}

int Database::setLengthLimit(int bytes) {
  return sqlite3_limit(connection_->db, SQLITE_LIMIT_LENGTH, bytes);
}

bool Database::ReadOnly() const { return sqlite3_db_readonly(connection_->db, "main") == 1; }

std::string Database::FilePath() const {
  const char* file = sqlite3_db_filename(connection_->db, "main");
  return file ? file : "";
}

bool Database::Moved() const { return connection_->moved; }

bool Database::Error() const { return connection_->errorCode != 0; }
std::int32_t Database::ErrorCode() const { return connection_->errorCode; }
std::string Database::ErrorMessage() const { return connection_->errorMessage; }

}  // namespace framework
