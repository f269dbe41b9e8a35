#include "framework/files/SpecialFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <vector>

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
  const auto besideApplication = FolderItem(folder).Child(bareName);
  if (!besideApplication) return std::nullopt;
  // An installed program's folder is not the user's to write: a file the user puts in the data
  // folder (beside the catalogue) comes first, then the one beside the program, then the one
  // installed with it in <prefix>/share/lumeno.
  const QString userData = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
  std::vector<std::optional<FolderItem>> places;
  if (!userData.isEmpty()) places.push_back(FolderItem(QFile::encodeName(userData).toStdString()).Child(bareName));
  places.push_back(besideApplication);
  places.push_back(FolderItem(QDir::cleanPath(QString::fromStdString(folder) + "/../share/lumeno").toStdString()).Child(bareName));
  for (const auto& place : places)
    if (place && place->Exists()) return place;
  return besideApplication;
}

void setApplicationFolder(const std::string& path) { applicationFolderOverride() = path; }

}  // namespace framework
