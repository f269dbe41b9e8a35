// Deletion, import and a one-letter search through the real main window, each against its floor in
// the same run: the plain DELETE of the same rows, the same rows inserted in one transaction, the
// plain LIKE count. For each: click to done (the last row shown for the search), click to idle (no
// thread left and the name index caught up), the longest stall seen by a 1 ms timer of the
// window's own thread, the peak growth of resident memory. Median of three runs.
//
// OPERATIONS_BENCH_SIZES: disc sizes for deletion and import ("200000,1000000" by default).
// OPERATIONS_BENCH_SEARCH: catalogue size for the search ("10000000" by default).
// OPERATIONS_BENCH_ONLY: some of "delete,import,search,first"; OPERATIONS_BENCH_TRACE: every gap over 15 ms.
// "first" is 削除 clicked as soon as the window shows a catalogue that an earlier version left in a
// rollback journal: the change waits for the file's check and for the file to be made ready.
// Run under Xvfb (QT_QPA_PLATFORM=xcb) to count the view's own memory; offscreen hides it.
// Generated catalogues are kept in LUMENO_BENCH_DATA between runs.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "app/MenuBar1.h"
#include "app/Window1.h"
#include "app/Window3.h"
#include "catalogue/Module1.h"
#include "catalogue/NameIndexBuild.h"
#include "catalogue/NameIndexing.h"
#include "framework/database/Database.h"
#include "framework/files/SpecialFolder.h"
#include "framework/threads/Thread.h"
#include "framework/windows/Dialogs.h"
#include "framework/windows/Window.h"
#include "support/BenchApplication.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr const char* kVersion = "ops-v4";
constexpr long kDiscRecords = 1'000'000;  // a large disc; the search catalogue holds several
const std::string kTarget = "Target";

double since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

void check(int rc, sqlite3* db, const char* what) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
    std::fprintf(stderr, "%s: %s\n", what, sqlite3_errmsg(db));
    std::exit(1);
  }
}

void exec(sqlite3* db, const std::string& sql) { check(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), db, sql.c_str()); }

long statusKiB(const char* key) {
  std::ifstream status("/proc/self/status");
  std::string word;
  long value = 0;
  while (status >> word)
    if (word == key) {
      status >> value;
      return value;
    }
  return 0;
}

// Resets the peak of resident memory, so that VmHWM afterwards is the peak of what follows.
void resetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

// One record of a disc as real discs have them: about 20 entries a folder, 5% folders, files at
// depth 5 to 8, a fifth of the names Japanese.
struct Record {
  long no, folNo;
  std::string name;
  bool folder;
  std::string disc, type;
  long bytes;
};

class DiscShape {
 public:
  explicit DiscShape(unsigned seed) : rng_(seed) {}
  // Calls `put` for every record of a disc of `count` records numbered from `first`, depth first.
  void disc(const std::string& name, long first, long count, const std::function<void(const Record&)>& put) {
    long no = first;
    const long end = first + count;
    put({no, 0, name, true, name, "ディスク", 0});
    const long root = no++;
    std::function<void(long, int, int)> fill = [&](long parent, int depth, int maxDepth) {
      const int entries = 15 + static_cast<int>(rng_() % 11);
      for (int e = 0; e < entries && no < end; ++e) {
        if (depth < maxDepth && rng_() % 20 == 0) {
          const long self = no++;
          put({self, parent, folderName(), true, name, "フォルダ", 0});
          fill(self, depth + 1, maxDepth);
        } else {
          put({no++, parent, fileName(), false, name, "書類", static_cast<long>(rng_() % 5'000'000)});
        }
      }
    };
    // The first levels are mostly folders, so that the files lie 5 to 8 levels down.
    while (no < end) {
      const long top = no++;
      put({top, root, folderName(), true, name, "フォルダ", 0});
      std::function<void(long, int)> spine = [&](long parent, int depth) {
        const int maxDepth = 5 + static_cast<int>(rng_() % 4);
        if (depth >= 3) return fill(parent, depth, maxDepth);
        for (int i = 0; i < 4 && no < end; ++i) {
          const long self = no++;
          put({self, parent, folderName(), true, name, "フォルダ", 0});
          spine(self, depth + 1);
        }
      };
      spine(top, 1);
    }
  }

