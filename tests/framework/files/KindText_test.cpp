#include <QLocale>
#include <QMimeDatabase>
#include <algorithm>
#include <gtest/gtest.h>

#include "framework/files/KindText.h"

using framework::FolderItem;
using framework::GetDocumentKindString;
using framework::MemoryBlock;

namespace {

// The whole file runs in Russian: some of its descriptions are longer than 63 bytes, at two bytes a
// letter, so the cut has a character boundary to respect; and it shows the user's language is used.
const bool inRussian = [] {
  QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
  return true;
}();

bool wellFormedUtf8(const std::string& s) { return QString::fromUtf8(s).toUtf8().toStdString() == s; }

TEST(MemoryBlock, PStringReadsTheLengthPrefixedText) {
  MemoryBlock block = framework::NewMemoryBlock(8);
  EXPECT_EQ(block.Size(), 8u);
  EXPECT_EQ(block.PString(0), "");  // zero-filled
  block.data()[2] = 3;
  block.data()[3] = 'a';
  block.data()[4] = 'b';
  block.data()[5] = 'c';
  EXPECT_EQ(block.PString(2), "abc");
  block.data()[5] = 200;  // longer than what is left of the block
  block.data()[2] = 250;
  EXPECT_EQ(block.PString(2).size(), 5u);
  EXPECT_EQ(block.PString(8), "");
  EXPECT_EQ(block.PString(100), "");
}

TEST(KindText, KnownNamesGiveTheirTypesDescription) {
  for (const char* name : {"a.txt", "a.pdf", "photo.JPG", "archive.tar.gz"}) {
    MemoryBlock buffer(64);
    ASSERT_EQ(GetDocumentKindString(FolderItem(std::string("/nowhere/") + name), buffer), 0) << name;
    const std::string kind = buffer.PString(0);
    EXPECT_FALSE(kind.empty()) << name;
    EXPECT_LE(kind.size(), 63u) << name;
    EXPECT_TRUE(wellFormedUtf8(kind)) << name;
    const QString expected = QMimeDatabase().mimeTypeForFile(name, QMimeDatabase::MatchExtension).comment();
    EXPECT_TRUE(expected.toStdString().starts_with(kind)) << name;
  }
}

TEST(KindText, DescriptionIsInTheUsersLanguage) {
  MemoryBlock buffer(64);
  ASSERT_EQ(GetDocumentKindString(FolderItem("a.txt"), buffer), 0);
  const QString kind = QString::fromStdString(buffer.PString(0));
  EXPECT_TRUE(std::any_of(kind.begin(), kind.end(), [](QChar c) { return c.script() == QChar::Script_Cyrillic; }))
      << buffer.PString(0);
}

// The cache must give for every name what the database itself gives, whatever was asked before.
TEST(KindText, CachedAnswersAgreeWithTheDatabase) {
  const char* const names[] = {
      "a.txt",       "b.txt",      "CMakeLists.txt", "meson_options.txt", "a.TXT",    "x.c",
      "x.C",         "x.cc",       "a.tar.gz",       "b.gz",              "c.tar.bz2", "d.pkg.tar.zst",
      "Makefile",    "makefile",   "GNUmakefile",    "notes.txt~",        "file.1",    "page.3.gz",
      "a.b.c.pdf",   "pom.xml",    "x.xml",          "core",              "cores",     ".bashrc",
      "SConscript.py", "README",   "README.md",      "2019.05.01.jpg",    "name.",     "...",
      "x.anim5",     "x.anim",     "noextension",    "日本語.txt",        "写真.JPG",  "a,v"};
  const QMimeDatabase db;
  for (int pass = 0; pass < 2; ++pass) {
    for (const char* name : names) {
      const QMimeType type = db.mimeTypeForFile(QString::fromUtf8(name), QMimeDatabase::MatchExtension);
      MemoryBlock buffer(64);
      const int result = GetDocumentKindString(FolderItem(std::string("/x/") + name), buffer);
      if (type.isDefault()) {
        EXPECT_NE(result, 0) << name;
      } else {
        ASSERT_EQ(result, 0) << name;
        const std::string expected = type.comment().trimmed().toStdString();
        if (expected.size() <= 63) EXPECT_EQ(buffer.PString(0), expected) << name;
        else EXPECT_TRUE(expected.starts_with(buffer.PString(0))) << name;
      }
    }
  }
}

TEST(KindText, NoKnownTypeFailsAndLeavesTheBuffer) {
  for (const char* name : {"noextension", "a.unknownext42", ""}) {
    MemoryBlock buffer(64);
    buffer.data()[0] = 2;
    buffer.data()[1] = 'o';
    buffer.data()[2] = 'k';
    EXPECT_NE(GetDocumentKindString(FolderItem(std::string("/nowhere/") + name), buffer), 0) << name;
    EXPECT_EQ(buffer.PString(0), "ok") << name;
  }
  MemoryBlock small(10);
  EXPECT_NE(GetDocumentKindString(FolderItem("/nowhere/a.txt"), small), 0);
  EXPECT_EQ(small.PString(0), "");
}

TEST(KindText, LongDescriptionIsCutAtACharacterBoundary) {
  QMimeDatabase db;
  for (const QMimeType& type : db.allMimeTypes()) {
    const QByteArray comment = type.comment().trimmed().toUtf8();
    if (comment.size() <= 63 || type.globPatterns().isEmpty()) continue;
    const QString pattern = type.globPatterns().first();
    if (!pattern.startsWith("*.") || pattern.contains('[') || pattern.contains('?') || pattern.count('*') != 1) continue;
    const std::string name = "f" + pattern.mid(1).toStdString();
    if (db.mimeTypeForFile(QString::fromStdString(name), QMimeDatabase::MatchExtension) != type) continue;
    MemoryBlock buffer(64);
    ASSERT_EQ(GetDocumentKindString(FolderItem("/nowhere/" + name), buffer), 0) << name;
    const std::string kind = buffer.PString(0);
    EXPECT_LE(kind.size(), 63u);
    EXPECT_GE(kind.size(), 60u);  // cut, not dropped
    EXPECT_TRUE(wellFormedUtf8(kind));
    EXPECT_TRUE(comment.toStdString().starts_with(kind));
    return;
  }
  GTEST_SKIP() << "no description longer than 63 bytes in this MIME database";
}

}  // namespace
