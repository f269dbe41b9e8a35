#include <QCoreApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "framework/SpecialFolder.h"

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

}  // namespace
