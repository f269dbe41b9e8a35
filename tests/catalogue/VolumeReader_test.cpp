#include <gtest/gtest.h>

#include <QDateTime>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <dirent.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <functional>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "CatalogueSql.h"
#include "app/Window1.h"
#include "catalogue/Module1.h"
#include "catalogue/NameIndexing.h"
#include "framework/files/FolderItem.h"
#include "framework/windows/Dialogs.h"
#include "support/TestSupport.h"

namespace {

using testsupport::Row;

// Counts the times a widget is told to show, so a test can tell "never shown" from "shown, hidden".
class ShowCounter : public QObject {
 public:
  explicit ShowCounter(QWidget* w) { w->installEventFilter(this); }
  int shows = 0;

 protected:
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::ShowToParent) ++shows;
    return false;
  }
};

std::string mtimeText(const std::string& path) {
  return QFileInfo(QString::fromStdString(path)).lastModified().toString("yyyy-MM-dd HH:mm:ss").toStdString();
}

std::vector<std::string> names(const std::vector<Row>& rows) {
  std::vector<std::string> out;
  for (const Row& r : rows) out.push_back(r.Name);
  return out;
}

// Removes a tree through directory handles, so depth and path length do not matter.
void removeAt(int dirFd, const char* name) {
  const int fd = ::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd >= 0) {
    std::vector<std::string> entries;
    if (DIR* dir = ::fdopendir(::dup(fd))) {
      while (const dirent* e = ::readdir(dir))
        if (std::string_view(e->d_name) != "." && std::string_view(e->d_name) != "..") entries.emplace_back(e->d_name);
      ::closedir(dir);
    }
    for (const std::string& e : entries) removeAt(fd, e.c_str());
    ::close(fd);
    ::unlinkat(dirFd, name, AT_REMOVEDIR);
  } else {
    ::unlinkat(dirFd, name, 0);
  }
}

class VolumeReaderTest : public testsupport::AppTest {
 protected:
  Window1& w() { return Window1::instance(); }

  // A folder standing for a mounted volume "Vol" (volume 1).
  std::string volume(const std::vector<std::string>& entries) {
    const std::string root = testsupport::makeTree(tmp_.path().toStdString() + "/vol", entries);
    testsupport::mountVolumes({{"Vol", root}});
    return root;
  }

  // Reads volume 1 under `disc` on the main thread, as the reading thread would.
  void read(const std::string& disc, int volNo = 1) {
    w().CDName = disc;
    Module1::VolNo = volNo;
    w().NewCD();
  }

  QTemporaryDir tmp_;
};

TEST_F(VolumeReaderTest, NumbersRecordsInWalkOrderWithTheColumnsOfEachKind) {
  const std::string root = volume({"A/", "A/a1", "B"});
  w();
  Module1::MaxID = 40;
  const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
  read("Disc");

  const auto rows = testsupport::readCatalogue();
  ASSERT_EQ(rows.size(), 4u);
  const struct {
    int No, FolNo;
    const char* Name;
    std::optional<bool> Folder;
    const char* Type;
  } expected[] = {
      {41, 0, "Disc", true, "ディスク"},
      {42, 41, "A", true, "フォルダ"},
      {43, 42, "a1", std::nullopt, " "},
      {44, 41, "B", std::nullopt, " "},
  };
  for (std::size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(expected[i].Name);
    EXPECT_EQ(rows[i].No, expected[i].No);
    EXPECT_EQ(rows[i].FolNo, expected[i].FolNo);
    EXPECT_EQ(rows[i].Name, expected[i].Name);
    EXPECT_EQ(rows[i].Folder, expected[i].Folder);
    EXPECT_EQ(rows[i].CDName, "Disc");
    EXPECT_EQ(rows[i].Type, expected[i].Type);
  }
  // The disc record carries the moment of reading and no size; items their own date and size.
  ASSERT_TRUE(rows[0].DateTime.has_value());
  EXPECT_GE(QDateTime::fromString(QString::fromStdString(*rows[0].DateTime), "yyyy-MM-dd HH:mm:ss"), before);
  EXPECT_FALSE(rows[0].Byte.has_value());
  EXPECT_EQ(rows[1].DateTime, mtimeText(root + "/A"));
  EXPECT_EQ(rows[1].Byte, 0);
  EXPECT_EQ(rows[2].DateTime, mtimeText(root + "/A/a1"));
  EXPECT_EQ(rows[2].Byte, static_cast<int>(QFileInfo(QString::fromStdString(root + "/A/a1")).size()));
  EXPECT_EQ(Module1::MaxID, 44);

  // The list is rebuilt with the new disc, the indicators are hidden again, the user hears it.
  EXPECT_EQ(w().CDName, "");
  ASSERT_EQ(w().CDList().ListCount(), 1);
  EXPECT_EQ(w().CDList().Cell(0, 0), "Disc");
  EXPECT_FALSE(w().ProgressWheel1().Visible());
  EXPECT_FALSE(w().Label1().Visible());
  EXPECT_EQ(beeps(), 1);
  EXPECT_TRUE(msgs().empty());
}

