// The item provider: the catalogue file in the data folder, created on first fetch and checked to
// be a catalogue before it is used.
#include "framework/Database.h"
#include "framework/DatabaseConnection.h"
#include "framework/NameIndex.h"
#include "framework/Text.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <sqlite3.h>

#include <array>
#include <filesystem>
#include <string_view>

namespace framework {

namespace {

struct Column {
  std::string_view name, type;
};

// The table as the provider creates it; the program relies on every column and on No being the
// row's own key (an INTEGER PRIMARY KEY of a table with row ids).
constexpr std::array<Column, 9> kColumns{{{"No", "INTEGER"},
                                          {"FolNo", "INTEGER"},
                                          {"Name", "TEXT"},
                                          {"Folder", "BOOLEAN"},
                                          {"CDName", "TEXT"},
                                          {"Type", "TEXT"},
                                          {"Date", "DATETIME"},
                                          {"Time", "DATETIME"},
                                          {"Byte", "INTEGER"}}};

constexpr const char* kCreateTable =
    "CREATE TABLE Folder1 (No INTEGER PRIMARY KEY, FolNo INTEGER, Name TEXT, Folder BOOLEAN, "
    "CDName TEXT, Type TEXT, Date DATETIME, Time DATETIME, Byte INTEGER)";
// The disc list and every expansion select by FolNo.
constexpr const char* kCreateIndex = "CREATE INDEX IF NOT EXISTS Folder1_FolNo ON Folder1 (FolNo)";

// An RAII statement over the connection; its failures land in the connection's error state.
class Query {
 public:
  Query(detail::Connection& c, const char* sql) : c_(c) {
    const int rc = sqlite3_prepare_v2(c.db, sql, -1, &st_, nullptr);
    if (rc != SQLITE_OK) c.setResult(rc);
  }
  ~Query() { sqlite3_finalize(st_); }
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;

  // The next row; false at the end or on failure (then failed() tells).
  bool next() {
    if (!st_ || failed_) return false;
    const int rc = sqlite3_step(st_);
    if (rc == SQLITE_ROW) return true;
    if (rc != SQLITE_DONE) {
      c_.setResult(rc);
      failed_ = true;
    }
    return false;
  }
  bool failed() const { return !st_ || failed_; }
  std::string text(int column) const {
    const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st_, column));
    return t ? std::string(t, static_cast<std::size_t>(sqlite3_column_bytes(st_, column))) : std::string();
  }
  int integer(int column) const { return sqlite3_column_int(st_, column); }
  bool isNull(int column) const { return sqlite3_column_type(st_, column) == SQLITE_NULL; }

 private:
  detail::Connection& c_;
  sqlite3_stmt* st_ = nullptr;
  bool failed_ = false;
};

// What keeps the file from being a catalogue, in words; empty when it is one. Reads the schema
// only, so it costs the same for any number of records.
std::string catalogueProblem(detail::Connection& c) {
  const std::string table = "表 Folder1 ";
  {
    Query list(c, "SELECT type, wr FROM pragma_table_list('Folder1') WHERE schema='main'");
    if (!list.next()) return list.failed() ? c.errorText() : table + "がありません。";
    if (list.text(0) != "table") return "Folder1 が表ではありません（" + list.text(0) + "）。";
    if (list.integer(1) != 0) return table + "に行番号がありません（WITHOUT ROWID）。";
  }
  Query info(c, "SELECT name, type, \"notnull\", dflt_value, pk FROM pragma_table_info('Folder1')");
  std::array<bool, kColumns.size()> seen{};
  while (info.next()) {
    const std::string name = info.text(0), type = info.text(1);
    std::size_t i = 0;
    while (i < kColumns.size() && !detail::sameName(kColumns[i].name, name)) ++i;
    if (i == kColumns.size()) return table + "に余分な列 " + name + " があります。";
    seen[i] = true;
    const Column& want = kColumns[i];
    if (!detail::sameName(type, want.type))
      return table + "の列 " + name + " が " + std::string(want.type) + " ではなく " +
             (type.empty() ? "型なし" : type) + " です。";
    if (info.integer(2) != 0 || !info.isNull(3))
      return table + "の列 " + name + " に制約（NOT NULL または既定値）があります。";
    if ((info.integer(4) != 0) != (i == 0))
      return table + "の主キーが No（INTEGER PRIMARY KEY）だけではありません。";
  }
  if (info.failed()) return c.errorText();
  for (std::size_t i = 0; i < kColumns.size(); ++i)
    if (!seen[i]) return table + "に列 " + std::string(kColumns[i].name) + " がありません。";
  return {};
}

// Runs the statements in one transaction, so a new file gains all of its table or none.
bool runAll(detail::Connection& c, std::initializer_list<const char*> statements, std::string& reason) {
  bool ok = c.runCached("BEGIN") == SQLITE_OK;
  for (const char* sql : statements) {
    if (!ok) break;
    ok = c.runCached(sql) == SQLITE_OK;
  }
  if (ok) ok = c.runCached("COMMIT") == SQLITE_OK;
  if (ok) return true;
  reason = c.errorText();
  if (!sqlite3_get_autocommit(c.db)) c.runCached("ROLLBACK");
  return false;
}

}  // namespace

std::shared_ptr<Database> DatabaseItem(const std::string& name, DatabaseProblem* problem) {
  if (!textEquals(name, "lumeno")) return nullptr;
  DatabaseProblem why;
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
  why.path = QFile::encodeName(QDir(folder).filePath(QStringLiteral("lumeno.sqlite"))).toStdString();
  auto fail = [&](std::string reason) -> std::shared_ptr<Database> {
    if (problem) *problem = {why.path, std::move(reason)};
    return nullptr;
  };
  if (folder.isEmpty()) return fail("データフォルダがありません。");
  const std::string folderPath = QFile::encodeName(folder).toStdString();
  std::error_code ec;
  if (std::filesystem::exists(folderPath, ec) && !std::filesystem::is_directory(folderPath, ec))
    return fail("データフォルダ「" + folderPath + "」がフォルダではなくファイルです。");
  std::filesystem::create_directories(folderPath, ec);
  if (ec) return fail("データフォルダ「" + folderPath + "」を作れません（" + ec.message() + "）。");

  bool created = false;
  std::string reason;
  auto connection = detail::connect(why.path, created, reason);
  if (!connection) return fail(reason);
  if (created) {
    // A rollback journal makes the new table land whole; the journal mode changes afterwards.
    if (!runAll(*connection, {kCreateTable, kCreateIndex}, reason)) return fail(reason);
  } else if (reason = catalogueProblem(*connection); !reason.empty()) {
    return fail(reason);
  }
  // Whatever else is written waits for the engine's check: writing into a damaged file can spread
  // the damage. A catalogue made before the index came gets it then, and loses what earlier
  // versions kept of the name index inside it (the index lives in a file of its own).
  connection->prepared = false;
  connection->preparation = {kCreateIndex};
  for (const char* sql : NameIndex::kDropFromCatalogue) connection->preparation.emplace_back(sql);
  return std::make_shared<Database>(Database::Key{}, std::move(connection));
}

}  // namespace framework
