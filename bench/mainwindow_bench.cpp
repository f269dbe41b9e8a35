// The main window over a catalogue of a million records: a search with about 100 hits and the
// expansion of a folder of 100,000 children, each against a plain SQLite query of the same rows
// over the same file, and the time to open the window until the disc rows are listed.
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "app/MenuBar1.h"
#include "app/Window1.h"
#include "catalogue/Module1.h"
#include "catalogue/NameIndex.h"
#include "catalogue/NameIndexing.h"
#include "framework/database/Database.h"
#include "framework/windows/Window.h"

namespace {

// MAINWINDOW_BENCH_DIVISOR=N cuts the catalogue N-fold, for a run under a profiler.
int divisor() {
  const int n = qEnvironmentVariableIntValue("MAINWINDOW_BENCH_DIVISOR");
  return n > 0 ? n : 1;
}
const int kRecords = 1'000'000 / divisor();
constexpr int kDiscs = 4;
const int kBigChildren = 100'000 / divisor();
constexpr int kHits = 100;
constexpr int kMaxDepth = 8;

double seconds(const std::function<void()>& f) {
  auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Best of a few runs, so a cold page cache or a stray pause does not decide the figure.
double best(int runs, const std::function<void()>& f) {
  double b = 1e9;
  for (int i = 0; i < runs; ++i) b = std::min(b, seconds(f));
  return b;
}

void check(int rc, sqlite3* db, const char* what) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
    std::fprintf(stderr, "%s: %s\n", what, sqlite3_errmsg(db));
    std::exit(1);
  }
}

// Every record its own moment, a second apart: the worst case for anything that reads a date once
// for many rows.
std::string dateText(int i) {
  const int days = i / 86400, secs = i % 86400;
  char buf[32];
  std::snprintf(buf, sizeof buf, "2023-%02d-%02d %02d:%02d:%02d", 1 + days / 28 % 12,
                1 + days % 28, secs / 3600, secs / 60 % 60, secs % 60);
  return buf;
}

