#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <filesystem>
#include <functional>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

#include "app/Window1.h"
#include "catalogue/Class1.h"
#include "catalogue/Module1.h"
#include "catalogue/NameIndexing.h"
#include "framework/database/Database.h"
#include "framework/threads/Thread.h"
#include "framework/windows/Dialogs.h"
#include "support/TestSupport.h"

namespace {

using testsupport::Row;

const std::string kMissingFile =
    "「ドラヴェル」ソフトを使って、移行用のファイルを作成、このソフト本体と同じフォルダにそれを入れてから実行してください。"
    "※必ず新たにディスクを読み込む前に移行を終わらせてください。";

// Mac OS Japanese bytes and their UTF-8 forms. 0x835C is "ソ" (its trail byte is the encoding's
// yen sign when alone), 0x5C the yen sign, 0x80 the backslash, 0x8540 a circled digit that
// Shift_JIS lacks.
const std::string kDiscMac = "\x83\x5C\x83\x74\x83\x67\x5C\x80\x85\x40";
const std::string kDiscUtf8 = "ソフト¥\\①";
const std::string kDiskKindMac = "\x83\x66\x83\x42\x83\x58\x83\x4E";
const std::string kDiskKindUtf8 = "ディスク";
const std::string kFileMac = "\x93\xFA\x96\x7B\x82\xA0.txt";
const std::string kFileUtf8 = "日本あ.txt";
const std::string kTextKindMac = "\x83\x65\x83\x4C\x83\x58\x83\x67";
const std::string kTextKindUtf8 = "テキスト";

// One record of the old catalogue, its nine lines in the file's order.
struct Old {
  std::string name, date, kind, no, disc, folNo, folder, bytes, time;
};

Old discRecord(int no) { return {kDiscMac, "2006-03-01", kDiskKindMac, std::to_string(no), kDiscMac, "0", "true", "0", "12:34:56"}; }
Old fileRecord(int no, int parent) {
  return {kFileMac, "2005-12-31", kTextKindMac, std::to_string(no), kDiscMac, std::to_string(parent), "false", "123456", "23:59:59"};
}

std::string linesOf(const std::vector<Old>& records, const std::string& eol = "\n") {
  std::string text;
  for (const Old& r : records)
    for (const std::string* line : {&r.name, &r.date, &r.kind, &r.no, &r.disc, &r.folNo, &r.folder, &r.bytes, &r.time})
      text += *line + eol;
  return text;
}

class OldCatalogueImportTest : public testsupport::AppTest {
 protected:
  Window1& w() { return Window1::instance(); }

  void place(const std::string& bytes) { std::ofstream(appDir() + "/olddbtext", std::ios::binary) << bytes; }

  std::vector<int> numbers() {
    std::vector<int> out;
    for (const Row& r : testsupport::readCatalogue()) out.push_back(r.No);
    return out;
  }
  std::optional<Row> row(int no) {
    for (const Row& r : testsupport::readCatalogue())
      if (r.No == no) return r;
    return std::nullopt;
  }
  // Date and Time of one row, from a connection of its own.
  std::pair<std::string, std::string> dateAndTime(int no) {
    auto other = framework::DatabaseItem("lumeno");
    auto rs = other->SQLSelect("SELECT Date, Time FROM Folder1 WHERE No = " + std::to_string(no));
    if (!rs || rs->Eof()) return {};
    return {rs->Field("Date").StringValue(), rs->Field("Time").StringValue()};
  }

