#include "framework/database/Database.h"
#include "framework/database/DatabaseConnection.h"
#include "framework/text/Text.h"

#include <sqlite3.h>

#include <array>
#include <cstdint>
#include <vector>

namespace framework {

struct RecordSet::Impl {
  std::shared_ptr<detail::Connection> connection;
  sqlite3_stmt* statement = nullptr;
  bool* lent = nullptr;  // the connection's cached statement, handed back at the end
  bool eof = false;
  bool empty = false;
  std::int32_t failureCode = 0;
  std::string failureMessage;
  std::vector<std::string> names;
  std::vector<bool> boolean;

  // Columns found by name before, keyed by where the asked name's text lies: a loop over many
  // rows asks with the same literals every row, and each answer is checked against the name.
  struct Found {
    const char* text = nullptr;
    std::size_t size = 0;
    int index = 0;
  };
  std::array<Found, 16> found;

  // How the current row is found again for deleting it: worked out on the first DeleteRecord.
  bool deletePrepared = false;
  std::string deleteText;            // empty when rows of this result cannot be deleted
  std::string deleteProblem;         // why not
  int deleteCode = SQLITE_MISUSE;    // and the engine's code for it
  std::vector<int> keyColumns;       // result columns bound, in order, to the DELETE's parameters

  void step() {
    const int rc = sqlite3_step(statement);
    if (rc == SQLITE_ROW) {
      connection->clearError();
      return;
    }
    eof = true;
    connection->setResult(rc);
    if (rc != SQLITE_DONE) {
      failureCode = connection->errorCode;
      failureMessage = connection->errorMessage;
    }
    // Ends the statement's read of the file, so the finished record set holds nothing back. Its
    // result repeats the step's, recorded above.
    sqlite3_reset(statement);
  }

  void prepareDelete();
};

using detail::quotedName;

// The row is found again by its table's primary key, taken from the result's own columns, so the
// delete touches that one row whatever else in the table looks like it.
void RecordSet::Impl::prepareDelete() {
  deletePrepared = true;
  sqlite3* db = connection->db;
  const int count = sqlite3_column_count(statement);
  std::string schema, table;
  for (int i = 0; i < count; ++i) {
    const char* t = sqlite3_column_table_name(statement, i);
    if (!t) continue;
    const char* s = sqlite3_column_database_name(statement, i);
    if (table.empty()) {
      table = t;
      schema = s ? s : "main";
    } else if (table != t || schema != (s ? s : "main")) {
      deleteProblem = "the rows of a selection from several tables cannot be deleted";
      return;
    }
  }
  if (table.empty()) {
    deleteProblem = "the selection names no table";
    return;
  }

  sqlite3_stmt* info = nullptr;
  if (const int rc = sqlite3_prepare_v2(
          db, "SELECT name, pk FROM pragma_table_info(?1, ?2) WHERE pk > 0 ORDER BY pk", -1, &info, nullptr);
      rc != SQLITE_OK) {
    deleteCode = rc & 0xff;
    deleteProblem = sqlite3_errmsg(db);
    sqlite3_finalize(info);
    return;
  }
  int rc = sqlite3_bind_text(info, 1, table.c_str(), -1, SQLITE_TRANSIENT);
  if (rc == SQLITE_OK) rc = sqlite3_bind_text(info, 2, schema.c_str(), -1, SQLITE_TRANSIENT);
  std::vector<std::string> keys;
  while (rc == SQLITE_OK) {
    rc = sqlite3_step(info);
    if (rc != SQLITE_ROW) break;
    const auto* key = reinterpret_cast<const char*>(sqlite3_column_text(info, 0));
    rc = key ? SQLITE_OK : SQLITE_NOMEM;
    if (key) keys.emplace_back(key);
  }
  // Keys read only part-way would find rows by too little of their key.
  if (rc != SQLITE_DONE) {
    deleteCode = rc & 0xff;
    deleteProblem = rc == SQLITE_NOMEM ? sqlite3_errstr(rc) : sqlite3_errmsg(db);
    sqlite3_finalize(info);
    return;
  }
  sqlite3_finalize(info);
  if (keys.empty()) {
    deleteProblem = "the table has no primary key to find the row by";
    return;
  }

  std::string where;
  for (const std::string& key : keys) {
    int found = -1;
    for (int i = 0; i < count && found < 0; ++i) {
      const char* origin = sqlite3_column_origin_name(statement, i);
      if (origin && detail::sameName(origin, key)) found = i;
    }
    if (found < 0) {
      deleteProblem = "the selection lacks the primary key column " + key;
      return;
    }
    keyColumns.push_back(found);
    if (!where.empty()) where += " AND ";
    where += quotedName(key) + " IS ?";
  }
  deleteText = "DELETE FROM " + quotedName(schema) + "." + quotedName(table) + " WHERE " + where;
}

RecordSet::RecordSet(std::shared_ptr<detail::Connection> connection, sqlite3_stmt* statement, bool* lent)
    : impl_(std::make_unique<Impl>()) {
  impl_->connection = std::move(connection);
  impl_->statement = statement;
  impl_->lent = lent;
  const int count = sqlite3_column_count(statement);
  for (int i = 0; i < count; ++i) {
    const char* name = sqlite3_column_name(statement, i);
    const char* declared = sqlite3_column_decltype(statement, i);
    impl_->names.emplace_back(name ? name : "");
    impl_->boolean.push_back(declared && textEquals(declared, "BOOLEAN"));
  }
  impl_->step();
  impl_->empty = impl_->eof;
}

RecordSet::~RecordSet() {
  if (!impl_->lent) {
    sqlite3_finalize(impl_->statement);
    return;
  }
  sqlite3_reset(impl_->statement);
  sqlite3_clear_bindings(impl_->statement);
  *impl_->lent = false;
}

bool RecordSet::Bof() const { return impl_->empty; }
bool RecordSet::Eof() const { return impl_->eof; }

void RecordSet::MoveNext() {
  if (!impl_->eof) impl_->step();
}

bool RecordSet::Error() const { return impl_->failureCode != 0; }
std::int32_t RecordSet::ErrorCode() const { return impl_->failureCode; }
std::string RecordSet::ErrorMessage() const { return impl_->failureMessage; }

DatabaseField RecordSet::Field(std::string_view column) const {
  const auto key = reinterpret_cast<std::uintptr_t>(column.data());
  Impl::Found& f = impl_->found[((key ^ column.size()) * 0x9E3779B97F4A7C15ull) >> 60];
  if (f.text == column.data() && f.size == column.size() &&
      detail::sameName(impl_->names[static_cast<std::size_t>(f.index)], column))
    return IdxField(f.index + 1);
  for (std::size_t i = 0; i < impl_->names.size(); ++i) {
    if (detail::sameName(impl_->names[i], column)) {
      f = {column.data(), column.size(), static_cast<int>(i)};
      return IdxField(static_cast<int>(i) + 1);
    }
  }
  return {};
}

DatabaseField ColumnField(sqlite3_stmt* s, int i, bool boolean) {
  using Kind = DatabaseField::Kind;
  switch (sqlite3_column_type(s, i)) {
    case SQLITE_INTEGER:
      return {boolean ? Kind::Boolean : Kind::Integer, sqlite3_column_int64(s, i), 0, {}};
    case SQLITE_FLOAT: {
      const double value = sqlite3_column_double(s, i);
      if (boolean) return {Kind::Boolean, value != 0 ? 1 : 0, 0, {}};
      return {Kind::Real, 0, value, {}};
    }
    case SQLITE_NULL: return {};
    default: {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, i));
      const int size = sqlite3_column_bytes(s, i);
      return {Kind::Text, 0, 0, text ? std::string(text, static_cast<std::size_t>(size)) : std::string()};
    }
  }
}