 private:
  std::string fileName() {
    const unsigned n = rng_() % 100000;
    switch (rng_() % 10) {
      case 0: case 1: return "IMG_" + std::to_string(n) + ".JPG";
      case 2: return "report_" + std::to_string(n) + ".docx";
      case 3: return "track " + std::to_string(n % 100) + " - song" + std::to_string(n) + ".mp3";
      case 4: return "写真_" + std::to_string(n) + ".jpg";
      case 5: return "資料" + std::to_string(n) + ".pdf";
      case 6: return "data-" + std::to_string(n) + ".txt";
      case 7: return "DSC" + std::to_string(n) + ".RAW";
      default: return "Movie" + std::to_string(n) + ".avi";
    }
  }
  std::string folderName() {
    const unsigned n = rng_() % 10000;
    switch (rng_() % 5) {
      case 0: return "Folder " + std::to_string(n);
      case 1: return "20" + std::to_string(10 + n % 15) + "-" + std::to_string(1 + n % 12);
      case 2: return "プロジェクト" + std::to_string(n);
      case 3: return "Backup_" + std::to_string(n);
      default: return "Photos " + std::to_string(n);
    }
  }
  std::mt19937 rng_;
};

class Inserter {
 public:
  explicit Inserter(sqlite3* db) : db_(db) {
    check(sqlite3_prepare_v2(db,
                             "INSERT INTO Folder1 (No, FolNo, Name, Folder, CDName, Type, Date, Time, Byte) "
                             "VALUES (?,?,?,?,?,?,'2023-04-05 06:07:08','2023-04-05 06:07:08',?)",
                             -1, &st_, nullptr),
          db, "prepare");
  }
  ~Inserter() { sqlite3_finalize(st_); }
  void operator()(const Record& r) {
    sqlite3_bind_int64(st_, 1, r.no);
    sqlite3_bind_int64(st_, 2, r.folNo);
    sqlite3_bind_text(st_, 3, r.name.data(), static_cast<int>(r.name.size()), SQLITE_STATIC);
    if (r.folder) sqlite3_bind_int(st_, 4, 1); else sqlite3_bind_int(st_, 4, 0);
    sqlite3_bind_text(st_, 5, r.disc.data(), static_cast<int>(r.disc.size()), SQLITE_STATIC);
    sqlite3_bind_text(st_, 6, r.type.data(), static_cast<int>(r.type.size()), SQLITE_STATIC);
    sqlite3_bind_int64(st_, 7, r.bytes);
    check(sqlite3_step(st_), db_, "insert");
    sqlite3_reset(st_);
  }

 private:
  sqlite3* db_;
  sqlite3_stmt* st_ = nullptr;
};

sqlite3* openPlain(const std::string& path) {
  sqlite3* db = nullptr;
  check(sqlite3_open(path.c_str(), &db), db, "open");
  exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL");
  return db;
}

// An empty catalogue as the program makes it, in `dataHome`; gives the file's path.
std::string emptyCatalogue(const QString& dataHome) {
  qputenv("XDG_DATA_HOME", dataHome.toUtf8());
  if (!framework::DatabaseItem("lumeno")) {
    std::fprintf(stderr, "no catalogue database\n");
    std::exit(1);
  }
  return QDir(dataHome).filePath("lumeno/lumeno.sqlite").toStdString();
}

void waitUntil(const std::function<bool()>& done);