  QTemporaryDir tmpDir_;
};

TEST_F(OldCatalogueImportTest, TwoRecordsArriveConvertedUnderEveryLineEnd) {
  const std::pair<const char*, std::string> ends[] = {{"LF", "\n"}, {"CR", "\r"}, {"CRLF", "\r\n"}};
  int base = 0;
  for (const auto& [what, eol] : ends) {
    SCOPED_TRACE(what);
    base += 10;
    place(linesOf({discRecord(base + 1), fileRecord(base + 2, base + 1)}, eol));
    w().CDName = "left over";
    const int beepsBefore = beeps();
    w().OldDbReading();

    const auto disc = row(base + 1);
    const auto file = row(base + 2);
    ASSERT_TRUE(disc && file);
    EXPECT_EQ(disc->Name, kDiscUtf8);
    EXPECT_EQ(disc->CDName, kDiscUtf8);
    EXPECT_EQ(disc->Type, kDiskKindUtf8);
    EXPECT_EQ(disc->FolNo, 0);
    EXPECT_EQ(disc->Folder, true);
    EXPECT_EQ(disc->Byte, 0);
    EXPECT_EQ(file->Name, kFileUtf8);
    EXPECT_EQ(file->Type, kTextKindUtf8);
    EXPECT_EQ(file->CDName, kDiscUtf8);
    EXPECT_EQ(file->FolNo, base + 1);
    EXPECT_EQ(file->Folder, false);
    EXPECT_EQ(file->Byte, 123456);
    EXPECT_EQ(dateAndTime(base + 1), std::make_pair(std::string("2006-03-01 12:34:56"), std::string("2006-03-01 12:34:56")));
    EXPECT_EQ(dateAndTime(base + 2), std::make_pair(std::string("2005-12-31 23:59:59"), std::string("2005-12-31 23:59:59")));

    EXPECT_EQ(Module1::MaxID, base + 2);
    EXPECT_EQ(w().CDName, "");
    // Emptied and refilled: one collapsed row per disc record so far.
    ASSERT_EQ(w().CDList().ListCount(), base / 10);
    EXPECT_EQ(w().CDList().Cell(0, 0), kDiscUtf8);
    EXPECT_EQ(beeps(), beepsBefore + 1);
  }
  EXPECT_EQ(testsupport::readCatalogue().size(), 6u);
  EXPECT_TRUE(msgs().empty());
}

TEST_F(OldCatalogueImportTest, OnlyTrueInAnyCaseMakesAFolder) {
  const std::pair<std::string, bool> flags[] = {{"true", true}, {"TRUE", true},   {"false", false},
                                                {"1", false},   {"", false},      {"true ", false}};
  std::vector<Old> records;
  for (std::size_t i = 0; i < std::size(flags); ++i) {
    Old r = fileRecord(static_cast<int>(i) + 1, 0);
    r.folder = flags[i].first;
    records.push_back(r);
  }
  place(linesOf(records));
  w().OldDbReading();
  const auto rows = testsupport::readCatalogue();
  ASSERT_EQ(rows.size(), std::size(flags));
  for (std::size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE("line 7 \"" + flags[i].first + "\"");
    EXPECT_EQ(rows[i].Folder, flags[i].second);
  }
}

TEST_F(OldCatalogueImportTest, MissingOrUnopenableFileGivesOnlyTheMessage) {
  testsupport::writeCatalogue({{3, 0, "Old", true, "Old", "ディスク", "2001-01-01 00:00:00", std::nullopt}});
  w().CDName = "chosen";
  const int listed = w().CDList().ListCount();
  for (bool folder : {false, true}) {
    SCOPED_TRACE(folder ? "a folder named olddbtext" : "no file");
    if (folder) std::filesystem::create_directory(appDir() + "/olddbtext");
    msgs().clear();
    w().OldDbReading();
    EXPECT_EQ(msgs(), std::vector<std::string>{kMissingFile});
    EXPECT_EQ(beeps(), 0);
    EXPECT_EQ(numbers(), std::vector<int>{3});
    EXPECT_EQ(w().CDList().ListCount(), listed);
    EXPECT_EQ(w().CDName, "chosen");
  }
}

TEST_F(OldCatalogueImportTest, TheLastLineNeedsNoEnd) {
  std::string one = linesOf({discRecord(7)});
  one.pop_back();
  place(one);
  w().OldDbReading();
  EXPECT_EQ(numbers(), std::vector<int>{7});
  EXPECT_TRUE(msgs().empty());
  EXPECT_EQ(beeps(), 1);
}

// One fixture file a case: what the import says, which of the file's rows land, whether it beeps.
TEST_F(OldCatalogueImportTest, EveryRowNotStoredIsToldAndTheImportLandsWholeOrNotAtAll) {
  const std::string kUnique = "19 UNIQUE constraint failed: Folder1.No";
  auto fileWith = [](int base, Old second) {
    return linesOf({discRecord(base + 1), second, fileRecord(base + 3, base + 1)});
  };
  const struct {
    const char* what;
    std::function<void(int base)> setUp;
    std::vector<int> landed;  // added to base
    std::vector<std::string> said;
    bool beeps;
  } cases[] = {
      {"repeated number mid-file",
       [&](int b) { place(linesOf({discRecord(b + 1), fileRecord(b + 2, b + 1), fileRecord(b + 2, b + 1), fileRecord(b + 3, b + 1)})); },
       {1, 2, 3}, {kUnique, "移行用ファイルの 1 件のレコードを保存できませんでした。"}, true},
      {"short last record",
       [&](int b) { place(linesOf({discRecord(b + 1)}) + "name\n2001-01-01\nkind\n" + std::to_string(b + 2) + "\n"); },
       {1}, {"移行用ファイルの 1 件のレコードを読み込めませんでした。"}, true},
      {"a blank line after the last record", [&](int b) { place(linesOf({discRecord(b + 1)}) + "\n"); },
       {1}, {"移行用ファイルの 1 件のレコードを読み込めませんでした。"}, true},
      {"nothing but a short record", [&](int) { place("a\nb\nc\n"); },
       {}, {"移行用ファイルの 1 件のレコードを読み込めませんでした。"}, false},
      {"empty file", [&](int) { place(""); }, {}, {"移行用ファイルにレコードがありませんでした。"}, false},
      {"numbers a later read could not follow",
       [&](int b) {
         Old highNo = fileRecord(2147483647, b + 1), highParent = fileRecord(b + 4, 2147483647);
         Old zeroNo = fileRecord(0, b + 1), negativeParent = fileRecord(b + 5, -1);
         place(linesOf({discRecord(b + 1), highNo, highParent, zeroNo, negativeParent, fileRecord(b + 2, b + 1)}));
       },
       {1, 2}, {"移行用ファイルの 4 件のレコードを読み込めませんでした。"}, true},
      {"line just over 1 MiB",
       [&](int b) {
         Old huge = fileRecord(b + 2, b + 1);
         huge.name.assign((1 << 20) + 1, 'x');
         place(fileWith(b, huge));
       },
       {}, {"移行用ファイルを読み込めませんでした。"}, false},
      {"line of exactly 1 MiB",
       [&](int b) {
         Old big = fileRecord(b + 2, b + 1);
         big.name.assign(1 << 20, 'x');
         place(fileWith(b, big));
       },
       {1, 2, 3}, {}, true},
      {"named pipe", [&](int) { ASSERT_EQ(::mkfifo((appDir() + "/olddbtext").c_str(), 0600), 0); },
       {}, {kMissingFile}, false},
      {"full catalogue",
       [&](int b) {
         // Room for a few more pages only: the rows of this file need many.
         auto pages = Module1::db->SQLSelect("PRAGMA page_count");
         ASSERT_TRUE(pages);
         const int count = pages->IdxField(1).IntegerValue();
         ASSERT_TRUE(Module1::db->SQLSelect("PRAGMA max_page_count = " + std::to_string(count + 3)));
         std::vector<Old> records = {discRecord(b + 1)};
         for (int i = 2; i < 60; ++i) {
           Old r = fileRecord(b + i, b + 1);
           r.name.assign(3000, 'n');
           records.push_back(r);
         }
         place(linesOf(records));
       },
       {}, {"13 database or disk is full"}, false},
  };
  w();
  int base = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    base += 100;
    std::filesystem::remove(appDir() + "/olddbtext");
    c.setUp(base);
    const std::vector<int> before = numbers();
    msgs().clear();
    const int beepsBefore = beeps();
    w().OldDbReading();

    std::vector<int> expected = before;
    for (int n : c.landed) expected.push_back(base + n);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(numbers(), expected);
    EXPECT_EQ(msgs(), c.said);
    EXPECT_EQ(beeps(), beepsBefore + (c.beeps ? 1 : 0));
  }
}

