// Makes the README's picture of the main window, as a user would get there: each volume is read
// through the real disc chooser, the rows named by --open are opened in turn, a search is run and
// the window is saved as drawn.
//
//   lumeno_screenshot OUT.png SEARCH VOLUME_FOLDER... [--open NAME]...
//
// A volume is named after its folder. Run it with XDG_DATA_HOME and XDG_CONFIG_HOME pointing at
// folders of its own (scripts/screenshot does): it catalogues into them.
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "app/Startup.h"
#include "app/Window1.h"
#include "app/Window2.h"
#include "catalogue/Class1.h"
#include "framework/files/Volumes.h"
#include "framework/windows/Application.h"
#include "framework/windows/Dialogs.h"
#include "framework/windows/Window.h"

namespace {

struct Request {
  QString out;
  std::string search;
  std::vector<std::pair<std::string, std::string>> volumes;  // name, folder
  std::vector<std::string> open;
};

void waitFor(const char* what, const std::function<bool()>& cond) {
  QDeadlineTimer deadline(60000);
  QTimer poll;
  poll.start(5);
  while (!cond()) {
    if (deadline.hasExpired()) throw std::runtime_error(std::string("timed out waiting for ") + what);
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
}

int rowNamed(const framework::Listbox& list, const std::string& name) {
  for (int i = 0; i < list.ListCount(); ++i)
    if (list.Cell(i, 0) == name) return i;
  throw std::runtime_error("no row " + name);
}

void readVolume(Window1& w, const std::string& name) {
  const int discs = w.CDList().ListCount();
  w.SinkiButton().button()->click();
  Window2* chooser = framework::openInstance<Window2>();
  if (!chooser) throw std::runtime_error("no disc chooser");
  waitFor("the volume list", [&] {
    for (int i = 0; i < chooser->Listbox1().ListCount(); ++i)
      if (chooser->Listbox1().Cell(i, 0) == name) return true;
    return false;
  });
  chooser->Listbox1().setListIndex(rowNamed(chooser->Listbox1(), name));
  chooser->PushButton1().button()->click();
  waitFor("the read", [&] { return !Class1::IsReading() && w.CDList().ListCount() == discs + 1; });
}

void makePicture(const Request& r) {
  Window1& w = Window1::instance();
  for (const auto& [name, folder] : r.volumes) readVolume(w, name);
  framework::Listbox& list = w.CDList();
  int row = -1;
  for (const auto& name : r.open) {
    row = rowNamed(list, name);
    list.setExpanded(row, true);
  }
  if (row >= 0) list.setListIndex(row);
  w.TextField1().setText(r.search);
  w.KensakuButton().button()->click();
  waitFor("the search", [&] { return w.SearchList().ListCount() > 0; });
  // The views take their rows from the event loop.
  QDeadlineTimer settle(300);
  while (!settle.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  if (!w.widget()->grab().save(r.out, "PNG")) throw std::runtime_error("cannot write " + r.out.toStdString());
}

}  // namespace

int main(int argc, char** argv) {
  Request r;
  std::vector<std::string> args(argv + 1, argv + argc);
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--open" && i + 1 < args.size()) {
      r.open.push_back(args[++i]);
    } else if (r.out.isEmpty()) {
      r.out = QString::fromStdString(args[i]);
    } else if (r.search.empty()) {
      r.search = args[i];
    } else {
      const QString folder = QDir(QString::fromStdString(args[i])).absolutePath();
      r.volumes.emplace_back(QDir(folder).dirName().toStdString(), folder.toStdString());
    }
  }
  if (r.out.isEmpty() || r.search.empty() || r.volumes.empty()) {
    std::fprintf(stderr, "usage: lumeno_screenshot OUT.png SEARCH VOLUME_FOLDER... [--open NAME]...\n");
    return 2;
  }
  // It catalogues for real: never into the user's own catalogue and preferences.
  if (qEnvironmentVariableIsEmpty("XDG_DATA_HOME") || qEnvironmentVariableIsEmpty("XDG_CONFIG_HOME")) {
    std::fprintf(stderr, "lumeno_screenshot: set XDG_DATA_HOME and XDG_CONFIG_HOME to folders of its own\n");
    return 2;
  }
  std::vector<std::pair<std::string, std::string>> volumes{{"/", "/"}};
  volumes.insert(volumes.end(), r.volumes.begin(), r.volumes.end());
  framework::setTestVolumes(volumes);
  // A message would wait for a click that never comes.
  framework::setMsgBoxHook([](const std::string& text) {
    std::fprintf(stderr, "message: %s\n", text.c_str());
    framework::QuitApplication(1);
  });

  int failed = 0;
  startup::setStepObserver([&](std::string_view step) {
    if (step != "event loop") return;
    QTimer::singleShot(0, [&] {
      try {
        makePicture(r);
      } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        failed = 1;
      }
      Window1::instance().FileQuit().Choose();
    });
  });
  const int code = startup::RunApplication(argc, argv);
  return failed ? failed : code;
}
