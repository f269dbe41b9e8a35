#include <gtest/gtest.h>

#include <QTimer>
#include <sqlite3.h>

#include <chrono>
#include <string>
#include <vector>

#include "app/Startup.h"
#include "app/Window1.h"
#include "catalogue/Module1.h"
#include "catalogue/NameIndex.h"
#include "framework/threads/Thread.h"
#include "framework/windows/Application.h"
#include "framework/windows/Window.h"
#include "support/TestSupport.h"

namespace {

using testsupport::Row;

constexpr int kMany = 60'000;

// A disc whose folder holds many "alpha" files and a few "beta" ones: listing the alphas takes
// longer than the click's own slice.
std::vector<Row> catalogue() {
  std::vector<Row> rows{{1, 0, "D", true, "D", "ディスク", "2020-01-02 03:04:05", std::nullopt},
                        {2, 1, "F", true, "D", "フォルダ", "2020-01-02 03:04:05", 0}};
  for (int i = 0; i < kMany; ++i)
    rows.push_back({3 + i, 2, "alpha " + std::to_string(i), std::nullopt, "D", " ", "2020-01-02 03:04:05", 1});
  for (int i = 0; i < 3; ++i)
    rows.push_back({3 + kMany + i, 1, "beta " + std::to_string(i), std::nullopt, "D", " ", "2020-01-02 03:04:05", 1});
  return rows;
}

// Each case twice: the hits read on the window's own connection (the catalogue not yet checked
// when the search comes), and read aside on a thread of their own (once it has been).
class SearchFillingTest : public testsupport::AppTest, public ::testing::WithParamInterface<bool> {
 protected:
  bool aside() const { return GetParam(); }
  // The main window, once the catalogue may be read aside when the case asks for it.
  Window1& window() {
    Window1& w = Window1::instance();
    if (aside()) {
      EXPECT_TRUE(waitUntil(Module1::Changeable));
    }
    return w;
  }
  // The search took the path the case asks for.
  void expectPath() const { EXPECT_EQ(NameIndex::ReadingAside() > 0, aside()); }

  void SetUp() override {
    testsupport::AppTest::SetUp();
    testsupport::writeCatalogue(catalogue());
  }
  void TearDown() override {
    startup::setStepObserver({});
    if (framework::Application::instance()) startup::ShutDown();
    testsupport::AppTest::TearDown();
  }
  static void search(Window1& w, const std::string& term) {
    w.TextField1().setText(term);
    w.KensakuButton().Push();
  }
  static std::vector<std::string> rows(Window1& w) {
    std::vector<std::string> out;
    for (int r = 0; r < w.SearchList().ListCount(); ++r) out.push_back(w.SearchList().Cell(r, 0));
    return out;
  }
  static bool filling() { return Window1::SearchListFilling(); }
};

TEST_P(SearchFillingTest, ALongListFillsBesideTheWindowAndANewSearchReplacesIt) {
  Window1& w = window();
  search(w, "alpha");
  expectPath();
  // The click lists the first hits, or on its own thread has them coming, and leaves the rest.
  ASSERT_TRUE(filling());
  ASSERT_TRUE(waitUntil([&] { return w.SearchList().ListCount() >= 200; }));
  const int first = w.SearchList().ListCount();
  ASSERT_TRUE(waitUntil([] { return !filling(); }));
  const std::vector<std::string> all = rows(w);
  ASSERT_EQ(all.size(), static_cast<std::size_t>(kMany));
  for (int i : {0, first, kMany - 1}) EXPECT_EQ(all[i], " > D > F > alpha " + std::to_string(i));

  // A new search in the middle of the filling lists its own hits alone.
  search(w, "alpha");
  ASSERT_TRUE(filling());
  search(w, "beta");
  // The earlier search's thread is gone; the new one may still be reading.
  EXPECT_LE(NameIndex::ReadingAside(), aside() ? 1 : 0);
  ASSERT_TRUE(waitUntil([] { return !filling(); }));
  EXPECT_EQ(rows(w), (std::vector<std::string>{" > D > beta 0", " > D > beta 1", " > D > beta 2"}));
  // Nothing of the earlier search comes after.
  const auto settle = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
  waitUntil([&] { return std::chrono::steady_clock::now() >= settle; });
  EXPECT_EQ(w.SearchList().ListCount(), 3);
}

TEST_P(SearchFillingTest, AWindowDestroyedDuringTheFillingTakesTheFillingAlong) {
  search(window(), "alpha");
  expectPath();
  ASSERT_TRUE(filling());
  framework::DestroyAllWindows();
  // A thread reading aside is stopped with the window, not later.
  EXPECT_EQ(NameIndex::ReadingAside(), 0);
  EXPECT_TRUE(testsupport::waitUntil([] { return !filling() && framework::RunningThreadCount() == 0; }));
}

TEST_P(SearchFillingTest, QuittingDuringTheFillingEndsCleanly) {
  int listed = 0;
  QTimer ready, shown;
  const auto searchAndQuit = [&] {
    search(Window1::instance(), "alpha");
    expectPath();
    // Quit as soon as the first rows show.
    QObject::connect(&shown, &QTimer::timeout, [&] {
      listed = Window1::instance().SearchList().ListCount();
      if (listed == 0) return;
      shown.stop();
      Window1::instance().FileQuit().Choose();
    });
    shown.start(0);
  };
  startup::setStepObserver([&](std::string_view step) {
    if (step != "event loop") return;
    // Before the loop runs, the catalogue's check has not been heard of: the window's own path.
    if (!aside()) return searchAndQuit();
    ready.setInterval(1);
    QObject::connect(&ready, &QTimer::timeout, [&] {
      if (!Module1::Changeable()) return;
      ready.stop();
      searchAndQuit();
    });
    ready.start();
  });
  char name[] = "lumeno";
  char* argv[] = {name, nullptr};
  EXPECT_EQ(startup::RunApplication(1, argv), 0);
  EXPECT_GT(listed, 0);
  EXPECT_LT(listed, kMany);
  EXPECT_EQ(framework::RunningThreadCount(), 0u);
  EXPECT_EQ(NameIndex::ReadingAside(), 0);
}

TEST_P(SearchFillingTest, AFailedSearchIsReportedOnceAndListsNothing) {
  Window1& w = window();
  // Another connection takes the table away, so the search's query fails.
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(testsupport::cataloguePath().c_str(), &other), SQLITE_OK);
  sqlite3_busy_timeout(other, 5000);
  ASSERT_EQ(sqlite3_exec(other, "ALTER TABLE Folder1 RENAME TO Gone", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(other);
  w.SearchList().AddRow("old");
  search(w, "alpha");
  ASSERT_TRUE(waitUntil([] { return !filling(); }));
  EXPECT_EQ(w.SearchList().ListCount(), 0);
  EXPECT_EQ(msgs(), std::vector<std::string>{"1 no such table: Folder1"});
}

INSTANTIATE_TEST_SUITE_P(WindowOrAside, SearchFillingTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Aside" : "OnTheWindowsConnection"; });

}  // namespace
