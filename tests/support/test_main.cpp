#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "support/TestSupport.h"

// Every test program runs offscreen, with its data and preferences folders in a temporary folder,
// so no test touches the user's real catalogue or preferences.
int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // A child of a test keeps the folders of the test that started it.
  if (testsupport::isChildProcess()) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("lumeno");
    return testsupport::runChildTask();
  }
  QTemporaryDir root;
  qputenv("XDG_DATA_HOME", QDir(root.path()).filePath("data").toUtf8());
  qputenv("XDG_CONFIG_HOME", QDir(root.path()).filePath("config").toUtf8());
  QDir().mkpath(QDir(root.path()).filePath("data"));
  QDir().mkpath(QDir(root.path()).filePath("config"));
  QApplication app(argc, argv);
  QApplication::setApplicationName("lumeno");
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
