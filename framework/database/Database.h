#pragma once
#include "framework/text/Date.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

struct sqlite3;
class NameIndex;
struct sqlite3_stmt;

namespace framework {

class Checkpointer;

namespace detail {
struct Connection;  // the sqlite3 handle and error state, shared by a Database and its record sets
}

// One value read from a record set: a copy, valid after the record set has moved on.
class DatabaseField {
 public:
  enum class Kind { Null, Integer, Real, Text, Boolean };

  DatabaseField() = default;
  DatabaseField(Kind kind, std::int64_t integer, double real, std::string text);

  // An integer in decimal digits, a BOOLEAN column "True" or "False", a date-time as stored,
  // no value "".
  std::string StringValue() const&;
  // The same, taking the text out of a field that is not kept.
  std::string StringValue() &&;
  std::string getString() const { return StringValue(); }
  // No value is 0; a text reads as far as it is a number.
  std::int32_t IntegerValue() const;
  // The stored "YYYY-MM-DD HH:MM:SS"; anything else gives the current moment.
  Date DateValue() const;
  bool IsNull() const { return kind_ == Kind::Null; }

 private:
  Kind kind_ = Kind::Null;
  std::int64_t integer_ = 0;
  double real_ = 0;
  std::string text_;
};

// The column (from 0) of the statement's current row as a record set's field gives it; `boolean`
// for a column declared BOOLEAN. The caller holds the connection's lock where it is shared.
DatabaseField ColumnField(sqlite3_stmt* statement, int column, bool boolean);

// The rows of one SELECT, stepped one at a time (the result is never held in memory).
class RecordSet {
 public:
  // Made by Database::SQLSelect: takes the prepared statement and steps to its first row. With
  // `lent` the statement is the connection's own cached one: it is reset and handed back (the flag
  // cleared) at the end instead of finalised.
  RecordSet(std::shared_ptr<detail::Connection> connection, sqlite3_stmt* statement,
            bool* lent = nullptr);
  ~RecordSet();
  RecordSet(const RecordSet&) = delete;
  RecordSet& operator=(const RecordSet&) = delete;

  // Before the first row: true only for an empty result, since a record set starts on its first row.
  bool Bof() const;
  // Past the last row (at once for an empty result).
  bool Eof() const;
  void MoveNext();

  // Whether the rows ended by a failure of the engine (a damaged file, an I/O error) rather than
  // by running out; the code and message of that failure. Kept apart from the database's latest
  // state, which later operations overwrite.
  bool Error() const;
  std::int32_t ErrorCode() const;
  std::string ErrorMessage() const;

  // The current row's column by name, ignoring letter case; an unknown name or no row gives no value.
  DatabaseField Field(std::string_view column) const;
  // The current row's column by position, from 1; out of range gives no value.
  DatabaseField IdxField(int index) const;

  // Removes exactly the current row from its table; MoveNext then reaches the next row of the
  // original selection. False on failure, with the database's error state telling why.
  bool DeleteRecord();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The values of one row to insert; may be filled and inserted again and again.
class DatabaseRecord {
 public:
  using Value = std::variant<std::string, std::int64_t>;

  // Setting a column again replaces its value; a column never set is not inserted.
  void Column(std::string_view name, const std::string& text);
  // Any 64-bit value is stored whole (sizes need more than 32 bits).
  void IntegerColumn(std::string_view name, std::int64_t value);
  // Stored as 1 or 0.
  void BooleanColumn(std::string_view name, bool value);
  // Stored as local-time "YYYY-MM-DD HH:MM:SS".
  void DateColumn(std::string_view name, const Date& value);

  // The columns in the order first set.
  const std::vector<std::pair<std::string, Value>>& columns() const { return columns_; }

 private:
  void set(std::string_view name, Value value);
  std::vector<std::pair<std::string, Value>> columns_;
};

// Binds `value` to the statement's parameter `index` (from 1), as the record sets bind theirs;
// `keep` is the engine's destructor argument (SQLITE_STATIC, SQLITE_TRANSIENT).
int BindValue(sqlite3_stmt* statement, int index, const DatabaseRecord::Value& value, void (*keep)(void*));

struct DatabaseProblem;

// One connection to an SQLite file (WAL journal, synchronous NORMAL).
class Database {
  struct Key {
    explicit Key() = default;
  };

 public:
  // The file read-write and ready for changes; a missing one is created. An existing file is first
  // checked without writing to it (a regular file the engine can read, not cut short).
  // Nullptr when it cannot be had, with the reason (the engine's code and message, or what is
  // wrong, in words) in `reason` when given.
  static std::shared_ptr<Database> open(const std::string& path, std::string* reason = nullptr);

