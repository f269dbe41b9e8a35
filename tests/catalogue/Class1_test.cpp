#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QTimer>

#include <memory>
#include <string>
#include <vector>

#include "CatalogueSql.h"
#include "app/Window1.h"
#include "app/Window2.h"
#include "catalogue/Class1.h"
#include "catalogue/Module1.h"
#include "framework/threads/Thread.h"
#include "support/TestSupport.h"

namespace {

using testsupport::Row;

const char* const kBusy = "ディスクの読み込み中です。終わってから実行してください。";

class Class1Test : public testsupport::AppTest {
 protected:
  Window1& w() { return Window1::instance(); }

  void mountDisc(const std::vector<std::string>& entries) {
    const std::string root = testsupport::makeTree(tmp_.path().toStdString() + "/vol", entries);
    testsupport::mountVolumes({{"Vol", root}});
  }
  bool finished() { return waitUntil([] { return !Class1::IsReading(); }); }

  QTemporaryDir tmp_;
};

TEST_F(Class1Test, TheModeChoosesReadUpdateOrNothing) {
  mountDisc({"a", "b"});
  const struct {
    int pb;
    std::vector<std::string> names;
    int beeps;
    bool rebuilt;
  } cases[] = {
      {0, {"old", "oldfile", "Vol", "a", "b"}, 1, true},
      {1, {"Vol", "a", "b"}, 1, true},  // the old records of "Vol" are gone
      {2, {"old", "oldfile"}, 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pb);
    replaceCatalogue({Row{1, 0, "old", true, "Vol", "ディスク", "2020-01-01 00:00:00", std::nullopt},
                                 Row{2, 1, "oldfile", std::nullopt, "Vol", " ", "2020-01-01 00:00:00", 3}});
    w();
    Module1::MaxID = 2;
    w().CDList().AddRow("stale");
    w().CDName = "Vol";
    Module1::VolNo = 1;
    Module1::PB = c.pb;
    beeps() = 0;
    std::make_shared<Class1>()->Run();
    EXPECT_TRUE(Class1::IsReading());
    ASSERT_TRUE(finished());
    std::vector<std::string> names;
    for (const Row& r : testsupport::readCatalogue()) names.push_back(r.Name);
    EXPECT_EQ(names, c.names);
    EXPECT_EQ(beeps(), c.beeps);
    const auto& list = w().CDList();
    EXPECT_EQ(list.Cell(list.ListCount() - 1, 0) != "stale", c.rebuilt);
    EXPECT_EQ(framework::RunningThreadCount(), 0u);
  }
}

TEST_F(Class1Test, TheModeIsTakenWhenTheThreadBeginsNotWhenItIsMade) {
  mountDisc({"a"});
  w().CDName = "Vol";
  Module1::VolNo = 1;
  Module1::PB = 2;
  std::make_shared<Class1>()->Run();
  Module1::PB = 0;  // pressed before the thread's first turn
  ASSERT_TRUE(finished());
  EXPECT_EQ(testsupport::readCatalogue().size(), 2u);
  EXPECT_EQ(beeps(), 1);
}

// A read long enough that the user acts while it runs.
TEST_F(Class1Test, DuringALongReadTheWindowAnswersAndRefusesASecondChange) {
  std::vector<std::string> entries;
  for (int d = 0; d < 40; ++d) {
    const std::string folder = "d" + std::to_string(d) + "/";
    entries.push_back(folder);
    for (int f = 0; f < 100; ++f) entries.push_back(folder + "file" + std::to_string(d * 100 + f) + ".txt");
  }
  mountDisc(entries);
  replaceCatalogue({Row{1, 0, "Kept", true, "Kept", "ディスク", "2020-01-01 00:00:00", std::nullopt},
                               Row{2, 1, "file0.txt", std::nullopt, "Kept", " ", "2020-01-01 00:00:00", 3}});
  w();
  w().CDName = "Vol";
  Module1::VolNo = 1;
  Module1::PB = 0;
  std::make_shared<Class1>()->Run();
  ASSERT_TRUE(waitUntil([] { return Module1::MaxID > 12; }));  // the read is under way

  // A search is answered before the read ends.
  w().TextField1().setText("file0.txt");
  w().KensakuButton().Push();
  EXPECT_TRUE(Class1::IsReading());
  ASSERT_GE(w().SearchList().ListCount(), 1);
  EXPECT_EQ(w().SearchList().Cell(0, 0), " > Kept > file0.txt");

  // Deleting a disc and starting another read are refused while it runs.
  w().CDList().setListIndex(0);
  ASSERT_EQ(w().CDList().Cell(0, 0), "Kept");
  w().SakujyoButton().Push();
  Module1::PB = 1;
  auto& chooser = Window2::instance();
  chooser.Listbox1().setListIndex(0);
  chooser.PushButton1().Push();
  EXPECT_TRUE(Class1::IsReading());
  EXPECT_EQ(msgs(), (std::vector<std::string>{kBusy, kBusy}));
  EXPECT_EQ(framework::openInstance<Window2>(), &chooser);
  EXPECT_EQ(framework::RunningThreadCount(), 1u);
  EXPECT_EQ(w().CDName, "Vol");

  ASSERT_TRUE(finished());
  const auto rows = testsupport::readCatalogue();
  EXPECT_EQ(rows.size(), 2u + 1 + 40 + 4000);
  EXPECT_EQ(rows[0].Name, "Kept");
  EXPECT_EQ(beeps(), 1);
}

TEST_F(Class1Test, AVolumeWhoseItemsAllLieInOneBigFolderKeepsTheWindowAnsweringDuringItsRead) {
  std::vector<std::string> entries{"Big/"};
  constexpr int kFiles = 20000;
  for (int f = 0; f < kFiles; ++f) entries.push_back("Big/file" + std::to_string(f) + ".txt");
  mountDisc(entries);
  w();
  Module1::MaxID = 0;
  w().CDName = "Vol";
  Module1::VolNo = 1;
  Module1::PB = 0;
  // Ticks of the window's own timer that fall inside the big folder: some of its records stored,
  // not all of them.
  int ticksInside = 0;
  QTimer ticker;
  ticker.setInterval(1);
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    if (Module1::MaxID > 2 && Module1::MaxID < 2 + kFiles) ++ticksInside;
  });
  ticker.start();
  std::make_shared<Class1>()->Run();
  ASSERT_TRUE(waitUntil([] { return !Class1::IsReading(); }, 120000));
  EXPECT_GT(ticksInside, 0);
  EXPECT_EQ(testsupport::readCatalogue().size(), 2u + kFiles);
}

}  // namespace