// A kept catalogue of the discs `sizes` (the first named Target, the others Disc n), its name index
// complete; generated unless kept from before. Gives its data folder.
QString catalogue(const std::string& key, const std::vector<long>& sizes) {
  const QString dir = QDir(QStringLiteral(LUMENO_BENCH_DATA)).filePath(QString("%1-%2").arg(kVersion).arg(key.c_str()));
  const QString done = QDir(dir).filePath("done");
  if (QFileInfo::exists(done)) return dir;
  QDir(dir).removeRecursively();
  QDir().mkpath(dir);
  const auto t0 = Clock::now();
  sqlite3* db = openPlain(emptyCatalogue(dir));
  {
    exec(db, "BEGIN");
    Inserter put(db);
    DiscShape shape(11);
    long next = 1;
    for (std::size_t d = 0; d < sizes.size(); ++d) {
      shape.disc(d == 0 ? kTarget : "Disc " + std::to_string(d), next, sizes[d], std::ref(put));
      next += sizes[d];
    }
  }
  exec(db, "COMMIT; PRAGMA wal_checkpoint(TRUNCATE)");
  sqlite3_close(db);
  {
    // The name index's file is kept beside it, complete, as a run of the program leaves it.
    auto item = framework::DatabaseItem("lumeno");
    NameIndexBuild index(item, [](bool) {});
    waitUntil([&] { return index.Idle(); });
  }
  std::ofstream(done.toStdString()) << kVersion;
  std::printf("generate_%s: %.1f s (set-up, kept for later runs)\n", key.c_str(), since(t0));
  std::fflush(stdout);
  return dir;
}

// A fresh copy of a kept catalogue in `into`; gives the copy's file.
std::string copyOf(const QString& kept, const QString& into) {
  QDir().mkpath(QDir(into).filePath("lumeno"));
  const QString to = QDir(into).filePath("lumeno/lumeno.sqlite");
  QFile::remove(to);
  if (!QFile::copy(QDir(kept).filePath("lumeno/lumeno.sqlite"), to)) std::exit(1);
  for (int k = 0; k < NameIndex::kShards; ++k) {
    const QString names = QString::fromStdString(NameIndex::FilePath(to.toStdString(), k));
    QFile::remove(names);
    if (!QFile::copy(QString::fromStdString(NameIndex::FilePath(QDir(kept).filePath("lumeno/lumeno.sqlite").toStdString(), k)), names))
      std::exit(1);
  }
  return to.toStdString();
}

// The longest gap between two ticks of a 1 ms timer on the window's thread, and a check run at
// every tick (for the moment the first row shows).
class StallProbe {
 public:
  explicit StallProbe(std::function<void()> onTick = {}) : onTick_(std::move(onTick)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      const auto now = Clock::now();
      const double gap = std::chrono::duration<double>(now - last_).count();
      if (gap > longest_) {
        longest_ = gap;
        longestEnd_ = now;
      }
      // The monotonic clock's own reading too, to find the gap in a profile (perf -k CLOCK_MONOTONIC).
      if (gap > 0.015 && trace_ && start_ != Clock::time_point{})
        std::printf("    gap %.1f ms ending at %.3f s (monotonic %.3f s)\n", gap * 1000,
                    std::chrono::duration<double>(now - start_).count(),
                    std::chrono::duration<double>(now.time_since_epoch()).count());
      last_ = now;
      if (onTick_) onTick_();
    });
    timer_.start(1);
  }
  // Counts from now, so that set-up before the click is not taken for a stall.
  void start() {
    start_ = last_ = longestEnd_ = Clock::now();
    longest_ = 0;
  }
  // When the longest gap ended, from start.
  double longestEnd() const { return std::chrono::duration<double>(longestEnd_ - start_).count(); }
  // The longest gap, the one still open included.
  double longest() const {
    return std::max(longest_, std::chrono::duration<double>(Clock::now() - last_).count());
  }

 private:
  QTimer timer_;
  Clock::time_point start_, last_ = Clock::now(), longestEnd_;
  const bool trace_ = qEnvironmentVariableIsSet("OPERATIONS_BENCH_TRACE");
  double longest_ = 0;
  std::function<void()> onTick_;
};

void waitUntil(const std::function<bool()>& done) {
  while (!done()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
}


struct Run {
  double done = 0, idle = 0, first = 0, stall = 0, memoryMB = 0;
};

struct Figures {
  std::vector<Run> runs;
  std::vector<double> floors;
  static double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
  }
  double of(double Run::*field) const {
    std::vector<double> v;
    for (const Run& r : runs) v.push_back(r.*field);
    return median(v);
  }
  void print(const std::string& what, const char* floorName, const char* target) const {
    const double floor = median(floors);
    std::printf("%s: done %.3f s, idle %.3f s, first row %.3f s, vs %s %.3f s, ratio %.2f (idle %.2f), longest stall "
                "%.1f ms, peak memory growth %.0f MB (target: %s)\n",
                what.c_str(), of(&Run::done), of(&Run::idle), of(&Run::first), floorName, floor, of(&Run::done) / floor,
                of(&Run::idle) / floor, of(&Run::stall) * 1000, of(&Run::memoryMB), target);
    std::fflush(stdout);
  }
};

