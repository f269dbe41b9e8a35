// Reading and updating generated volumes through the disc chooser, from the click to the beep and to
// all work done (the program idle), against plocate's updatedb on the same tree (pruning off) and
// against the floor: a plain C walk (readdir + fstatat) whose rows go into SQLite in one
// transaction. An update is weighed against the program's own deletion plus its read. Each figure
// is the median of three runs.
// READER_BENCH_ITEMS="200000,1000000" chooses the sizes (default 200000: the 1M run takes minutes).
// READER_BENCH_TREE=DIR keeps the volumes in DIR and uses those already there (for a profiler).
#include <dirent.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/Startup.h"
#include "app/Window1.h"
#include "app/Window2.h"
#include "catalogue/Class1.h"
#include "catalogue/Module1.h"
#include "catalogue/NameIndexing.h"
#include "framework/files/SpecialFolder.h"
#include "framework/files/Volumes.h"
#include "framework/threads/Thread.h"
#include "framework/windows/Dialogs.h"
#include "support/TreeGenerator.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? -1 : v[v.size() / 2];
}

long vmRssKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  return 0;
}

std::vector<long> sizes() {
  std::vector<long> out;
  const QByteArray env = qgetenv("READER_BENCH_ITEMS");
  for (const QByteArray& part : (env.isEmpty() ? QByteArray("200000") : env).split(','))
    if (const long n = part.trimmed().toLong(); n > 0) out.push_back(n);
  return out;
}

std::string label(long items) {
  return items % 1000000 == 0 ? std::to_string(items / 1000000) + "M"
         : items % 1000 == 0  ? std::to_string(items / 1000) + "k"
                              : std::to_string(items);
}

// The floor: what storing the walk costs without the program.
class Floor {
 public:
  explicit Floor(const std::string& dbPath) {
    std::remove(dbPath.c_str());
    sqlite3_open(dbPath.c_str(), &db_);
    sqlite3_exec(db_, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
                 "CREATE TABLE Folder1 (No INTEGER, FolNo INTEGER, Name TEXT, Folder BOOLEAN, CDName TEXT, "
                 "Type TEXT, Date DATETIME, Time DATETIME, Byte INTEGER);"
                 "CREATE INDEX Folder1_FolNo ON Folder1 (FolNo);",
                 nullptr, nullptr, nullptr);
    sqlite3_prepare_v2(db_, "INSERT INTO Folder1 (FolNo, No, Name, Folder, Type, Date, Time, Byte, CDName) "
                       "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)", -1, &insert_, nullptr);
  }
  ~Floor() {
    sqlite3_finalize(insert_);
    sqlite3_close(db_);
  }

  long store(const std::string& root) {
    sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr);
    const int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    walk(fd, 1);
    sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    return rows_;
  }

 private:
  void walk(int fd, int parent) {
    DIR* dir = ::fdopendir(fd);
    if (!dir) return;
    std::vector<std::string> names;
    while (const dirent* e = ::readdir(dir))
      if (e->d_name[0] != '.') names.emplace_back(e->d_name);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
      struct stat st {};
      if (::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
      const bool folder = S_ISDIR(st.st_mode);
      const int no = ++rows_ + 1;
      char date[32];
      std::tm tm {};
      ::localtime_r(&st.st_mtime, &tm);
      std::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S", &tm);
      sqlite3_bind_int(insert_, 1, parent);
      sqlite3_bind_int(insert_, 2, no);
      sqlite3_bind_text(insert_, 3, name.c_str(), -1, SQLITE_STATIC);
      if (folder) sqlite3_bind_int(insert_, 4, 1); else sqlite3_bind_null(insert_, 4);
      sqlite3_bind_text(insert_, 5, folder ? "フォルダ" : " ", -1, SQLITE_STATIC);
      sqlite3_bind_text(insert_, 6, date, -1, SQLITE_STATIC);
      sqlite3_bind_text(insert_, 7, date, -1, SQLITE_STATIC);
      sqlite3_bind_int64(insert_, 8, folder ? 0 : st.st_size);
      sqlite3_bind_text(insert_, 9, "BenchDisc", -1, SQLITE_STATIC);
      sqlite3_step(insert_);
      sqlite3_reset(insert_);
      if (folder) {
        const int child = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (child >= 0) walk(child, no);
      }
    }
    ::closedir(dir);
  }

  sqlite3* db_ = nullptr;
  sqlite3_stmt* insert_ = nullptr;
  long rows_ = 0;
};

