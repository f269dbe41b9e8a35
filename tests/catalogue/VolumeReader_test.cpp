#include <gtest/gtest.h>

#include <QDateTime>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/Window1.h"
#include "catalogue/Module1.h"
#include "CatalogueSql.h"
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
  EXPECT_TRUE(rows[1].Byte.has_value());
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

TEST_F(VolumeReaderTest, ByteHoldsTheLow32BitsOfTheLengthAsASignedValue) {
  const std::string root = volume({"big", "huge", "mid", "small"});
  const struct {
    const char* name;
    std::int64_t length;
    int stored;
  } cases[] = {
      {"big", (std::int64_t{1} << 32) + 5, 5},
      {"huge", std::int64_t{3} << 30, -1073741824},
      {"mid", std::int64_t{1} << 31, INT32_MIN},
      {"small", 2147483647, 2147483647},
  };
  for (const auto& c : cases) {
    QFile f(QString::fromStdString(root + "/" + c.name));
    ASSERT_TRUE(f.resize(c.length)) << c.name;  // sparse: no disc space is used
  }
  read("Disc");
  const auto rows = testsupport::readCatalogue();
  ASSERT_EQ(rows.size(), 5u);
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(rows[i + 1].Name, cases[i].name);
    EXPECT_EQ(rows[i + 1].Byte, cases[i].stored) << cases[i].name;
  }
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
