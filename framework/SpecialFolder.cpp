#include "framework/SpecialFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace framework {

namespace {
std::string& applicationFolderOverride() {
  static std::string path;
  return path;
}
}  // namespace

std::optional<FolderItem> SpecialFolderPreferences() {
  const QString path = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  if (path.isEmpty() || !QDir().mkpath(path)) return std::nullopt;
  return FolderItem(QFile::encodeName(path).toStdString());
}

std::optional<FolderItem> GetFolderItem(const std::string& bareName) {
  std::string folder = applicationFolderOverride();
  if (folder.empty()) {
    if (!QCoreApplication::instance()) return std::nullopt;
    folder = QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString();
    if (folder.empty()) return std::nullopt;
  }
  return FolderItem(folder).Child(bareName);
}

void setApplicationFolder(const std::string& path) { applicationFolderOverride() = path; }

}  // namespace framework
