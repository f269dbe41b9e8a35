// The catalogue's opening as the program starts it (the item fetched and checked, the highest
// number, the disc rows) over a large catalogue, with the file out of the page cache. The checks
// read the schema only, so the time must not grow with the records. Then the engine's check of the
// whole file that runs beside the window before the first change, against its floor: reading the
// file's bytes once. STORE_BENCH_RECORDS sets the numbers of records, separated by commas
// (1,000,000 and 10,000,000 unless given).
#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "framework/database/Database.h"

namespace {

const char* const kSchema =
    "PRAGMA journal_mode=WAL;"
    "CREATE TABLE Folder1 (No INTEGER PRIMARY KEY, FolNo INTEGER, Name TEXT, Folder BOOLEAN, "
    "CDName TEXT, Type TEXT, Date DATETIME, Time DATETIME, Byte INTEGER);"
    "CREATE INDEX Folder1_FolNo ON Folder1 (FolNo)";

// Discs of 100,000 records each: a disc record, then its files below it.
bool makeCatalogue(const std::string& path, long records) {
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) return false;
  bool ok = sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr) == SQLITE_OK &&
            sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_stmt* st = nullptr;
  ok = ok && sqlite3_prepare_v2(db,
                                "INSERT INTO Folder1 VALUES (?1, ?2, ?3, ?4, ?5, ?6, "
                                "'2024-01-02 03:04:05', '2024-01-02 03:04:05', ?7)",
                                -1, &st, nullptr) == SQLITE_OK;
  long disc = 0;
  for (long no = 1; ok && no <= records; ++no) {
    const bool isDisc = (no - 1) % 100'000 == 0;
    if (isDisc) disc = no;
    const std::string name = isDisc ? "ディスク " + std::to_string(no) : "ファイル " + std::to_string(no) + ".txt";
    sqlite3_bind_int64(st, 1, no);
    sqlite3_bind_int64(st, 2, isDisc ? 0 : disc);
    sqlite3_bind_text(st, 3, name.c_str(), -1, SQLITE_TRANSIENT);
    if (isDisc) sqlite3_bind_int(st, 4, 1); else sqlite3_bind_null(st, 4);
    sqlite3_bind_text(st, 5, "ディスク", -1, SQLITE_STATIC);
    sqlite3_bind_text(st, 6, isDisc ? "ディスク" : "テキスト書類", -1, SQLITE_STATIC);
    sqlite3_bind_int64(st, 7, no * 37);
    ok = sqlite3_step(st) == SQLITE_DONE;
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  ok = ok && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_close(db);
  return ok;
}

void dropFromCache(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return;
  ::fdatasync(fd);
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  ::close(fd);
}

double msSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// Every byte of the file read once from the disk: what no check of it can beat.
double readWhole(const std::string& path) {
  dropFromCache(path);
  const auto start = std::chrono::steady_clock::now();
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return -1;
  std::vector<char> buffer(1 << 20);
  while (::read(fd, buffer.data(), buffer.size()) > 0) {
  }
  ::close(fd);
  return msSince(start);
}

int measure(const std::string& folder, long records) {
  const std::string path = folder + "/lumeno.sqlite";
  for (const char* end : {"", "-wal", "-shm"}) std::filesystem::remove(path + end);
  if (!makeCatalogue(path, records)) {
    std::fprintf(stderr, "store_bench: cannot make the catalogue\n");
    return 1;
  }
  dropFromCache(path);

  auto start = std::chrono::steady_clock::now();
  framework::DatabaseProblem problem;
  auto db = framework::DatabaseItem("lumeno", &problem);
  if (!db) {
    std::fprintf(stderr, "store_bench: %s\n", problem.reason.c_str());
    return 1;
  }
  auto max = db->SQLSelect("SELECT MAX(No) FROM Folder1");
  long discs = 0;
  for (auto rs = db->SQLSelect("SELECT * FROM Folder1 WHERE FolNo=0"); rs && !rs->Eof(); rs->MoveNext()) ++discs;
  const double opening = msSince(start);
  const std::string highest = max ? max->IdxField(1).StringValue() : "?";
  max.reset();

  dropFromCache(path);
  start = std::chrono::steady_clock::now();
  db->StartCheck();
  const bool ready = db->ReadyForChanges();
  const double check = msSince(start);
  db.reset();
  const double floor = readWhole(path);
  std::printf("store: opening a catalogue of %ld records (%ld discs, highest No %s): %.1f ms\n", records, discs,
              highest.c_str(), opening);
  std::printf("store: check before the first change, %ld records (%.0f MB): %.1f ms%s; reading the file once: "
              "%.1f ms (ratio %.2f)\n",
              records, std::filesystem::file_size(path) / 1e6, check, ready ? "" : " (FAILED)", floor,
              floor > 0 ? check / floor : 0.0);
  return ready ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  QTemporaryDir root;
  qputenv("XDG_DATA_HOME", root.path().toUtf8());
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName("lumeno");
  const char* given = std::getenv("STORE_BENCH_RECORDS");
  std::stringstream sizes(given ? given : "1000000,10000000");

  const QString folder = QDir(root.path()).filePath("lumeno");
  QDir().mkpath(folder);
  for (std::string size; std::getline(sizes, size, ',');)
    if (const int failed = measure(folder.toStdString(), std::atol(size.c_str()))) return failed;
  return 0;
}