TEST_F(VolumeReaderTest, UnusableDiscNameOrMissingVolumeStoresNothingButEndsLikeARead) {
  volume({"A/", "A/a1"});
  const struct {
    const char* what;
    std::string disc;
    int volNo;
    std::size_t records;
    bool indicators;
  } cases[] = {
      {"empty name", "", 1, 0, false},
      {"one blank", " ", 1, 0, false},
      {"two blanks are a name", "  ", 1, 3, true},
      {"no such volume", "Disc", 7, 0, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    replaceCatalogue({});
    Module1::RefreshNumbering();
    ShowCounter wheel(w().ProgressWheel1().widget());
    w().CDList().DeleteAllRows();
    w().CDList().AddRow("stale");
    beeps() = 0;
    read(c.disc, c.volNo);
    EXPECT_EQ(testsupport::readCatalogue().size(), c.records);
    EXPECT_EQ(wheel.shows > 0, c.indicators);
    EXPECT_FALSE(w().ProgressWheel1().Visible());
    EXPECT_EQ(w().CDList().ListCount(), c.records ? 1 : 0);  // "stale" is gone either way
    EXPECT_EQ(w().CDName, "");
    EXPECT_EQ(beeps(), 1);
    EXPECT_TRUE(msgs().empty());
  }
}

TEST_F(VolumeReaderTest, EmptyVolumeGivesTheDiscRecordAlone) {
  volume({});
  read("Empty");
  const auto rows = testsupport::readCatalogue();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].Type, "ディスク");
}

TEST_F(VolumeReaderTest, SkipsDesktopFolderAtTheTopOnlyHiddenItemsEverywhereAndNeverEntersLinks) {
  const std::string root = volume({"Desktop Folder/", "Desktop Folder/x", "DESKTOP FOLDER", ".hidden/",
                                   ".hidden/h", "Sub/", "Sub/.h2/", "Sub/.h2/z", "Sub/.dot",
                                   "Sub/Desktop Folder/", "Sub/Desktop Folder/y", "Sub/keep"});
  std::filesystem::create_directory_symlink(root, root + "/Sub/loop");
  read("Disc");
  const auto rows = testsupport::readCatalogue();
  EXPECT_EQ(names(rows), (std::vector<std::string>{"Disc", "Sub", "Desktop Folder", "y", "keep", "loop"}));
  ASSERT_EQ(rows.size(), 6u);
  EXPECT_EQ(rows[5].Folder, std::nullopt);  // the link is an item of its own, not a folder
  EXPECT_EQ(rows[5].FolNo, rows[1].No);
}

