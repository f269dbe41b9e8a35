#include "support/BenchApplication.h"

namespace {
// Runs before the application object is made, which reads the platform's name.
QTemporaryDir& withPlatform(QTemporaryDir& config) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
  return config;
}
}  // namespace

BenchApplication::BenchApplication(int& argc, char** argv) : app_((withPlatform(config_), argc), argv) {
  QApplication::setApplicationName("lumeno");
}
