#include "support/TestSupport.h"

#include <sqlite3.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app/AboutWindow.h"
#include "app/SetteiWindow.h"
#include "app/Window1.h"
#include "app/Window2.h"
#include "app/Window3.h"
#include "catalogue/Module1.h"
#include "catalogue/NameIndex.h"
#include "framework/database/Database.h"
#include "framework/files/SpecialFolder.h"
#include "framework/files/Volumes.h"
#include "framework/threads/Thread.h"
#include "framework/windows/Dialogs.h"
#include "framework/windows/Window.h"

extern char** environ;

namespace testsupport {
namespace {

std::vector<std::string> recordedMessages;
int recordedBeeps = 0;

std::string freshDir(const std::string& parent, const char* name) {
  const std::string path = parent + "/" + name;
  std::filesystem::create_directories(path);
  return path;
}

// An sqlite3 connection closed on every path.
struct Connection {
  sqlite3* db = nullptr;
  explicit Connection(const std::string& path) {
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) throw std::runtime_error("cannot open " + path);
    // The program's checkpointer may hold the file for a moment.
    sqlite3_busy_timeout(db, 5000);
  }
  ~Connection() { sqlite3_close(db); }
  void exec(const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
      std::string message = error ? error : "?";
      sqlite3_free(error);
      throw std::runtime_error(message + " in " + sql);
    }
  }
};

struct Statement {
  sqlite3_stmt* st = nullptr;
  Statement(sqlite3* db, const char* sql) {
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK) throw std::runtime_error(sqlite3_errmsg(db));
  }
  ~Statement() { sqlite3_finalize(st); }
};

}  // namespace

void AppTest::SetUp() {
  static int counter = 0;
  root_ = QDir::tempPath().toStdString() + "/lumeno-test-" + std::to_string(QCoreApplication::applicationPid()) +
          "-" + std::to_string(++counter);
  std::filesystem::remove_all(root_);
  dataDir_ = freshDir(root_, "data");
  configDir_ = freshDir(root_, "config");
  appDir_ = freshDir(root_, "app");
  qputenv("XDG_DATA_HOME", QByteArray::fromStdString(dataDir_));
  qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(configDir_));
  framework::setApplicationFolder(appDir_);
  mountVolumes({});

  Module1::Release();
  Module1::PB = 0;
  Module1::MaxID = 0;
  Module1::VolNo = 0;
  Module1::ErrorCD = false;

  recordedMessages.clear();
  recordedBeeps = 0;
  framework::setMsgBoxHook([](const std::string& text) { recordedMessages.push_back(text); });
  framework::setBeepHook([] { ++recordedBeeps; });
}

void AppTest::TearDown() {
  closeAllWindows();
  Module1::Release();
  framework::clearTestVolumes();
  framework::setApplicationFolder("");
  std::error_code ignored;
  std::filesystem::remove_all(root_, ignored);
}

std::vector<std::string>& AppTest::msgs() { return recordedMessages; }
int& AppTest::beeps() { return recordedBeeps; }

void PrintTo(const Row& r, std::ostream* os) {
  *os << "{No " << r.No << ", FolNo " << r.FolNo << ", Name \"" << r.Name << "\", Folder "
      << (r.Folder ? (*r.Folder ? "True" : "False") : "-") << ", CDName \"" << r.CDName << "\", Type \"" << r.Type
      << "\", DateTime " << r.DateTime.value_or("-") << ", Byte "
      << (r.Byte ? std::to_string(*r.Byte) : std::string("-")) << "}";
}

std::string cataloguePath() {
  return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).filePath("lumeno.sqlite").toStdString();
}