TEST_F(OldCatalogueImportTest, UnreadableRecordsAreLeftOutAndCounted) {
  const std::vector<std::pair<const char*, Old>> bad = [] {
    std::vector<std::pair<const char*, Old>> v;
    auto add = [&](const char* what, auto change) {
      Old r = fileRecord(100 + static_cast<int>(v.size()), 1);
      change(r);
      v.push_back({what, r});
    };
    add("number with letters", [](Old& r) { r.no = "12a"; });
    add("empty number", [](Old& r) { r.no = ""; });
    add("parent beyond 32 bits", [](Old& r) { r.folNo = "3000000000"; });
    add("signed number", [](Old& r) { r.no = "+12"; });
    add("negative size beyond 32 bits", [](Old& r) { r.bytes = "-2147483649"; });
    add("negative zero size", [](Old& r) { r.bytes = "-0"; });
    add("size beyond 64 bits", [](Old& r) { r.bytes = "9223372036854775808"; });
    add("fractional size", [](Old& r) { r.bytes = "1.5"; });
    add("size with a blank", [](Old& r) { r.bytes = " 5"; });
    add("date with slashes", [](Old& r) { r.date = "2006/03/01"; });
    add("hour 25", [](Old& r) { r.time = "25:00:00"; });
    add("no such day", [](Old& r) { r.date = "2006-02-30"; });
    return v;
  }();
  std::vector<Old> records = {discRecord(1)};
  for (const auto& b : bad) records.push_back(b.second);
  // The edges of the ranges are readable; the last record must not inherit anything from the bad ones.
  Old last = fileRecord(2147483646, 1);
  last.bytes = "9223372036854775807";
  last.name = "last";
  records.push_back(last);
  place(linesOf(records));

  std::size_t msgsAtBeep = 0;
  framework::setBeepHook([&] { msgsAtBeep = msgs().size(); ++beeps(); });
  w().OldDbReading();
  framework::setBeepHook([this] { ++beeps(); });

  EXPECT_EQ(numbers(), (std::vector<int>{1, 2147483646}));
  const auto kept = row(2147483646);
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->Name, "last");
  EXPECT_EQ(kept->DateTime, "2005-12-31 23:59:59");
  auto other = framework::DatabaseItem("lumeno");
  auto size = other->SQLSelect("SELECT Byte FROM Folder1 WHERE No = 2147483646");
  ASSERT_TRUE(size && !size->Eof());
  EXPECT_EQ(size->Field("Byte").StringValue(), "9223372036854775807");
  EXPECT_EQ(msgs(), std::vector<std::string>{"移行用ファイルの 12 件のレコードを読み込めませんでした。"});
  EXPECT_EQ(msgsAtBeep, 1u);
  EXPECT_EQ(beeps(), 1);
}