TEST_F(VolumeReaderTest, AnEntryThatVanishesDuringTheWalkIsSkippedAndTheWalkGoesOn) {
  const std::string root = volume({"F/", "F/a", "F/b", "F/c"});
  w();
  Module1::MaxID = 0;
  w().CDName = "Disc";
  framework::FolderItem folder(root + "/F");
  ASSERT_EQ(folder.Count(), 3);  // listed now, as the walk lists a folder before storing it
  std::filesystem::remove(root + "/F/b");
  w().CollectInfoitem(folder, 7);
  Module1::db->Commit();
  EXPECT_EQ(names(testsupport::readCatalogue()), (std::vector<std::string>{"F", "a", "c"}));
  EXPECT_TRUE(msgs().empty());
}

TEST_F(VolumeReaderTest, ATreeDeeperThanPathMaxIsReadWhole) {
  const std::string root = volume({});
  // 20 nested folders, each name 254 bytes (84 Japanese characters and "ab"): about 5,100 bytes.
  std::string name = "ab";
  for (int i = 0; i < 84; ++i) name += "\xe3\x81\x82";  // あ
  ASSERT_EQ(name.size(), 254u);
  int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY);
  for (int level = 0; level < 20; ++level) {
    ASSERT_EQ(::mkdirat(fd, name.c_str(), 0755), 0);
    const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
    ::close(fd);
    fd = next;
  }
  ::close(::openat(fd, "bottom.txt", O_CREAT | O_WRONLY, 0644));
  ::close(fd);

  const auto openHandles = [] {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), std::filesystem::directory_iterator());
  };
  // The catalogue, once checked, the kind texts and the name index's worker open what they keep open.
  w();
  ASSERT_TRUE(waitUntil([] { return Module1::Changeable(); }));
  read("Warm");
  ASSERT_TRUE(waitUntil([] { return NameIndexing::Idle(); }));
  const auto handlesBefore = openHandles();
  read("Deep");
  ASSERT_TRUE(waitUntil([] { return NameIndexing::Idle(); }));
  // The folders' handles are all closed again (the workers beside the window open and close their
  // own files at moments of their own, so the count may dip meanwhile).
  EXPECT_TRUE(waitUntil([&] { return openHandles() <= handlesBefore; })) << openHandles() << " > " << handlesBefore;
  const int rootFd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY);
  removeAt(rootFd, name.c_str());
  ::close(rootFd);
  std::vector<Row> rows;
  for (const Row& r : testsupport::readCatalogue())
    if (r.CDName == "Deep") rows.push_back(r);
  ASSERT_EQ(rows.size(), 22u);
  for (std::size_t i = 1; i <= 20; ++i) {
    EXPECT_EQ(rows[i].Name, name);
    EXPECT_EQ(rows[i].FolNo, rows[i - 1].No);
  }
  EXPECT_EQ(rows[21].Name, "bottom.txt");
  EXPECT_TRUE(msgs().empty());
}

