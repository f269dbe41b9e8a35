// Reading a generated volume of many items into the catalogue, against what the same work costs
// without the program (a `find` walk plus plain SQLite inserts with one commit each).
#include <sqlite3.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/Startup.h"
#include "app/Window1.h"
#include "app/Window2.h"
#include "catalogue/Class1.h"
#include "catalogue/Module1.h"
#include "framework/Dialogs.h"
#include "framework/SpecialFolder.h"
#include "framework/Volumes.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

long vmHwmKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  return 0;
}

void resetHwm() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
}

// About `items` entries: folders of 99 files each, two levels deep, names mixing decomposed
// Japanese and ASCII with a spread of extensions.
int makeVolume(const std::string& root, int items) {
  static const char* const exts[] = {".txt", ".jpg", ".png", ".mp3", ".pdf", ".html", ".c", ".zip", "", ".dat"};
  static const char* const words[] = {"\xe3\x81\x8b\xe3\x82\x99\xe3\x81\x8d",  // が (decomposed) き
                                      "\xe3\x83\x8f\xe3\x82\x9a\xe3\x83\xaa",  // パ (decomposed) リ
                                      "photo", "Report", "\xe3\x83\x86\xe3\x82\x99\xe3\x83\xbc\xe3\x82\xbf"};
  const int perFolder = 99;
  const int folders = std::max(1, items / (perFolder + 1));
  int made = 0;
  for (int f = 0; f < folders; ++f) {
    // Ten top-level groups, the folders below them.
    const std::string group = root + "/group" + std::to_string(f % 10);
    const std::string folder = group + "/" + words[f % 5] + "_" + std::to_string(f);
    QDir().mkpath(QString::fromStdString(folder));
    ++made;
    for (int i = 0; i < perFolder; ++i) {
      const std::string name = folder + "/" + words[(f + i) % 5] + std::to_string(i) + exts[i % 10];
      std::FILE* out = std::fopen(name.c_str(), "wb");
      if (!out) continue;
      std::fwrite("data", 1, 4, out);
      std::fclose(out);
      ++made;
    }
  }
  return made + 10;
}

struct Rows {
  std::vector<std::vector<std::string>> values;  // No, FolNo, Name, Folder, CDName, Type, Date, Time, Byte
};

Rows readBack() {
  Rows rows;
  auto rs = Module1::db->SQLSelect("SELECT No, FolNo, Name, Folder, CDName, Type, Date, Time, Byte FROM Folder1");
  while (rs && !rs->Eof()) {
    std::vector<std::string> row;
    for (int i = 1; i <= 9; ++i) row.push_back(rs->IdxField(i).StringValue());
    rows.values.push_back(std::move(row));
    rs->MoveNext();
  }
  return rows;
}

