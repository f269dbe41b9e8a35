#include <gtest/gtest.h>

#include <QTimer>

#include <string>
#include <vector>

#include "app/Startup.h"
#include "app/Window1.h"
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

class SearchFillingTest : public testsupport::AppTest {
 protected:
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
  static bool filling() { return framework::RunningThreadCount() > 0; }
};

TEST_F(SearchFillingTest, ALongListFillsBesideTheWindowAndANewSearchReplacesIt) {
  Window1& w = Window1::instance();
  search(w, "alpha");
  const int first = w.SearchList().ListCount();
  EXPECT_GT(first, 0);
  ASSERT_TRUE(filling());
  ASSERT_TRUE(waitUntil([] { return !filling(); }));
  const std::vector<std::string> all = rows(w);
  ASSERT_EQ(all.size(), static_cast<std::size_t>(kMany));
  for (int i : {0, first, kMany - 1}) EXPECT_EQ(all[i], " > D > F > alpha " + std::to_string(i));

  // A new search in the middle of the filling lists its own hits alone.
  search(w, "alpha");
  ASSERT_TRUE(filling());
  search(w, "beta");
  ASSERT_TRUE(waitUntil([] { return !filling(); }));
  EXPECT_EQ(rows(w), (std::vector<std::string>{" > D > beta 0", " > D > beta 1", " > D > beta 2"}));
}

TEST_F(SearchFillingTest, AWindowDestroyedDuringTheFillingTakesTheFillingAlong) {
  search(Window1::instance(), "alpha");
  ASSERT_TRUE(filling());
  framework::DestroyAllWindows();
  EXPECT_TRUE(testsupport::waitUntil([] { return !filling(); }));
}

TEST_F(SearchFillingTest, QuittingDuringTheFillingEndsCleanly) {
  int listed = 0;
  startup::setStepObserver([&](std::string_view step) {
    if (step != "event loop") return;
    search(Window1::instance(), "alpha");
    QTimer::singleShot(0, [&listed] {
      listed = Window1::instance().SearchList().ListCount();
      Window1::instance().FileQuit().Choose();
    });
  });
  char name[] = "lumeno";
  char* argv[] = {name, nullptr};
  EXPECT_EQ(startup::RunApplication(1, argv), 0);
  EXPECT_GT(listed, 0);
  EXPECT_LT(listed, kMany);
  EXPECT_EQ(framework::RunningThreadCount(), 0u);
}

}  // namespace
