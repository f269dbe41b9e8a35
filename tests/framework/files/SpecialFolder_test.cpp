#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "framework/files/SpecialFolder.h"

namespace {

TEST(SpecialFolder, PreferencesFolderIsTheConfigurationFolder) {
  const auto prefs = framework::SpecialFolderPreferences();
  ASSERT_TRUE(prefs);
  EXPECT_EQ(prefs->Path(), qEnvironmentVariable("XDG_CONFIG_HOME").toStdString());
  EXPECT_TRUE(prefs->Directory());
  EXPECT_EQ(prefs->Child("lm.pref")->Path(), prefs->Path() + "/lm.pref");
}

TEST(SpecialFolder, PreferencesFolderIsMadeWhenMissing) {
  QTemporaryDir dir;
  const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
  const QString missing = dir.filePath("not/yet");
  qputenv("XDG_CONFIG_HOME", missing.toUtf8());
  const auto prefs = framework::SpecialFolderPreferences();
  qputenv("XDG_CONFIG_HOME", saved);
  ASSERT_TRUE(prefs);
  EXPECT_EQ(prefs->Path(), missing.toStdString());
  EXPECT_TRUE(prefs->Directory());
}

TEST(SpecialFolder, BareNamesLieInTheApplicationFolder) {
  const std::string real = QCoreApplication::applicationDirPath().toStdString();
  EXPECT_EQ(framework::GetFolderItem("olddbtext")->Path(), real + "/olddbtext");

  QTemporaryDir dir;
  framework::setApplicationFolder(dir.path().toStdString());
  const auto item = framework::GetFolderItem("tavikurl");
  ASSERT_TRUE(item);
  EXPECT_EQ(item->Path(), dir.path().toStdString() + "/tavikurl");
  EXPECT_FALSE(item->Exists());
  for (const char* bad : {"", "..", "a/b"}) EXPECT_FALSE(framework::GetFolderItem(bad)) << bad;

  framework::setApplicationFolder("");
  EXPECT_EQ(framework::GetFolderItem("olddbtext")->Path(), real + "/olddbtext");
}

// A user without root cannot write beside an installed program: the user's data folder comes first,
// then the application's folder, then the data installed with the program.
TEST(SpecialFolder, BareNamesAreLookedUpWhereAUserCanPutThem) {
  QTemporaryDir root;
  const QDir top(root.path());
  const QByteArray saved = qgetenv("XDG_DATA_HOME");
  qputenv("XDG_DATA_HOME", top.filePath("home").toUtf8());
  for (const char* folder : {"home/lumeno", "prefix/bin", "prefix/share/lumeno"}) ASSERT_TRUE(top.mkpath(folder));
  framework::setApplicationFolder(top.filePath("prefix/bin").toStdString());
  const auto put = [&](const char* path) { QFile f(top.filePath(path)); ASSERT_TRUE(f.open(QIODevice::WriteOnly)); };
  const auto found = [&] { return framework::GetFolderItem("olddbtext")->Path(); };

  EXPECT_EQ(found(), top.filePath("prefix/bin/olddbtext").toStdString()) << "none anywhere";
  put("prefix/share/lumeno/olddbtext");
  EXPECT_EQ(found(), top.filePath("prefix/share/lumeno/olddbtext").toStdString());
  put("prefix/bin/olddbtext");
  EXPECT_EQ(found(), top.filePath("prefix/bin/olddbtext").toStdString());
  put("home/lumeno/olddbtext");
  EXPECT_EQ(found(), top.filePath("home/lumeno/olddbtext").toStdString());

  framework::setApplicationFolder("");
  qputenv("XDG_DATA_HOME", saved);
}

}  // namespace
