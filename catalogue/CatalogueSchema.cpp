// The catalogue as a database item: table Folder1 with its nine columns, the FolNo index the disc
// list and every expansion select by, and the check that an existing file is a catalogue.
#include <sqlite3.h>

#include <array>
#include <string>
#include <string_view>

#include "catalogue/NameIndex.h"
#include "framework/database/Database.h"

namespace {

struct Column {
  std::string_view name, type;
};

// The program relies on every column and on No being the row's own key (an INTEGER PRIMARY KEY of
// a table with row ids).
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
constexpr const char* kCreateIndex = "CREATE INDEX IF NOT EXISTS Folder1_FolNo ON Folder1 (FolNo)";

// SQL names compare as the engine compares them: ASCII letters without case, all else exactly.
bool sameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && sqlite3_strnicmp(a.data(), b.data(), static_cast<int>(a.size())) == 0;
}

// One statement of the check; a failure to prepare or step is kept as the engine's code and message.
class Query {
 public:
  Query(sqlite3* db, const char* sql) : db_(db) {
    if (sqlite3_prepare_v2(db, sql, -1, &st_, nullptr) != SQLITE_OK) failed_ = true;
  }
  ~Query() { sqlite3_finalize(st_); }
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;

  // The next row; false at the end or on failure (then failed() tells).
  bool next() {
    if (failed_) return false;
    const int rc = sqlite3_step(st_);
    if (rc == SQLITE_ROW) return true;
    failed_ = rc != SQLITE_DONE;
    return false;
  }
  bool failed() const { return failed_; }
  std::string error() const { return std::to_string(sqlite3_errcode(db_) & 0xff) + " " + sqlite3_errmsg(db_); }
  std::string text(int column) const {
    const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st_, column));
    return t ? std::string(t, static_cast<std::size_t>(sqlite3_column_bytes(st_, column))) : std::string();
  }
  int integer(int column) const { return sqlite3_column_int(st_, column); }
  bool isNull(int column) const { return sqlite3_column_type(st_, column) == SQLITE_NULL; }

 private:
  sqlite3* db_;
  sqlite3_stmt* st_ = nullptr;
  bool failed_ = false;
};

// What keeps the file from being a catalogue, in words; empty when it is one. Reads the schema
// only, so it costs the same for any number of records.
std::string catalogueProblem(sqlite3* db) {
  const std::string table = "表 Folder1 ";
  {
    Query list(db, "SELECT type, wr FROM pragma_table_list('Folder1') WHERE schema='main'");
    if (!list.next()) return list.failed() ? list.error() : table + "がありません。";
    if (list.text(0) != "table") return "Folder1 が表ではありません（" + list.text(0) + "）。";
    if (list.integer(1) != 0) return table + "に行番号がありません（WITHOUT ROWID）。";
  }
  Query info(db, "SELECT name, type, \"notnull\", dflt_value, pk FROM pragma_table_info('Folder1')");
  std::array<bool, kColumns.size()> seen{};
  while (info.next()) {
    const std::string name = info.text(0), type = info.text(1);
    std::size_t i = 0;
    while (i < kColumns.size() && !sameName(kColumns[i].name, name)) ++i;
    if (i == kColumns.size()) return table + "に余分な列 " + name + " があります。";
    seen[i] = true;
    const Column& want = kColumns[i];
    if (!sameName(type, want.type))
      return table + "の列 " + name + " が " + std::string(want.type) + " ではなく " +
             (type.empty() ? "型なし" : type) + " です。";
    if (info.integer(2) != 0 || !info.isNull(3))
      return table + "の列 " + name + " に制約（NOT NULL または既定値）があります。";
    if ((info.integer(4) != 0) != (i == 0))
      return table + "の主キーが No（INTEGER PRIMARY KEY）だけではありません。";
  }
  if (info.failed()) return info.error();
  for (std::size_t i = 0; i < kColumns.size(); ++i)
    if (!seen[i]) return table + "に列 " + std::string(kColumns[i].name) + " がありません。";
  return {};
}

}  // namespace

const framework::DatabaseItemSchema& framework::CatalogueItem() {
  static const DatabaseItemSchema schema = [] {
    DatabaseItemSchema s;
    s.create = {kCreateTable, kCreateIndex};
    s.problem = catalogueProblem;
    // A catalogue made before the FolNo index came gets it before its first change, and loses what
    // earlier versions kept of the name index inside it (the index lives in a file of its own).
    s.preparation = {kCreateIndex};
    for (const char* sql : NameIndex::kDropFromCatalogue) s.preparation.emplace_back(sql);
    return s;
  }();
  return schema;
}