TEST_F(VolumeReaderTest, AFolderSwappedBetweenListingAndOpeningIsNotEnteredAndIsCounted) {
  const std::string outside = testsupport::makeTree(tmp_.path().toStdString() + "/outside", {"secret"});
  const struct {
    const char* what;
    std::function<void(const std::string& folder)> swap;
  } cases[] = {
      {"for a link", [&](const std::string& folder) {
         std::filesystem::create_directory_symlink(outside, folder + ".link");
         ::renameat2(AT_FDCWD, (folder + ".link").c_str(), AT_FDCWD, folder.c_str(), RENAME_EXCHANGE);
       }},
      {"for another folder", [&](const std::string& folder) {
         ::renameat2(AT_FDCWD, outside.c_str(), AT_FDCWD, folder.c_str(), RENAME_EXCHANGE);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(tmp_.path().toStdString() + "/vol");
    const std::string root = volume({"A/", "A/a1", "B"});
    replaceCatalogue({});
    msgs().clear();
    bool swapped = false;
    framework::setOpenFolderHook([&](const std::string& path) {
      if (path == root + "/A" && !swapped) {
        swapped = true;
        c.swap(path);
      }
      return 0;
    });
    read("Disc");
    framework::setOpenFolderHook({});
    EXPECT_TRUE(swapped);
    // A is stored as it was listed, with nothing of what took its place.
    EXPECT_EQ(names(testsupport::readCatalogue()), (std::vector<std::string>{"Disc", "A", "B"}));
    EXPECT_EQ(msgs(), std::vector<std::string>{"1 個のフォルダを読み込めませんでした。"});
    // Back where they were, for the next case.
    if (std::filesystem::is_directory(root + "/A.link"))
      ::renameat2(AT_FDCWD, (root + "/A.link").c_str(), AT_FDCWD, (root + "/A").c_str(), RENAME_EXCHANGE);
    else if (!std::filesystem::exists(outside + "/secret"))
      ::renameat2(AT_FDCWD, outside.c_str(), AT_FDCWD, (root + "/A").c_str(), RENAME_EXCHANGE);
  }
}

TEST_F(VolumeReaderTest, FoldersRemovedOrSwappedWhileReadAheadLeaveAWholeTreeAndNoHandleOrWorker) {
  // Each file's name tells the folders above it, so a listing given to the wrong folder shows.
  std::vector<std::string> entries;
  for (int d = 0; d < 30; ++d) {
    const std::string top = "d" + std::to_string(d);
    entries.push_back(top + "/");
    for (int s = 0; s < 3; ++s) {
      const std::string sub = "s" + std::to_string(s);
      entries.push_back(top + "/" + sub + "/");
      for (int f = 0; f < 20; ++f) entries.push_back(top + "/" + sub + "/" + top + sub + "f" + std::to_string(f));
    }
  }
  const std::string root = volume(entries);
  const std::string outside = testsupport::makeTree(tmp_.path().toStdString() + "/outside", {"s0/", "s0/secret"});
  const auto count = [](const char* dir) {
    return std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator());
  };
  read("Warm");  // the catalogue and the kind texts open what they keep open
  replaceCatalogue({});
  msgs().clear();
  const auto handlesBefore = count("/proc/self/fd"), threadsBefore = count("/proc/self/task");

  // While the workers open d5, later folders go away or give their place to another tree.
  bool changed = false;
  framework::setOpenFolderHook([&](const std::string& path) {
    if (path == root + "/d5" && !changed) {
      changed = true;
      for (int d = 8; d < 14; ++d) std::filesystem::remove_all(root + "/d" + std::to_string(d) + "/s1");
      ::renameat2(AT_FDCWD, outside.c_str(), AT_FDCWD, (root + "/d20").c_str(), RENAME_EXCHANGE);
      std::filesystem::remove_all(root + "/d25");
    }
    return 0;
  });
  read("Disc");
  framework::setOpenFolderHook({});
  EXPECT_TRUE(changed);

  const auto rows = testsupport::readCatalogue();
  ASSERT_FALSE(rows.empty());
  std::map<std::int32_t, const Row*> stored;
  for (const Row& r : rows) {
    // Numbered in walk order, each record after its parent.
    if (!stored.empty()) {
      EXPECT_EQ(r.No, stored.rbegin()->first + 1);
      ASSERT_TRUE(stored.count(r.FolNo)) << r.Name;
    }
    EXPECT_NE(r.Name, "secret");
    if (!r.Folder) {
      const Row& sub = *stored.at(r.FolNo);
      const Row& top = *stored.at(sub.FolNo);
      EXPECT_EQ(r.Name.rfind(top.Name + sub.Name + "f", 0), 0u) << r.Name;
    }
    stored[r.No] = &r;
  }
  // The workers beside the window open and close their own files at moments of their own.
  EXPECT_TRUE(waitUntil([&] { return count("/proc/self/fd") <= handlesBefore; }));
  EXPECT_EQ(count("/proc/self/task"), threadsBefore);
}

TEST_F(VolumeReaderTest, FoldersThatCannotBeOpenedAreStoredCountedAndReportedAfterTheRead) {
  const std::string root = volume({"A/", "A/a1", "B/", "B/b1", "C/", "C/c1", "D"});
  ASSERT_EQ(::mkfifo((root + "/pipe").c_str(), 0644), 0);
  // A socket as well: special files are stored as items and never opened.
  const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socketPath = root + "/socket";
  std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  framework::setOpenFolderHook([&](const std::string& path) {
    return path == root + "/A" || path == root + "/C" ? EACCES : 0;
  });
  std::vector<std::string> messagesAtBeep;
  framework::setBeepHook([&] { messagesAtBeep = msgs(); });
  read("Disc");
  framework::setOpenFolderHook({});
  ::close(sock);
  const auto rows = testsupport::readCatalogue();
  EXPECT_EQ(names(rows), (std::vector<std::string>{"Disc", "A", "B", "b1", "C", "D", "pipe", "socket"}));
  EXPECT_EQ(rows[1].Folder, true);
  EXPECT_EQ(rows[6].Folder, std::nullopt);
  // After the rebuilt list and the beep, once.
  EXPECT_TRUE(messagesAtBeep.empty());
  EXPECT_EQ(msgs(), std::vector<std::string>{"2 個のフォルダを読み込めませんでした。"});
  EXPECT_EQ(w().CDList().ListCount(), 1);
}

TEST_F(VolumeReaderTest, ByteHoldsTheWholeLengthAndAFoldersIsZero) {
  const std::string root = volume({"big", "huge", "mid", "small", "sub/"});
  const struct {
    const char* name;
    std::int64_t length;
  } cases[] = {
      {"big", (std::int64_t{1} << 32) + 5},
      {"huge", std::int64_t{3} << 30},
      {"mid", std::int64_t{1} << 31},
      {"small", 2147483647},
  };
  for (const auto& c : cases) {
    QFile f(QString::fromStdString(root + "/" + c.name));
    ASSERT_TRUE(f.resize(c.length)) << c.name;  // sparse: no disc space is used
  }
  read("Disc");
  const auto rows = testsupport::readCatalogue();
  ASSERT_EQ(rows.size(), 6u);
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(rows[i + 1].Name, cases[i].name);
    EXPECT_EQ(rows[i + 1].Byte, cases[i].length) << cases[i].name;
  }
  EXPECT_EQ(rows[5].Name, "sub");
  EXPECT_EQ(rows[5].Byte, 0);
  // The list's size cell shows the stored value whole.
  w().CDList().setListIndex(0);
  w().CDList().setExpanded(0, true);
  ASSERT_GE(w().CDList().ListCount(), 2);
  EXPECT_EQ(w().CDList().Cell(1, 2), "4294967301");
}