double runCommand(const QString& program, const QStringList& args) {
  QProcess p;
  p.setStandardOutputFile(QProcess::nullDevice());
  const auto start = Clock::now();
  p.start(program, args);
  if (!p.waitForFinished(-1) || p.exitCode() != 0) return -1;
  return seconds(start);
}

// What the user meets from one click.
struct Figures {
  double beep = 0;      // to the beep (the disc listed)
  double idle = 0;      // to all work done
  double stallMs = 0;   // longest pause between the ticks of a 1 ms timer
  double stallToBeepMs = 0;  // the same, up to the beep
  double memoryMB = 0;  // peak resident size less the size at the click
  long records = 0;
};

long recordCount() {
  if (auto rs = Module1::db->SQLSelect("SELECT COUNT(*) FROM Folder1")) return rs->IdxField(1).IntegerValue();
  return -1;
}

bool programIdle() {
  return !Class1::IsReading() && framework::RunningThreadCount() == 0 && NameIndexing::Idle();
}

// Runs `click` and the event loop until the program is idle again. A 1 ms timer on the main thread
// records the longest pause between its ticks and samples the resident size.
Figures measure(const std::function<void()>& click, int& beeps, bool beepEnds = true) {
  Figures f;
  QEventLoop loop;
  long longestUs = 0, ticks = 0;
  const long before = vmRssKiB();
  long peakKiB = before;
  auto start = Clock::now(), lastTick = start;
  QTimer ticker;
  ticker.setInterval(1);
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    const auto now = Clock::now();
    const long gapUs = std::chrono::duration_cast<std::chrono::microseconds>(now - lastTick).count();
    if (gapUs > 15000 && qEnvironmentVariableIsSet("READER_BENCH_GAPS"))
      std::printf("gap %.1f ms at %.2f s%s\n", gapUs / 1000.0, seconds(start), beeps > 0 ? " (after the beep)" : "");
    longestUs = std::max(longestUs, gapUs);
    if (beeps == 0 || f.beep == 0) f.stallToBeepMs = std::max(f.stallToBeepMs, gapUs / 1000.0);
    lastTick = now;
    if (++ticks % 50 == 0) peakKiB = std::max(peakKiB, vmRssKiB());
    if (beeps > 0 && f.beep == 0) f.beep = seconds(start);
    if ((beeps > 0 || !beepEnds) && programIdle()) loop.quit();
  });
  beeps = 0;
  f.beep = 0;
  ticker.start();
  lastTick = start = Clock::now();
  click();
  loop.exec();
  f.idle = seconds(start);
  if (f.beep <= 0) f.beep = f.idle;
  ticker.stop();
  f.stallMs = longestUs / 1000.0;
  f.memoryMB = (std::max(peakKiB, vmRssKiB()) - before) / 1024.0;
  f.records = recordCount();
  return f;
}

// The chooser is opened and its row picked before the click that starts the work, and painted
// meanwhile: that is not part of the read.
void chooseVolume(void (Window1::*button)()) {
  (Window1::instance().*button)();
  Window2::instance().Listbox1().setListIndex(0);
  QEventLoop settle;
  QTimer::singleShot(300, &settle, &QEventLoop::quit);
  settle.exec();
}

Figures readOrUpdate(void (Window1::*button)(), int& beeps) {
  chooseVolume(button);
  return measure([] { Window2::instance().PushButton1().Push(); }, beeps);
}

Figures removeDisc(int& beeps) {
  auto& main = Window1::instance();
  main.CDList().setListIndex(0);
  return measure([&] { main.SakujyoButton().Push(); }, beeps, false);
}

struct Medians {
  std::vector<Figures> runs;
  double of(double Figures::*field) const {
    std::vector<double> v;
    for (const Figures& f : runs) v.push_back(f.*field);
    return median(v);
  }
};

