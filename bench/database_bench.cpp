// The database service against plain SQLite: 100,000 single-record commits of catalogue-shaped rows,
// and the memory that stepping a record set over a million rows takes.
#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <string>

#include "framework/database/Database.h"

namespace {

constexpr int kInserts = 100'000;
constexpr int kSteppedRows = 1'000'000;

const char* const kSchema =
    "CREATE TABLE IF NOT EXISTS Folder1 (No INTEGER PRIMARY KEY, FolNo INTEGER, Name TEXT, "
    "Folder BOOLEAN, CDName TEXT, Type TEXT, Date DATETIME, Time DATETIME, Byte INTEGER);"
    "CREATE INDEX IF NOT EXISTS Folder1_FolNo ON Folder1 (FolNo)";

double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// A row as a read makes it: every tenth record a folder, the others files.
struct Row {
  int no;
  int folNo;
  std::string name;
  bool folder;
  std::string type;
  int byte;
};

Row row(int no) {
  const bool folder = no % 10 == 1;
  return {no, no <= 1 ? 0 : (no - 1) / 10 * 10 + 1, "ファイル名 " + std::to_string(no) + ".txt",
          folder, folder ? "フォルダ" : "テキスト書類", no * 37};
}

bool makeSchema(const std::string& path) {
  auto db = framework::Database::open(path);
  if (!db) return false;
  sqlite3* raw = nullptr;
  sqlite3_open(path.c_str(), &raw);
  const bool ok = sqlite3_exec(raw, kSchema, nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_close(raw);
  return ok;
}

double serviceInserts(const std::string& path) {
  auto db = framework::Database::open(path);
  const framework::Date when;
  const auto start = std::chrono::steady_clock::now();
  for (int no = 1; no <= kInserts; ++no) {
    const Row r = row(no);
    framework::DatabaseRecord rec;
    rec.IntegerColumn("No", r.no);
    rec.IntegerColumn("FolNo", r.folNo);
    rec.Column("Name", r.name);
    if (r.folder) rec.BooleanColumn("Folder", true);
    rec.Column("CDName", "ディスク一");
    rec.Column("Type", r.type);
    rec.DateColumn("Date", when);
    rec.DateColumn("Time", when);
    rec.IntegerColumn("Byte", r.byte);
    db->InsertRecord("Folder1", rec);
    if (db->Error()) std::fprintf(stderr, "insert failed: %s\n", db->ErrorMessage().c_str());
    db->Commit();
  }
  return seconds(start);
}

double plainInserts(const std::string& path) {
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
  sqlite3_stmt *begin, *insert, *commit;
  sqlite3_prepare_v2(db, "BEGIN", -1, &begin, nullptr);
  sqlite3_prepare_v2(db, "COMMIT", -1, &commit, nullptr);
  sqlite3_prepare_v2(db,
                     "INSERT INTO Folder1 (No, FolNo, Name, Folder, CDName, Type, Date, Time, Byte) "
                     "VALUES (?,?,?,?,?,?,?,?,?)",
                     -1, &insert, nullptr);
  const std::string when = framework::Date().SQLDateTime();
  const auto start = std::chrono::steady_clock::now();
  for (int no = 1; no <= kInserts; ++no) {
    const Row r = row(no);
    sqlite3_step(begin);
    sqlite3_reset(begin);
    sqlite3_bind_int(insert, 1, r.no);
    sqlite3_bind_int(insert, 2, r.folNo);
    sqlite3_bind_text(insert, 3, r.name.c_str(), -1, SQLITE_TRANSIENT);
    if (r.folder)
      sqlite3_bind_int(insert, 4, 1);
    else
      sqlite3_bind_null(insert, 4);
    sqlite3_bind_text(insert, 5, "ディスク一", -1, SQLITE_STATIC);
    sqlite3_bind_text(insert, 6, r.type.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(insert, 7, when.c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_text(insert, 8, when.c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_int(insert, 9, r.byte);
    if (sqlite3_step(insert) != SQLITE_DONE) std::fprintf(stderr, "insert failed: %s\n", sqlite3_errmsg(db));
    sqlite3_reset(insert);
    sqlite3_step(commit);
    sqlite3_reset(commit);
  }
  const double took = seconds(start);
  sqlite3_finalize(begin);
  sqlite3_finalize(insert);
  sqlite3_finalize(commit);
  sqlite3_close(db);
  return took;
}

long statusKb(const char* key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::string prefix = std::string(key) + ":";
  while (std::getline(status, line))
    if (line.rfind(prefix, 0) == 0) return std::stol(line.substr(prefix.size()));
  return -1;
}

void stepMillion(const std::string& path) {
  {
    auto db = framework::Database::open(path);
    const framework::Date when;
    for (int no = 1; no <= kSteppedRows; ++no) {
      const Row r = row(no);
      framework::DatabaseRecord rec;
      rec.IntegerColumn("No", r.no);
      rec.IntegerColumn("FolNo", r.folNo);
      rec.Column("Name", r.name);
      rec.Column("Type", r.type);
      rec.DateColumn("Date", when);
      rec.IntegerColumn("Byte", r.byte);
      db->InsertRecord("Folder1", rec);
    }
    db->Commit();
  }
  auto db = framework::Database::open(path);
  // Start the peak afresh, so only the stepping counts (the kernel resets VmHWM on "5").
  std::ofstream("/proc/self/clear_refs") << "5";
  const long before = statusKb("VmHWM");
  const auto start = std::chrono::steady_clock::now();
  auto rs = db->SQLSelect("SELECT * FROM Folder1");
  long rows = 0, bytes = 0;
  while (rs && !rs->Eof()) {
    bytes += static_cast<long>(rs->Field("Name").StringValue().size()) + rs->Field("Byte").IntegerValue() % 2;
    ++rows;
    rs->MoveNext();
  }
  const double took = seconds(start);
  const long after = statusKb("VmHWM");
  std::printf("recordset_step_1m_rows: %ld rows in %.2f s (%ld name bytes)\n", rows, took, bytes);
  std::printf("recordset_step_1m_peak_rss_growth: %.1f MB (target: flat)\n", (after - before) / 1024.0);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QTemporaryDir dir;
  const auto file = [&](const std::string& name) {
    const std::string path = QDir(dir.path()).filePath(QString::fromStdString(name)).toStdString();
    if (!makeSchema(path)) {
      std::fprintf(stderr, "cannot create %s\n", path.c_str());
      std::exit(1);
    }
    return path;
  };
  // Turns alternate and the best of each counts, so the disk's moods touch both sides alike.
  double plainTime = 1e9, serviceTime = 1e9;
  for (int round = 0; round < 2; ++round) {
    plainTime = std::min(plainTime, plainInserts(file("plain" + std::to_string(round) + ".sqlite")));
    serviceTime =
        std::min(serviceTime, serviceInserts(file("service" + std::to_string(round) + ".sqlite")));
  }
  const std::string big = file("big.sqlite");
  std::printf("db_insert_commit_100k: %.2f s vs plain %.2f s, ratio %.2f (target: <= 1.2)\n",
              serviceTime, plainTime, serviceTime / plainTime);
  stepMillion(big);
  return 0;
}
