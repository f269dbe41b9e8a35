// The menu bar: one instance, the File and Edit menus with their items in order.
#include <gtest/gtest.h>

#include <QAction>
#include <QKeySequence>
#include <string>
#include <typeinfo>
#include <vector>

#include "app/MenuBar1.h"

namespace {

enum class Kind { Plain, About, Prefs, Quit };

Kind kindOf(const framework::MenuItem& item) {
  if (dynamic_cast<const framework::AppleMenuItem*>(&item)) return Kind::About;
  if (dynamic_cast<const framework::PrefsMenuItem*>(&item)) return Kind::Prefs;
  if (dynamic_cast<const framework::QuitMenuItem*>(&item)) return Kind::Quit;
  return Kind::Plain;
}

struct Expected {
  const char* name;
  Kind kind;
  const char* text;
  const char* shortcut;
};

class MenuBar1Test : public ::testing::Test {
 protected:
  void TearDown() override { MenuBar1::release(); }
};

TEST_F(MenuBar1Test, OneInstanceBuiltOnce) {
  MenuBar1& first = MenuBar1::instance();
  MenuBar1& second = MenuBar1::instance();
  EXPECT_EQ(&first, &second);
  EXPECT_EQ(first.Count(), 2);
}

TEST_F(MenuBar1Test, MenusAndItemsInOrder) {
  MenuBar1& bar = MenuBar1::instance();
  const std::vector<std::pair<Expected, std::vector<Expected>>> menus = {
      {{"FileMenu", Kind::Plain, "ファイル", ""},
       {{"About", Kind::About, "ルメノについて", ""},
        {"SetteiMenu", Kind::Prefs, "環境設定...", ""},
        {"ReadOldDB", Kind::Plain, "古いデータベースの読み込み", ""},
        {"FileQuit", Kind::Quit, "終了", "Cmd+Q"}}},
      {{"EditMenu", Kind::Plain, "編集", ""},
       {{"EditUndo", Kind::Plain, "元に戻す", "Cmd+Z"},
        {"UntitledMenu1", Kind::Plain, "-", ""},
        {"EditCut", Kind::Plain, "カット", "Cmd+X"},
        {"EditCopy", Kind::Plain, "コピー", "Cmd+C"},
        {"EditPaste", Kind::Plain, "貼り付け", "Cmd+V"},
        {"EditClear", Kind::Plain, "削除", ""},
        {"UntitledMenu0", Kind::Plain, "-", ""},
        {"EditSelectAll", Kind::Plain, "すべてを選択", "Cmd+A"}}},
  };
  ASSERT_EQ(bar.Count(), static_cast<int>(menus.size()));
  auto same = [](const framework::MenuItem& item, const Expected& e) {
    EXPECT_EQ(item.Name(), e.name);
    EXPECT_EQ(kindOf(item), e.kind) << e.name;
    EXPECT_EQ(item.Text(), e.text) << e.name;
    EXPECT_EQ(item.KeyboardShortcut(), e.shortcut) << e.name;
    EXPECT_TRUE(item.AutoEnable()) << e.name;
  };
  for (int m = 0; m < bar.Count(); ++m) {
    const framework::MenuItem& menu = *bar.Item(m);
    same(menu, menus[m].first);
    const auto& items = menus[m].second;
    ASSERT_EQ(menu.Count(), static_cast<int>(items.size())) << menus[m].first.name;
    for (int i = 0; i < menu.Count(); ++i) {
      same(*menu.Item(i), items[i]);
      // A separator is a plain line: the style draws any text its action has beside the line.
      const QAction* action = menu.Item(i)->action();
      EXPECT_EQ(action->isSeparator(), std::string(items[i].text) == "-") << items[i].name;
      if (action->isSeparator()) {
        EXPECT_TRUE(action->text().isEmpty()) << items[i].name;
      }
      // Every name is unique across the bar, so lookups by name find exactly this item.
      EXPECT_EQ(bar.Lookup(items[i].name), menu.Item(i));
    }
  }
  // The one File shortcut reaches the platform's menus with its standard modifier.
  EXPECT_EQ(bar.Lookup("FileQuit")->action()->shortcut(), QKeySequence("Ctrl+Q"));
  EXPECT_TRUE(bar.Lookup("EditClear")->action()->shortcut().isEmpty());
}

TEST_F(MenuBar1Test, ReleaseGivesAFreshBarNextTime) {
  MenuBar1::instance().Lookup("ReadOldDB")->setText("changed");
  MenuBar1::release();
  EXPECT_EQ(MenuBar1::instance().Lookup("ReadOldDB")->Text(), "古いデータベースの読み込み");
  EXPECT_EQ(MenuBar1::instance().Lookup("FileMenu")->Count(), 4);
}

}  // namespace