// Earlier versions wrote sizes of 2 to 4 GiB as negative 32-bit numbers.
TEST_F(OldCatalogueImportTest, OldNegativeSizesComeBackWhole) {
  const std::vector<std::pair<std::string, std::int64_t>> sizes = {
      {"-1073741824", 3221225472}, {"-1", 4294967295}, {"-2147483648", 2147483648}};
  std::vector<Old> records = {discRecord(1)};
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    records.push_back(fileRecord(2 + static_cast<int>(i), 1));
    records.back().bytes = sizes[i].first;
  }
  place(linesOf(records));
  w().OldDbReading();
  EXPECT_TRUE(msgs().empty());
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    SCOPED_TRACE(sizes[i].first);
    const auto kept = row(2 + static_cast<int>(i));
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->Byte, sizes[i].second);
  }
}

TEST_F(OldCatalogueImportTest, AReadAfterTheImportNumbersAboveTheImportedRows) {
  const std::string root = testsupport::makeTree(tmpDir_.path().toStdString() + "/vol", {"f"});
  testsupport::mountVolumes({{"Vol", root}});
  w();
  place(linesOf({discRecord(42), fileRecord(5, 42)}));
  w().OldDbReading();
  EXPECT_EQ(Module1::MaxID, 42);

  w().CDName = "Vol";
  Module1::VolNo = 1;
  w().NewCD();
  EXPECT_EQ(numbers(), (std::vector<int>{5, 42, 43, 44}));
}

// The disk fills while the rows are written out at the commit: files may grow only a little.
TEST_F(OldCatalogueImportTest, ACommitThatFailsKeepsNothing) {
  testsupport::writeCatalogue({{3, 0, "Old", true, "Old", "ディスク", "2001-01-01 00:00:00", std::nullopt}});
  w();
  // The file is made ready for changes (its journal mode) once it has been checked, and the name
  // index has settled its files, before the disk fills.
  ASSERT_TRUE(waitUntil([] { return Module1::Changeable() && NameIndexing::Idle(); }));
  std::vector<Old> records = {discRecord(10)};
  for (int i = 11; i < 60; ++i) {
    Old r = fileRecord(i, 10);
    r.name.assign(3000, 'n');
    records.push_back(r);
  }
  place(linesOf(records));
  std::uintmax_t largest = 0;
  for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(testsupport::cataloguePath()).parent_path())) {
    // The engine's passing files may be gone by now.
    std::error_code gone;
    const std::uintmax_t size = entry.file_size(gone);
    if (!gone) largest = std::max(largest, size);
  }
  rlimit saved {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = largest + 8192;
  const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  w().OldDbReading();
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, oldHandler);

  ASSERT_EQ(msgs().size(), 1u);
  EXPECT_EQ(msgs()[0].substr(0, 3), "10 ") << msgs()[0];
  EXPECT_EQ(numbers(), std::vector<int>{3});
  EXPECT_EQ(beeps(), 0);
  // The connection goes on working.
  place(linesOf({discRecord(20)}));
  msgs().clear();
  w().OldDbReading();
  EXPECT_TRUE(msgs().empty());
  EXPECT_EQ(numbers(), (std::vector<int>{3, 20}));
}