void report(const std::string& what, const Medians& m, double updatedb, double floor) {
  const double beep = m.of(&Figures::beep), idle = m.of(&Figures::idle);
  std::printf("%s: click to beep %.2f s, click to all work done %.2f s, %ld records\n", what.c_str(), beep, idle,
              m.runs.back().records);
  if (updatedb > 0)
    std::printf("%s_vs_updatedb: updatedb -l 0 %.2f s; beep %.2fx (target <= 2), all work done %.2fx\n",
                what.c_str(), updatedb, beep / updatedb, idle / updatedb);
  else
    std::printf("%s_vs_updatedb: not run (updatedb failed or is missing)\n", what.c_str());
  std::printf("%s_vs_floor: C walk + one transaction %.2f s; beep %.2fx, all work done %.2fx\n", what.c_str(), floor,
              beep / floor, idle / floor);
  std::printf("%s_longest_stall: %.1f ms to all work done, %.1f ms to the beep (target <= 15)\n", what.c_str(),
              m.of(&Figures::stallMs), m.of(&Figures::stallToBeepMs));
  std::printf("%s_peak_memory_growth: %.1f MB\n", what.c_str(), m.of(&Figures::memoryMB));
}

void benchSize(long items, const QDir& base, int& beeps, std::vector<std::string>& messages) {
  const std::string name = label(items);
  const QString kept = qEnvironmentVariable("READER_BENCH_TREE");
  const std::string tree = (kept.isEmpty() ? base : QDir(kept)).filePath(QString::fromStdString("vol" + name)).toStdString();
  bench::TreeSize made{items, 0};
  if (kept.isEmpty() || !QDir(QString::fromStdString(tree)).exists()) made = bench::makeTree(tree, items);
  framework::setTestVolumes({{"root", "/"}, {"BenchDisc", tree}});
  // Warms the page cache for every contender alike.
  runCommand("find", {QString::fromStdString(tree), "-printf", "%s %T@\\n"});

  Medians reads, updates, deletions;
  std::vector<double> updatedb, floors;
  for (int run = 0; run < 3; ++run) {
    reads.runs.push_back(readOrUpdate(&Window1::SinkiButton_Action, beeps));
    updates.runs.push_back(readOrUpdate(&Window1::KoushinButton_Action, beeps));
    // The disc goes again through 削除, so every run starts from the same catalogue.
    deletions.runs.push_back(removeDisc(beeps));
    updatedb.push_back(runCommand("updatedb", {"-U", QString::fromStdString(tree), "-l", "0", "--prunepaths", "",
                                               "--prunefs", "", "--prunenames", "", "--prune-bind-mounts", "no",
                                               "-o", base.filePath("plocate.db")}));
    const auto start = Clock::now();
    Floor(base.filePath("floor.sqlite").toStdString()).store(tree);
    floors.push_back(seconds(start));
  }
  const double peer = median(updatedb), floor = median(floors);
  std::printf("tree_%s: %ld items, %ld folders (%.1f%%)\n", name.c_str(), made.items, made.folders,
              made.items ? 100.0 * made.folders / made.items : 0.0);
  report("read_" + name, reads, peer, floor);
  report("update_" + name, updates, peer, floor);
  const double removal = deletions.of(&Figures::idle), read = reads.of(&Figures::idle);
  std::printf("update_%s_vs_delete_plus_read: 削除 %.2f s + read %.2f s; update %.2fx (target <= 1)\n", name.c_str(),
              removal, read, updates.of(&Figures::idle) / (removal + read));
  for (const auto& m : messages) std::printf("message: %s\n", m.c_str());
  messages.clear();
  std::fflush(stdout);
  if (kept.isEmpty()) bench::removeTree(tree);
}

}  // namespace

int main(int argc, char** argv) {
  QTemporaryDir tmp;
  const QDir base(tmp.path());
  for (const char* d : {"data", "config", "app"}) base.mkpath(d);
  qputenv("XDG_DATA_HOME", base.filePath("data").toUtf8());
  qputenv("XDG_CONFIG_HOME", base.filePath("config").toUtf8());
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setApplicationName("lumeno");
  framework::setApplicationFolder(base.filePath("app").toStdString());
  std::vector<std::string> messages;
  framework::setMsgBoxHook([&](const std::string& text) { messages.push_back(text); });
  int beeps = 0;
  framework::setBeepHook([&] { ++beeps; });

  startup::StartUp();
  for (const long items : sizes()) benchSize(items, base, beeps, messages);
  framework::DestroyAllWindows();
  startup::ShutDown();
  return 0;
}