// Opens the main window on the catalogue of `dataHome`, with messages recorded instead of shown.
Window1& openWindow(const QString& dataHome, std::vector<std::string>& messages) {
  qputenv("XDG_DATA_HOME", dataHome.toUtf8());
  framework::setMsgBoxHook([&messages](const std::string& text) { messages.push_back(text); });
  framework::setBeepHook([] {});
  Window1& w = Window1::instance();
  w.Show();
  // Shown and painted, its name index settled, before anything is timed.
  const auto shown = Clock::now();
  waitUntil([&] { return since(shown) > 0.5 && NameIndexing::Idle(); });
  return w;
}

void closeWindow() {
  framework::DestroyAllWindows();
  Module1::Release();
  framework::DropThreads();
}

// Times `click` to done and to idle with the probe running; `first` tells when the first row shows.
Run measure(const std::function<void()>& click, const std::function<bool()>& done,
            const std::function<bool()>& first = {}, double settleSeconds = 0.2) {
  Run run;
  double firstAt = -1;
  Clock::time_point t0;
  StallProbe probe([&] {
    if (firstAt < 0 && first && first()) firstAt = since(t0);
  });
  // What the set-up left to paint (a selection, a new window) is not the operation's.
  const auto settle = Clock::now();
  waitUntil([&] { return since(settle) > settleSeconds; });
  const long before = statusKiB("VmRSS:");
  resetPeak();
  t0 = Clock::now();
  probe.start();
  click();
  waitUntil([&] { return done() && framework::RunningThreadCount() == 0; });
  run.done = since(t0);
  run.stall = probe.longest();
  if (qEnvironmentVariableIsSet("OPERATIONS_BENCH_TRACE"))
    std::printf("  run: done %.3f s, longest stall %.1f ms ending at %.3f s\n", run.done, run.stall * 1000,
                probe.longestEnd());
  waitUntil(NameIndexing::Idle);
  run.idle = since(t0);
  run.first = firstAt < 0 ? run.done : firstAt;
  run.memoryMB = (statusKiB("VmHWM:") - before) / 1024.0;
  return run;
}

int discRow(Window1& w) {
  for (int r = 0; r < w.CDList().ListCount(); ++r)
    if (w.CDList().Cell(r, 0) == kTarget) return r;
  return -1;
}

// The floor of 削除: the plain DELETE of the target disc in a fresh copy of the kept catalogue.
double plainDelete(const QString& kept, const QString& into) {
  sqlite3* db = openPlain(copyOf(kept, into));
  const auto t0 = Clock::now();
  exec(db, "BEGIN; DELETE FROM Folder1 WHERE CDName = '" + kTarget + "'; COMMIT");
  const double took = since(t0);
  sqlite3_close(db);
  return took;
}

void deletion(long records) {
  const QString kept = catalogue("delete-" + std::to_string(records), {records, 2000});
  Figures f;
  QTemporaryDir tmp;
  for (int i = 0; i < 3; ++i) {
    f.floors.push_back(plainDelete(kept, tmp.path()));
    copyOf(kept, tmp.path());
    std::vector<std::string> messages;
    Window1& w = openWindow(tmp.path(), messages);
    w.CDList().setListIndex(discRow(w));
    f.runs.push_back(measure([&] { w.SakujyoButton().Push(); }, [&] { return discRow(w) < 0; }));
    if (!messages.empty()) std::printf("message: %s\n", messages.front().c_str());
    closeWindow();
  }
  f.print("delete_" + std::to_string(records), "plain DELETE", "<= 2x, stall <= 15 ms");
}