void writeCatalogue(const std::vector<Row>& rows) {
  // The item provider creates the file and its table the way the application finds them, made
  // ready for changes as a run of the program leaves it.
  auto item = framework::DatabaseItem("lumeno");
  if (!item || !item->ReadyForChanges()) throw std::runtime_error("no catalogue");
  item.reset();
  Connection c(cataloguePath());
  c.exec("BEGIN");
  Statement st(c.db,
               "INSERT INTO Folder1 (No, FolNo, Name, Folder, CDName, Type, Date, Time, Byte) "
               "VALUES (?,?,?,?,?,?,?,?,?)");
  for (const Row& r : rows) {
    sqlite3_reset(st.st);
    sqlite3_bind_int(st.st, 1, r.No);
    sqlite3_bind_int(st.st, 2, r.FolNo);
    sqlite3_bind_text(st.st, 3, r.Name.c_str(), int(r.Name.size()), SQLITE_TRANSIENT);
    if (r.Folder) sqlite3_bind_int(st.st, 4, *r.Folder ? 1 : 0); else sqlite3_bind_null(st.st, 4);
    sqlite3_bind_text(st.st, 5, r.CDName.c_str(), int(r.CDName.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(st.st, 6, r.Type.c_str(), int(r.Type.size()), SQLITE_TRANSIENT);
    for (int col : {7, 8}) {
      if (r.DateTime) sqlite3_bind_text(st.st, col, r.DateTime->c_str(), -1, SQLITE_TRANSIENT);
      else sqlite3_bind_null(st.st, col);
    }
    if (r.Byte) sqlite3_bind_int64(st.st, 9, *r.Byte); else sqlite3_bind_null(st.st, 9);
    if (sqlite3_step(st.st) != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(c.db));
  }
  c.exec("COMMIT");
}

std::vector<Row> readCatalogue() {
  std::vector<Row> rows;
  if (!QFile::exists(QString::fromStdString(cataloguePath()))) return rows;
  Connection c(cataloguePath());
  Statement st(c.db, "SELECT No, FolNo, Name, Folder, CDName, Type, Date, Time, Byte FROM Folder1 ORDER BY No");
  auto text = [&](int col) {
    const unsigned char* t = sqlite3_column_text(st.st, col);
    return t ? std::string(reinterpret_cast<const char*>(t), sqlite3_column_bytes(st.st, col)) : std::string();
  };
  while (sqlite3_step(st.st) == SQLITE_ROW) {
    Row r;
    r.No = sqlite3_column_int(st.st, 0);
    r.FolNo = sqlite3_column_int(st.st, 1);
    r.Name = text(2);
    if (sqlite3_column_type(st.st, 3) != SQLITE_NULL) r.Folder = sqlite3_column_int(st.st, 3) != 0;
    r.CDName = text(4);
    r.Type = text(5);
    if (sqlite3_column_type(st.st, 6) != SQLITE_NULL) {
      r.DateTime = text(6);
      // Both columns hold one moment; a row where they differ shows up as a mismatch.
      if (text(7) != *r.DateTime) r.DateTime = text(6) + " / " + text(7);
    }
    if (sqlite3_column_type(st.st, 8) != SQLITE_NULL) r.Byte = sqlite3_column_int64(st.st, 8);
    rows.push_back(r);
  }
  return rows;
}

std::string makeTree(const std::string& root, const std::vector<std::string>& entries) {
  std::filesystem::create_directories(root);
  for (const std::string& e : entries) {
    const std::filesystem::path p = std::filesystem::path(root) / e;
    if (!e.empty() && e.back() == '/') {
      std::filesystem::create_directories(p);
    } else {
      std::filesystem::create_directories(p.parent_path());
      std::ofstream(p) << "data";
    }
  }
  return root;
}

void mountVolumes(const std::vector<std::pair<std::string, std::string>>& nameAndFolder) {
  std::vector<std::pair<std::string, std::string>> all{{"/", "/"}};
  all.insert(all.end(), nameAndFolder.begin(), nameAndFolder.end());
  framework::setTestVolumes(all);
}

namespace {
template <class W>
void closeIfOpen() {
  if (W* w = framework::openInstance<W>()) w->Close();
}
}  // namespace

void closeAllWindows() {
  closeIfOpen<Window2>();
  closeIfOpen<Window3>();
  closeIfOpen<SetteiWindow>();
  closeIfOpen<AboutWindow>();
  closeIfOpen<Window1>();
  framework::DropThreads();
  // Closed windows are deleted later, from the event loop.
  for (int i = 0; i < 3; ++i) {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
  }
}

std::string fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

namespace {
constexpr const char* kTaskVariable = "LUMENO_TEST_CHILD_TASK";
constexpr const char* kArgumentVariable = "LUMENO_TEST_CHILD_ARGUMENT";
constexpr int kReportFd = 3;  // where a child writes its report, ended by '\0'
constexpr uid_t kNobody = 65534;

std::string readReport(int fd) {
  std::string report;
  char c;
  while (::read(fd, &c, 1) == 1 && c != '\0') report += c;
  return report;
}
}  // namespace

ChildProcess::ChildProcess(const std::string& task, const std::string& argument, bool unprivileged) {
  // Everything the child needs is made before the fork: between fork and exec only system calls.
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) env.emplace_back(*e);
  env.push_back(std::string(kTaskVariable) + "=" + task);
  env.push_back(std::string(kArgumentVariable) + "=" + argument);
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  char name[] = "lumeno-test-child";
  char* argv[] = {name, nullptr};
  const bool drop = unprivileged && ::geteuid() == 0;

  int input[2], report[2];
  if (::pipe(input) != 0 || ::pipe(report) != 0) throw std::runtime_error("no pipe");
  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(input[0], 0);
    ::dup2(report[1], kReportFd);
    for (int fd : {input[0], input[1], report[0], report[1]})
      if (fd != 0 && fd != kReportFd) ::close(fd);
    if (drop && (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
      ::_exit(126);
    ::execve("/proc/self/exe", argv, envp.data());
    ::_exit(127);
  }
  ::close(input[0]);
  ::close(report[1]);
  input_ = input[1];
  if (pid_ < 0) {
    ::close(report[0]);
    throw std::runtime_error("no child process");
  }
  report_ = readReport(report[0]);
  ::close(report[0]);
}

ChildProcess::~ChildProcess() {
  if (input_ >= 0) ::close(input_);
  int status = 0;
  if (pid_ > 0) ::waitpid(pid_, &status, 0);
}

bool isChildProcess() { return !qEnvironmentVariableIsEmpty(kTaskVariable); }

int runChildTask() {
  const std::string task = qEnvironmentVariable(kTaskVariable).toStdString();
  const std::string argument = qEnvironmentVariable(kArgumentVariable).toStdString();
  std::string report;
  int code = 0;
  if (task == "lock") {
    sqlite3* db = nullptr;
    sqlite3_open_v2(argument.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    // Taken at once and kept until the connection closes; the file is never written.
    const int rc = sqlite3_exec(db, "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE", nullptr, nullptr, nullptr);
    report = rc == SQLITE_OK ? "locked" : sqlite3_errmsg(db);
    ::write(kReportFd, report.c_str(), report.size() + 1);
    char c;
    while (::read(0, &c, 1) == 1) {
    }
    sqlite3_close(db);
    return 0;
  }
  if (task == "open") {
    framework::setMsgBoxHook([&](const std::string& text) { report += text + '\x1f'; });
    Module1::OpenCatalogue();
  } else if (task == "browse") {
    std::string said;
    framework::setMsgBoxHook([&](const std::string& text) { said += text + '\x1f'; });
    Window1& w = Window1::instance();
    auto click = [](framework::PushButton& button) { QTest::mouseClick(button.button(), Qt::LeftButton); };
    // Browse: the first disc expanded, then the search.
    if (w.CDList().ListCount() > 0) w.CDList().setExpanded(0, true);
    report = std::to_string(w.CDList().ListCount()) + '\x1e';
    w.TextField1().setText(argument);
    click(w.KensakuButton());
    waitUntil([] { return !Window1::SearchListFilling(); });
    for (int i = 0; i < w.SearchList().ListCount(); ++i) report += w.SearchList().Cell(i, 0) + '\x1f';
    report += '\x1e';
    // Every change: delete, new disc, update, import.
    if (w.CDList().ListCount() > 0) w.CDList().setListIndex(0);
    click(w.SakujyoButton());
    for (framework::PushButton* button : {&w.SinkiButton(), &w.KoushinButton()}) {
      click(*button);
      if (Window2* chooser = framework::openInstance<Window2>()) {
        if (chooser->Listbox1().ListCount() > 0) chooser->Listbox1().setListIndex(0);
        click(chooser->PushButton1());
        chooser->Close();
      }
    }
    w.ReadOldDB_Action();
    click(Window3::instance().PushButton1());
    report += said;
  } else {
    report = "unknown task " + task;
    code = 2;
  }
  ::write(kReportFd, report.c_str(), report.size() + 1);
  return code;
}

bool killChildWhenSignalled(const std::string& test, const std::vector<std::string>& environment,
                            const std::string& signalVariable, int& status, const std::function<void()>& beforeKill) {
  int fds[2];
  if (pipe(fds) != 0) return false;
  std::vector<std::string> env = environment;
  env.push_back(signalVariable + "=" + std::to_string(fds[1]));
  for (char** e = environ; *e; ++e) env.emplace_back(*e);
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string exe = "/proc/self/exe", filter = "--gtest_filter=" + test, disabled = "--gtest_also_run_disabled_tests";
  char* argv[] = {exe.data(), filter.data(), disabled.data(), nullptr};
  pid_t child = 0;
  const bool started = posix_spawn(&child, exe.c_str(), nullptr, nullptr, argv, envp.data()) == 0;
  close(fds[1]);
  bool signalled = false;
  if (started) {
    pollfd ready{fds[0], POLLIN, 0};
    char byte = 0;
    signalled = poll(&ready, 1, 60000) == 1 && (ready.revents & POLLIN) && ::read(fds[0], &byte, 1) == 1;
    if (signalled && beforeKill) beforeKill();
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
  }
  close(fds[0]);
  return signalled;
}

}  // namespace testsupport