TEST_F(OldCatalogueImportTest, ASecondImportOfTheSameFileRefusesAndCountsEveryRow) {
  place(linesOf({discRecord(1), fileRecord(2, 1)}));
  w().OldDbReading();
  const auto before = testsupport::readCatalogue();
  ASSERT_EQ(before.size(), 2u);
  w().CDName = "chosen";

  w().OldDbReading();
  EXPECT_EQ(msgs(), (std::vector<std::string>{"19 UNIQUE constraint failed: Folder1.No",
                                              "移行用ファイルの 2 件のレコードを保存できませんでした。"}));
  EXPECT_EQ(testsupport::readCatalogue(), before);
  EXPECT_EQ(Module1::MaxID, 2);
  EXPECT_EQ(beeps(), 1);
}

TEST_F(OldCatalogueImportTest, NoImportWhileADiscIsBeingRead) {
  place(linesOf({discRecord(1)}));
  ASSERT_TRUE(waitUntil([this] { return (w(), Module1::Changeable()); }));
  w().CDName = "being read";
  Module1::PB = 5;  // a thread that does nothing, but runs until the event loop turns
  std::make_shared<Class1>()->Run();
  ASSERT_TRUE(Class1::IsReading());
  w().OldDbReading();
  EXPECT_EQ(msgs(), std::vector<std::string>{"ディスクの読み込み中です。終わってから実行してください。"});
  EXPECT_TRUE(numbers().empty());
  EXPECT_EQ(w().CDName, "being read");
  EXPECT_EQ(beeps(), 0);
  EXPECT_TRUE(waitUntil([] { return !Class1::IsReading(); }));
}

TEST_F(OldCatalogueImportTest, ALargeImportLetsTheWindowAnswerAndRefusesOtherChangesMeanwhile) {
  testsupport::writeCatalogue({{1, 0, "Kept", true, "Kept", "ディスク", "2020-01-02 03:04:05", std::nullopt}});
  std::vector<Old> records{discRecord(10)};
  for (int no = 11; no < 20'000; ++no) records.push_back(fileRecord(no, 10));
  place(linesOf(records));
  w().CDList().setListIndex(0);
  int ticks = 0;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    if (!Class1::IsReading()) return;
    // A second import and a deletion, tried while the first import runs.
    if (++ticks == 3) {
      w().OldDbReading();
      w().SakujyoButton().Push();
    }
  });
  timer.start(1);

  w().OldDbReading();
  EXPECT_FALSE(Class1::IsReading());
  EXPECT_GE(ticks, 3);
  EXPECT_EQ(msgs(), std::vector<std::string>(2, "ディスクの読み込み中です。終わってから実行してください。"));
  EXPECT_EQ(testsupport::readCatalogue().size(), records.size() + 1);
  EXPECT_EQ(w().CDList().ListCount(), 2);
  EXPECT_EQ(beeps(), 1);
}

TEST_F(OldCatalogueImportTest, AQuitDuringAnImportKeepsNoneOfIt) {
  testsupport::writeCatalogue({{1, 0, "Kept", true, "Kept", "ディスク", "2020-01-02 03:04:05", std::nullopt}});
  const auto kept = testsupport::readCatalogue();
  std::vector<Old> records{discRecord(10)};
  for (int no = 11; no < 50'000; ++no) records.push_back(fileRecord(no, 10));
  place(linesOf(records));
  w();
  int ticks = 0;
  QTimer timer;
  // Dropped as the quit drops the threads, some rows stored and more read ahead of them.
  QObject::connect(&timer, &QTimer::timeout, [&] {
    if (Class1::IsReading() && ++ticks == 3) framework::DropThreads();
  });
  timer.start(1);

  w().OldDbReading();
  EXPECT_EQ(ticks, 3);
  EXPECT_EQ(framework::RunningThreadCount(), 0u);
  EXPECT_EQ(testsupport::readCatalogue(), kept);
  EXPECT_TRUE(msgs().empty());
  EXPECT_EQ(beeps(), 0);
}

}  // namespace