// 削除 clicked as soon as the window shows a catalogue left in a rollback journal (`earlier`: also
// without the FolNo index, as versions before it left it), against the plain DELETE.
void firstChange(long records, bool earlier) {
  const QString kept = catalogue("delete-" + std::to_string(records), {records, 2000});
  Figures f;
  QTemporaryDir tmp;
  for (int i = 0; i < 3; ++i) {
    f.floors.push_back(plainDelete(kept, tmp.path()));
    {
      sqlite3* db = nullptr;
      check(sqlite3_open(copyOf(kept, tmp.path()).c_str(), &db), db, "open");
      exec(db, earlier ? "PRAGMA journal_mode=DELETE; DROP INDEX Folder1_FolNo" : "PRAGMA journal_mode=DELETE");
      sqlite3_close(db);
    }
    std::vector<std::string> messages;
    qputenv("XDG_DATA_HOME", tmp.path().toUtf8());
    framework::setMsgBoxHook([&messages](const std::string& text) { messages.push_back(text); });
    framework::setBeepHook([] {});
    Window1& w = Window1::instance();
    w.Show();
    // The window's first paint is not the change's; the check's verdict comes later.
    f.runs.push_back(measure(
        [&] {
          w.CDList().setListIndex(discRow(w));
          w.SakujyoButton().Push();
        },
        [&] { return discRow(w) < 0; }, {}, 0.05));
    for (const std::string& m : messages) std::printf("message: %s\n", m.c_str());
    closeWindow();
  }
  f.print(std::string(earlier ? "first_change_without_index_" : "first_change_") + std::to_string(records),
          "plain DELETE", "stall <= 15 ms");
}

// The old catalogue's nine lines for a record.
void writeOld(std::ofstream& out, const Record& r) {
  out << r.name << "\r2023-04-05\r" << r.type << '\r' << r.no << '\r' << r.disc << '\r' << r.folNo << '\r'
      << (r.folder ? "true" : "false") << '\r' << r.bytes << "\r06:07:08\r";
}

void import(long records) {
  // Names, kinds and disc names in Mac OS Japanese: ASCII names, kinds in Shift JIS bytes.
  QTemporaryDir appDir, tmp;
  std::vector<Record> rows;
  {
    DiscShape shape(5);
    std::ofstream out(QDir(appDir.path()).filePath("olddbtext").toStdString(), std::ios::binary);
    shape.disc(kTarget, 1, records, [&](const Record& r) {
      Record ascii = r;
      if (std::any_of(r.name.begin(), r.name.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }))
        ascii.name = "name" + std::to_string(r.no);
      ascii.type = r.no == 1 ? "\x83\x66\x83\x42\x83\x58\x83\x4e" : (r.folder ? "\x83\x74\x83\x48\x83\x8b\x83\x5f" : "\x8f\x91\x97\xde");
      writeOld(out, ascii);
      Record utf8 = ascii;
      utf8.type = r.no == 1 ? "ディスク" : (r.folder ? "フォルダ" : "書類");
      rows.push_back(std::move(utf8));
    });
  }
  framework::setApplicationFolder(appDir.path().toStdString());
  Figures f;
  for (int i = 0; i < 3; ++i) {
    const QString home = QDir(tmp.path()).filePath(QString("run%1").arg(i));
    {
      const QString floorHome = QDir(tmp.path()).filePath(QString("floor%1").arg(i));
      sqlite3* db = openPlain(emptyCatalogue(floorHome));
      const auto t0 = Clock::now();
      exec(db, "BEGIN");
      {
        Inserter put(db);
        for (const Record& r : rows) put(r);
      }
      exec(db, "COMMIT");
      f.floors.push_back(since(t0));
      sqlite3_close(db);
      QDir(floorHome).removeRecursively();
    }
    emptyCatalogue(home);
    std::vector<std::string> messages;
    Window1& w = openWindow(home, messages);
    Window3& notice = Window3::instance();
    f.runs.push_back(measure([&] { notice.PushButton1().Push(); }, [&] { return discRow(w) >= 0; }));
    for (const std::string& m : messages) std::printf("message: %s\n", m.c_str());
    closeWindow();
    QDir(home).removeRecursively();
  }
  f.print("import_" + std::to_string(records), "plain insert", "<= 2x, stall <= 15 ms");
}