// The floor's database half: the same rows, one prepared insert and one commit each.
double plainInserts(const std::string& path, const Rows& rows) {
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
               "CREATE TABLE Folder1 (No INTEGER PRIMARY KEY, FolNo INTEGER, Name TEXT, Folder BOOLEAN, "
               "CDName TEXT, Type TEXT, Date DATETIME, Time DATETIME, Byte INTEGER);"
               "CREATE INDEX Folder1_FolNo ON Folder1 (FolNo);",
               nullptr, nullptr, nullptr);
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO Folder1 (FolNo, No, Name, Folder, Type, Date, Time, Byte, CDName) "
                     "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)", -1, &insert, nullptr);
  const auto start = Clock::now();
  for (const auto& r : rows.values) {
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_bind_int(insert, 1, std::atoi(r[1].c_str()));
    sqlite3_bind_int(insert, 2, std::atoi(r[0].c_str()));
    sqlite3_bind_text(insert, 3, r[2].c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_int(insert, 4, r[3] == "True");
    sqlite3_bind_text(insert, 5, r[5].c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_text(insert, 6, r[6].c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_text(insert, 7, r[7].c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_int(insert, 8, std::atoi(r[8].c_str()));
    sqlite3_bind_text(insert, 9, r[4].c_str(), -1, SQLITE_STATIC);
    sqlite3_step(insert);
    sqlite3_reset(insert);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  }
  const double took = seconds(start);
  sqlite3_finalize(insert);
  sqlite3_close(db);
  return took;
}

double runCommand(const QString& program, const QStringList& args) {
  QProcess p;
  p.setStandardOutputFile(QProcess::nullDevice());
  const auto start = Clock::now();
  p.start(program, args);
  if (!p.waitForFinished(-1) || p.exitCode() != 0) return -1;
  return seconds(start);
}

}  // namespace

int main(int argc, char** argv) {
  const int items = argc > 1 ? std::atoi(argv[1]) : 100000;
  const std::string label = items % 1000 == 0 ? std::to_string(items / 1000) + "k" : std::to_string(items);

  QTemporaryDir tmp;
  const QDir base(tmp.path());
  for (const char* d : {"data", "config", "app", "vol"}) base.mkpath(d);
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

  const std::string tree = base.filePath("vol").toStdString();
  const int made = makeVolume(tree, items);
  framework::setTestVolumes({{"root", "/"}, {"BenchDisc", tree}});

  startup::StartUp();
  auto& main = Window1::instance();

  // The read, on a reading thread, with the event loop running and a 1 ms timer watching it.
  long longestGapUs = 0;
  auto readStart = Clock::now();
  auto lastTick = Clock::now();
  QTimer ticker;
  ticker.setInterval(1);
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    const auto now = Clock::now();
    const long gap = std::chrono::duration_cast<std::chrono::microseconds>(now - lastTick).count();
    if (getenv("GAPS") && gap > 20000) std::printf("gap %.1f ms at %.2f s\n", gap / 1000.0, seconds(readStart));
    longestGapUs = std::max<long>(longestGapUs, gap);
    lastTick = now;
  });
  resetHwm();
  const long hwmBefore = vmHwmKiB();
  // The user's road: "新規ディスク" opens the chooser, the volume is picked, "リスト作成" starts the read.
  Module1::PB = 0;
  Window2::instance().Listbox1().setListIndex(0);
  QEventLoop loop;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (!Class1::IsReading()) loop.quit();
  });
  ticker.start();
  lastTick = Clock::now();
  readStart = Clock::now();
  Window2::instance().PushButton1().Push();
  poll.start(5);
  loop.exec();
  const double readTook = seconds(readStart);
  ticker.stop();
  poll.stop();
  const long hwmGrowth = vmHwmKiB() - hwmBefore;

  const Rows rows = readBack();
  const double findTook = runCommand("find", {QString::fromStdString(tree)});
  const double insertTook = plainInserts(base.filePath("floor.sqlite").toStdString(), rows);
  const double floor = findTook + insertTook;
  const double updatedbTook = runCommand("updatedb", {"-U", QString::fromStdString(tree), "-o",
                                                      base.filePath("plocate.db"), "-l", "0"});

  // Deleting the disc again, from the main window's button.
  main.CDList().setListIndex(0);
  const auto deleteStart = Clock::now();
  main.SakujyoButton().Push();
  const double deleteTook = seconds(deleteStart);
  sqlite3_int64 left = -1;
  if (auto rs = Module1::db->SQLSelect("SELECT COUNT(*) FROM Folder1")) left = rs->IdxField(1).IntegerValue();

  std::printf("newcd_%s: %.2f s vs floor %.2f s (find %.2f s + sqlite inserts %.2f s), ratio %.2f (target: <= 1.3)\n",
              label.c_str(), readTook, floor, findTook, insertTook, readTook / floor);
  std::printf("newcd_%s_records: %zu of %d items\n", label.c_str(), rows.values.size(), made);
  if (updatedbTook >= 0)
    std::printf("updatedb_%s: %.2f s vs newcd %.2f s, ratio %.2f (peer figure)\n", label.c_str(), updatedbTook,
                readTook, readTook / updatedbTook);
  else
    std::printf("updatedb_%s: not run (updatedb failed or is missing)\n", label.c_str());
  std::printf("newcd_%s_event_loop_gap: %.1f ms (target: <= 50)\n", label.c_str(), longestGapUs / 1000.0);
  std::printf("newcd_%s_peak_memory_growth: %.1f MB (target: <= 20)\n", label.c_str(), hwmGrowth / 1024.0);
  std::printf("delete_disc_%s: %.2f s (%lld records left)\n", label.c_str(), deleteTook, static_cast<long long>(left));
  for (const auto& m : messages) std::printf("message: %s\n", m.c_str());
  if (beeps != 1) std::printf("warning: %d beeps\n", beeps);

  std::fflush(stdout);
  framework::DestroyAllWindows();
  startup::ShutDown();
  return 0;
}