// Discs 1..4; folder "Big" (number 5) under the first disc holds 100,000 files; the rest is a random
// tree up to depth 8, of which every (n/100)th name holds "needle". Gives the number of "Big".
int generate(const std::string& path) {
  sqlite3* db = nullptr;
  check(sqlite3_open(path.c_str(), &db), db, "open");
  check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db, "begin");
  sqlite3_stmt* ins = nullptr;
  check(sqlite3_prepare_v2(db,
                           "INSERT INTO Folder1 (No, FolNo, Name, Folder, CDName, Type, Date, Time, "
                           "Byte) VALUES (?,?,?,?,?,?,?,?,?)",
                           -1, &ins, nullptr),
        db, "prepare");
  auto put = [&](int no, int parent, const std::string& name, bool folder, const std::string& disc,
                 const char* type, int byte) {
    const std::string when = dateText(no);
    sqlite3_bind_int(ins, 1, no);
    sqlite3_bind_int(ins, 2, parent);
    sqlite3_bind_text(ins, 3, name.c_str(), -1, SQLITE_TRANSIENT);
    if (folder) {
      sqlite3_bind_int(ins, 4, 1);
    } else {
      sqlite3_bind_null(ins, 4);
    }
    sqlite3_bind_text(ins, 5, disc.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(ins, 6, type, -1, SQLITE_STATIC);
    sqlite3_bind_text(ins, 7, when.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(ins, 8, when.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int(ins, 9, byte);
    check(sqlite3_step(ins), db, "insert");
    sqlite3_reset(ins);
  };

  std::mt19937 rng(42);
  struct Folder {
    int no, depth, disc;
  };
  std::vector<Folder> folders;
  int no = 0;
  for (int d = 1; d <= kDiscs; ++d) {
    put(++no, 0, "Disc" + std::to_string(d), true, "Disc" + std::to_string(d), "ディスク", 0);
    folders.push_back({no, 0, d});
  }
  const int big = ++no;
  put(big, 1, "Big", true, "Disc1", "フォルダ", 0);
  for (int i = 0; i < kBigChildren; ++i)
    put(++no, big, "bigfile_" + std::to_string(i) + ".dat", false, "Disc1", "書類", i);

  const int rest = kRecords - no;
  const int hitEvery = rest / kHits;
  int made = 0;
  while (no < kRecords) {
    const Folder parent = folders[rng() % folders.size()];
    const bool folder = parent.depth < kMaxDepth - 1 && rng() % 10 == 0;
    ++no;
    ++made;
    std::string name = (folder ? "dir_" : "file_") + std::to_string(no);
    if (made % hitEvery == 0 && made / hitEvery <= kHits) name += "_needle";
    const std::string disc = "Disc" + std::to_string(parent.disc);
    put(no, parent.no, name, folder, disc, folder ? "フォルダ" : "書類", no % 100000);
    if (folder) folders.push_back({no, parent.depth + 1, parent.disc});
  }
  sqlite3_finalize(ins);
  check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
  sqlite3_close(db);
  return big;
}

// Where the plain query leaves what it read, so that the compiler cannot skip copying the texts.
volatile std::size_t g_sink = 0;

// Steps through a query's rows reading every column as the window's routines do; gives the rows.
int plainQuery(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  check(sqlite3_open(path.c_str(), &db), db, "open");
  sqlite3_stmt* st = nullptr;
  check(sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr), db, "prepare");
  int rows = 0;
  std::size_t bytes = 0;
  while (sqlite3_step(st) == SQLITE_ROW) {
    for (int c = 0; c < sqlite3_column_count(st); ++c) {
      const unsigned char* t = sqlite3_column_text(st, c);
      if (t) bytes += std::string(reinterpret_cast<const char*>(t)).size();
    }
    ++rows;
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
  g_sink = bytes;
  return rows;
}

void line(const char* name, double ours, double plain, double target) {
  std::printf("%s: %.3f s vs plain %.3f s, ratio %.2f (target: <= %.1f)\n", name, ours, plain,
              ours / plain, target);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir root;
  const QString data = QDir(root.path()).filePath("data");
  const QString config = QDir(root.path()).filePath("config");
  QDir().mkpath(data);
  QDir().mkpath(config);
  qputenv("XDG_DATA_HOME", data.toUtf8());
  qputenv("XDG_CONFIG_HOME", config.toUtf8());
  QApplication app(argc, argv);
  QApplication::setApplicationName("lumeno");

  // The framework's item makes the file and its table, made ready for changes as a run of the
  // program leaves it; the records go in with plain SQLite.
  if (auto made = framework::DatabaseItem("lumeno"); !made || !made->ReadyForChanges()) {
    std::fprintf(stderr, "no catalogue database\n");
    return 1;
  }
  const std::string file = QDir(data).filePath("lumeno/lumeno.sqlite").toStdString();
  double genTime = 0;
  int big = 0;
  genTime = seconds([&] { big = generate(file); });
  std::printf("generate_1m_records: %.2f s (target: none, set-up)\n", genTime);

  // Opening: until the disc rows are listed.
  Window1* window = nullptr;
  const double openTime = seconds([&] { window = &Window1::instance(); });
  std::printf("open_main_window_1m: %.3f s, %d disc rows (target: none, reported)\n", openTime,
              window->CDList().ListCount());
  // The search below is that of an index that has caught up.
  while (!NameIndexing::Idle()) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);

  // Search.
  const std::string likeSql = "SELECT * FROM Folder1 WHERE Name LIKE '%needle%'";
  int plainHits = 0;
  plainQuery(file, likeSql);  // warms the page cache for both sides
  const double plainSearch = best(3, [&] { plainHits = plainQuery(file, likeSql); });
  window->TextField1().setText("needle");
  const double ourSearch = best(3, [&] { window->KensakuButton().Push(); });
  const int ourHits = window->SearchList().ListCount();
  std::printf("search_100_hits_1m_rows: %d rows (target: = plain %d)\n", ourHits, plainHits);
  line("search_100_hits_1m", ourSearch, plainSearch, 1.5);

  // Expansion of "Big": the first disc row is expanded once; "Big" is its first child with rows.
  framework::Listbox& list = window->CDList();
  int disc1 = -1;
  for (int r = 0; r < list.ListCount(); ++r)
    if (list.Cell(r, 4) == "1") disc1 = r;
  list.setExpanded(disc1, true);
  int bigRow = -1;
  for (int r = 0; r < list.ListCount(); ++r)
    if (list.Cell(r, 4) == std::to_string(big)) bigRow = r;
  const std::string childSql = "SELECT * FROM Folder1 WHERE FolNo=" + std::to_string(big);
  int plainChildren = 0;
  plainQuery(file, childSql);
  const double plainExpand = best(3, [&] { plainChildren = plainQuery(file, childSql); });
  int ourChildren = 0;
  double ourExpand = 1e9;
  for (int run = 0; run < 3; ++run) {
    list.setExpanded(bigRow, false);
    const int before = list.ListCount();
    ourExpand = std::min(ourExpand, seconds([&] { list.setExpanded(bigRow, true); }));
    ourChildren = list.ListCount() - before;
  }
  std::printf("expand_100k_children_1m_rows: %d rows (target: = plain %d)\n", ourChildren, plainChildren);
  line("expand_100k_children_1m", ourExpand, plainExpand, 3.0);

  framework::DestroyAllWindows();
  Module1::Release();
  MenuBar1::release();
  return 0;
}