TEST_F(VolumeReaderTest, KindTextOfAKnownTypeOrOneBlank) {
  volume({"notes.txt", "payload"});
  read("Disc");
  const auto rows = testsupport::readCatalogue();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1].Name, "notes.txt");
  EXPECT_NE(rows[1].Type, " ");
  EXPECT_FALSE(rows[1].Type.empty());
  EXPECT_LE(rows[1].Type.size(), 63u);
  EXPECT_EQ(rows[2].Type, " ");
}

TEST_F(VolumeReaderTest, NamesAreStoredComposed) {
  volume({"\xe3\x81\x8b\xe3\x82\x99/", "\xe3\x81\x8b\xe3\x82\x99/Cafe\xcc\x81.txt"});
  read("\xe3\x83\x86\xe3\x82\x99\xe3\x82\xa3\xe3\x82\xb9\xe3\x82\xaf");  // デ decomposed, ィスク
  const auto rows = testsupport::readCatalogue();
  const std::string disc = "\xe3\x83\x87\xe3\x82\xa3\xe3\x82\xb9\xe3\x82\xaf";
  EXPECT_EQ(names(rows), (std::vector<std::string>{disc, "\xe3\x81\x8c", "Caf\xc3\xa9.txt"}));
  for (const Row& r : rows) EXPECT_EQ(r.CDName, disc);
}

}  // namespace