DatabaseField RecordSet::IdxField(int index) const {
  if (impl_->eof || index < 1 || index > static_cast<int>(impl_->names.size())) return {};
  // Held once for the field's few calls, each of which would otherwise take the lock anew.
  struct Hold {
    sqlite3_mutex* lock;
    ~Hold() { sqlite3_mutex_leave(lock); }
  } hold{sqlite3_db_mutex(impl_->connection->db)};
  sqlite3_mutex_enter(hold.lock);
  return ColumnField(impl_->statement, index - 1, impl_->boolean[static_cast<std::size_t>(index - 1)]);
}

bool RecordSet::DeleteRecord() {
  detail::Connection& c = *impl_->connection;
  if (impl_->eof) {
    c.setError(SQLITE_MISUSE, "there is no current row to delete");
    return false;
  }
  if (!impl_->deletePrepared) impl_->prepareDelete();
  if (impl_->deleteText.empty()) {
    c.setError(impl_->deleteCode, impl_->deleteProblem);
    return false;
  }
  sqlite3_stmt* del = c.cached(impl_->deleteText);
  if (!del) return false;
  int rc = SQLITE_OK;
  for (std::size_t k = 0; k < impl_->keyColumns.size() && rc == SQLITE_OK; ++k)
    rc = sqlite3_bind_value(del, static_cast<int>(k) + 1,
                            sqlite3_column_value(impl_->statement, impl_->keyColumns[k]));
  if (rc != SQLITE_OK) c.setResult(rc);
  if (rc != SQLITE_OK || !c.beginIfNeeded()) {
    sqlite3_clear_bindings(del);
    return false;
  }
  rc = sqlite3_step(del);
  c.setResult(rc);
  // A reset after a step that went well reports a failure of its own only.
  const int reset = sqlite3_reset(del);
  if (rc == SQLITE_DONE && reset != SQLITE_OK) c.setResult(rc = reset);
  sqlite3_clear_bindings(del);
  return rc == SQLITE_DONE;
}

}  // namespace framework