  // Made by open only: no one else can name the key.
  Database(Key, std::shared_ptr<detail::Connection> connection);
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  // Nullptr when the statement fails (the error state tells why).
  std::unique_ptr<RecordSet> SQLSelect(const std::string& sql);
  // The same with the values bound to the statement's parameters in order. The statement is
  // prepared once per SQL text and reused; while a record set from it is still open, a second one
  // gets a statement of its own.
  std::unique_ptr<RecordSet> SQLSelect(const std::string& sql,
                                       const std::vector<DatabaseRecord::Value>& values);
  // Inserts the record's columns with bound values; the first change after a commit begins a
  // transaction.
  void InsertRecord(const std::string& table, const DatabaseRecord& record);
  // Opens a transaction for the changes that follow unless one is open, taking the write lock at
  // once (a locked file costs one busy wait); false when it cannot, the error state telling why.
  // Beginning before the first read of a change keeps that read from going stale under a writer.
  bool Begin();
  // Ends the open transaction; without one it is a harmless success. When the engine rolled the
  // transaction back by itself after a failure, every change fails with that failure until Commit
  // (which then fails with it) or Rollback: no part of the transaction lands.
  void Commit();
  // Undoes every change since the last commit; without an open transaction it is a harmless success.
  void Rollback();

  // The latest operation's result: success clears them.
  bool Error() const;
  std::int32_t ErrorCode() const;
  std::string ErrorMessage() const;

  // Whether the file is only read: it or its folder cannot be written.
  bool ReadOnly() const;
  // The file's full path.
  std::string FilePath() const;

  // A database from DatabaseItem writes nothing before the engine's check (quick_check) has passed
  // on its file in this run. Starts that check beside the caller unless it is under way or has
  // passed; `done` runs on the main thread when its verdict is in. A database from open is ready.
  void StartCheck(std::function<void()> done = {});
  enum class Check { Running, Whole, Ready, Damaged, Failed };
  // Where the check stands: Whole once it has passed, Ready once the file has also been made ready
  // for changes (at once for a database that needs no check).
  Check Checked() const;
  // Waits for the check's verdict (the window going on) and then makes the file ready for changes:
  // WAL journal, synchronous NORMAL, its index. The first change of a run does this by itself.
  // False, the error state telling why, when no change may go.
  bool ReadyForChanges();
  // Whether the latest operation failed because the file at the path is no longer the one open
  // (moved, deleted or replaced); the change was undone. Checked before each transaction and
  // before its commit.
  bool Moved() const;

  // Test seam: the longest text or blob the engine takes on this connection, lowered so that a
  // too-long value can be tried without building one; gives the limit before.
  int setLengthLimit(int bytes);

 private:
  friend std::shared_ptr<Database> DatabaseItem(const std::string&, DatabaseProblem*);
  friend class ::NameIndex;
  std::shared_ptr<detail::Connection> connection_;
  std::unique_ptr<Checkpointer> checkpointer_;  // for a file; stopped before the connection goes
};

// Undoes the open transaction unless Commit ended it: a change that stops early (a failure, an
// exception, a thread dropped at quit, whose stack unwinds) lands not at all. Without a database
// it does nothing.
class Transaction {
 public:
  explicit Transaction(std::shared_ptr<Database> db) : db_(std::move(db)) {}
  // Database::Begin; true without a database.
  bool Begin() { return !db_ || db_->Begin(); }
  ~Transaction() {
    if (db_ && !ended_) db_->Rollback();
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  // Database::Commit; false when it failed, with the database's error state telling why (the
  // changes are undone when the transaction is rolled back or goes out of scope).
  bool Commit() {
    if (!db_) return true;
    db_->Commit();
    ended_ = !db_->Error();
    return ended_;
  }
  void Rollback() {
    if (db_) db_->Rollback();
    ended_ = true;
  }

 private:
  std::shared_ptr<Database> db_;
  bool ended_ = false;
};

// Whether an engine result code tells of damage: a damaged file, a file that is none, or an I/O
// error. Busy and locked are no damage.
bool IsDamageCode(std::int32_t code);

// Why a database item could not be had.
struct DatabaseProblem {
  std::string path;    // the file's full path
  std::string reason;  // the engine's code and message, or what is wrong, in words
};

// What the program's database item holds: the statements that make a new file (run in one
// transaction), what keeps an existing file from being one (in words, empty when it is one; it may
// only read), and what is written before its first change, once the file has been found whole.
struct DatabaseItemSchema {
  std::vector<std::string> create;
  std::function<std::string(sqlite3*)> problem;
  std::vector<std::string> preparation;
};
// The catalogue's schema; the catalogue defines it.
const DatabaseItemSchema& CatalogueItem();

// The database item by name: "lumeno" is lumeno.sqlite in the application data folder. A missing
// file is created with its table; an existing one is used only when it is a catalogue (table
// Folder1 with its nine columns and key), checked before anything is written, so a file that is
// none is left as it is. It is read-only when it or its folder cannot be written; otherwise it
// writes nothing more before its check (StartCheck) has passed. A new connection each call; nullptr when it cannot be had, with why in
// `problem` when given.
std::shared_ptr<Database> DatabaseItem(const std::string& name, DatabaseProblem* problem = nullptr);

}  // namespace framework