long likeCount(const std::string& path, const std::string& term) {
  sqlite3* db = nullptr;
  check(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), db, "open");
  sqlite3_stmt* st = nullptr;
  check(sqlite3_prepare_v2(db, ("SELECT COUNT(*) FROM Folder1 WHERE Name LIKE '%" + term + "%'").c_str(), -1, &st,
                           nullptr),
        db, "prepare");
  check(sqlite3_step(st), db, "count");
  const long n = sqlite3_column_int64(st, 0);
  sqlite3_finalize(st);
  sqlite3_close(db);
  return n;
}

void search(long records) {
  std::vector<long> discs;
  for (long left = records; left > 0; left -= kDiscRecords) discs.push_back(std::min(left, kDiscRecords));
  const QString kept = catalogue("search-" + std::to_string(records), discs);
  const std::string file = QDir(kept).filePath("lumeno/lumeno.sqlite").toStdString();
  const std::string term = "a";
  Figures f;
  long hits = 0;
  likeCount(file, term);  // warms the page cache for both sides
  std::vector<std::string> messages;
  Window1& w = openWindow(kept, messages);
  // Emptying the full list, as a new search does: the window's time and the memory given back.
  std::vector<double> clears, freedMB;
  const auto clearList = [&] {
    const long full = statusKiB("VmRSS:");
    const auto c0 = Clock::now();
    w.SearchList().DeleteAllRows();
    QCoreApplication::processEvents();
    clears.push_back(since(c0));
    // Memory may go back a little after the window is free again: read it once it stops falling.
    long now = statusKiB("VmRSS:"), before = 0;
    do {
      before = now;
      const auto t = Clock::now();
      waitUntil([&] { return since(t) > 0.1; });
      now = statusKiB("VmRSS:");
    } while (now < before);
    freedMB.push_back((full - now) / 1024.0);
  };
  for (int i = 0; i < 3; ++i) {
    auto t0 = Clock::now();
    hits = likeCount(file, term);
    f.floors.push_back(since(t0));
    if (i > 0) clearList();
    else {
      w.SearchList().DeleteAllRows();
      QCoreApplication::processEvents();
    }
    w.TextField1().setText(term);
    f.runs.push_back(measure([&] { w.KensakuButton().Push(); },
                             [&] { return w.SearchList().ListCount() == hits; },
                             [&] { return w.SearchList().ListCount() > 0; }));
  }
  f.print("search_a_" + std::to_string(records) + "_records_" + std::to_string(hits) + "_hits", "LIKE count",
          "first row <= 0.1 s, <= 3x, stall <= 15 ms, <= 150 MB a million hits");
  // The first search after start also pays for what later ones find ready, so it is shown on its own.
  const Run& first = f.runs.front();
  std::printf("  first search after start: done %.3f s, ratio %.2f, longest stall %.1f ms, peak memory growth %.0f MB\n",
              first.done, first.done / f.floors.front(), first.stall * 1000, first.memoryMB);
  clearList();
  std::printf("  clearing the full list: %.1f ms, resident memory given back %.0f MB (medians)\n",
              Figures::median(clears) * 1000, Figures::median(freedMB));
  std::fflush(stdout);
  closeWindow();
}

std::vector<long> sizes(const char* variable, const char* fallback) {
  std::vector<long> out;
  for (const QString& s : qEnvironmentVariable(variable, fallback).split(',', Qt::SkipEmptyParts))
    out.push_back(s.toLong());
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  BenchApplication app(argc, argv);
  const QStringList only = qEnvironmentVariable("OPERATIONS_BENCH_ONLY", "delete,import,search").split(',');
  for (long n : sizes("OPERATIONS_BENCH_SIZES", "200000,1000000")) {
    if (only.contains("delete")) deletion(n);
    if (only.contains("import")) import(n);
    if (only.contains("first")) {
      firstChange(n, false);
      firstChange(n, true);
    }
  }
  if (only.contains("search"))
    for (long n : sizes("OPERATIONS_BENCH_SEARCH", "10000000")) search(n);
  MenuBar1::release();
  return 0;
}
