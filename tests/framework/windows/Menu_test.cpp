#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "framework/controls/TextField.h"
#include "framework/windows/Application.h"
#include "framework/windows/MenuItem.h"
#include "framework/windows/Window.h"
#include "support/Wait.h"

using namespace framework;

namespace {

template <class Kind = MenuItem>
std::unique_ptr<MenuItem> item(const std::string& name, const std::string& text, const std::string& shortcut = "") {
  auto i = std::make_unique<Kind>();
  i->setName(name);
  i->setAutoEnable(true);
  i->setText(text);
  if (text != "-") i->setKeyboardShortcut(shortcut);
  return i;
}

// A bar like the program's: File and Edit, the items appended through Child lookups.
std::unique_ptr<MenuBar> makeBar() {
  auto bar = std::make_unique<MenuBar>();
  bar->Append(item("FileMenu", "File"));
  bar->Child("FileMenu")->Append(item<AppleMenuItem>("About", "About"));
  bar->Child("FileMenu")->Append(item<PrefsMenuItem>("SetteiMenu", "Settings..."));
  bar->Child("FileMenu")->Append(item("ReadOldDB", "Import & convert"));
  bar->Child("FileMenu")->Append(item<QuitMenuItem>("FileQuit", "Quit", "Cmd+Q"));
  bar->Append(item("EditMenu", "Edit"));
  for (auto [name, text, key] : std::vector<std::array<const char*, 3>>{{"EditUndo", "Undo", "Cmd+Z"},
                                                                        {"UntitledMenu1", "-", ""},
                                                                        {"EditCut", "Cut", "Cmd+X"},
                                                                        {"EditCopy", "Copy", "Cmd+C"},
                                                                        {"EditPaste", "Paste", "Cmd+V"},
                                                                        {"EditClear", "Clear", ""},
                                                                        {"UntitledMenu0", "-", ""},
                                                                        {"EditSelectAll", "Select All", "Cmd+A"}})
    bar->Child("EditMenu")->Append(item(name, text, key));
  return bar;
}

int g_enables = 0;
MenuBar* g_bar = nullptr;

class MenuWindow : public Window {
 public:
  std::vector<std::string> chosen;
  bool answer = true;
  std::function<void()> onEnable;
  using Window::addControl;

 protected:
  void Layout() override {
    setMenuBar(g_bar);
    setWidth(300);
    setHeight(200);
  }
  void AddMenuHandlers() override {
    for (const char* name : {"ReadOldDB", "About", "Go"})
      AddMenuHandler(name, [this, name] {
        chosen.push_back(name);
        return answer;
      });
  }
  void Event_EnableMenuItems() override {
    ++g_enables;
    if (onEnable) onEnable();
  }
};

class SecondWindow : public MenuWindow {};

class MenuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_enables = 0;
    app = std::make_unique<Application>();
    bar = makeBar();
    app->setMenuBar(bar.get());
  }
  void TearDown() override {
    DestroyAllWindows();
    app.reset();
  }
  // A window showing the bar, with a line edit that has the focus.
  void openFocusedField(TextField*& field) {
    g_bar = bar.get();
    auto& w = implicitInstance<MenuWindow>();
    field = &w.addControl<TextField>("Field");
    field->widget()->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.widget()));
    field->widget()->setFocus();
    ASSERT_TRUE(waitUntil([&] { return field->widget()->hasFocus(); }));
  }

  std::unique_ptr<Application> app;
  std::unique_ptr<MenuBar> bar;
};

MenuItem& find(MenuItem& root, const char* name) {
  MenuItem* i = root.Lookup(name);
  if (!i) throw std::runtime_error(name);
  return *i;
}

TEST_F(MenuTest, ItemsAreFoundByNameAnywhereAndKeepTheirOrder) {
  ASSERT_EQ(bar->Count(), 2);
  EXPECT_EQ(bar->Item(0)->Name(), "FileMenu");
  EXPECT_EQ(bar->Item(1)->Count(), 8);
  EXPECT_EQ(bar->Item(2), nullptr);
  EXPECT_EQ(bar->Child("EditCut"), nullptr);  // not a direct child
  MenuItem& cut = find(*bar, "EditCut");
  EXPECT_EQ(cut.Parent(), bar->Child("EditMenu"));
  EXPECT_EQ(bar->Lookup("Nothing"), nullptr);
  EXPECT_NE(dynamic_cast<QuitMenuItem*>(&find(*bar, "FileQuit")), nullptr);

  EXPECT_EQ(find(*bar, "FileQuit").action()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
  EXPECT_EQ(find(*bar, "FileQuit").action()->menuRole(), QAction::QuitRole);
  EXPECT_EQ(find(*bar, "About").action()->menuRole(), QAction::AboutRole);
  EXPECT_TRUE(find(*bar, "UntitledMenu0").action()->isSeparator());
  EXPECT_TRUE(find(*bar, "EditClear").action()->shortcut().isEmpty());
  // "&" is shown, not taken as a mnemonic.
  EXPECT_EQ(find(*bar, "ReadOldDB").action()->text(), "Import && convert");
}

TEST_F(MenuTest, TheWindowShowsTheBarsMenusAboveItsContent) {
  g_bar = bar.get();
  auto& w = implicitInstance<MenuWindow>();
  ASSERT_NE(w.qmenuBar(), nullptr);
  const auto actions = w.qmenuBar()->actions();
  ASSERT_EQ(actions.size(), 2);
  EXPECT_EQ(actions[0]->text(), "File");
  ASSERT_NE(actions[1]->menu(), nullptr);
  EXPECT_EQ(actions[1]->menu()->actions().size(), 8);
  EXPECT_EQ(w.Height(), 200);
  EXPECT_GT(w.qmenuBar()->height(), 0);
  EXPECT_EQ(w.widget()->height(), 200 + w.qmenuBar()->height());
}

TEST_F(MenuTest, ChoosingAnItemRunsTheFrontMostHandlerForItsName) {
  g_bar = bar.get();
  auto& main = implicitInstance<MenuWindow>();
  auto& second = implicitInstance<SecondWindow>();
  second.Show();
  EXPECT_TRUE(find(*bar, "ReadOldDB").Choose());
  EXPECT_EQ(second.chosen, std::vector<std::string>{"ReadOldDB"});
  EXPECT_TRUE(main.chosen.empty());

  // A handler answering false passes the command on.
  second.answer = false;
  find(*bar, "About").Choose();
  EXPECT_EQ(second.chosen.size(), 2u);
  EXPECT_EQ(main.chosen, std::vector<std::string>{"About"});

  // Items without a handler do nothing; closed windows get nothing.
  second.Close();
  find(*bar, "SetteiMenu").Choose();
  find(*bar, "ReadOldDB").Choose();
  EXPECT_EQ(main.chosen, (std::vector<std::string>{"About", "ReadOldDB"}));
}

TEST_F(MenuTest, EnableMenuItemsRunsBeforeAMenuOpens) {
  g_bar = bar.get();
  auto& w = implicitInstance<MenuWindow>();
  MenuItem& about = find(*bar, "About");
  MenuItem& manual = find(*bar, "SetteiMenu");
  manual.setAutoEnable(false);
  manual.setEnabled(false);
  about.setEnabled(false);
  w.onEnable = [&] { manual.setEnabled(true); };
  ASSERT_TRUE(QTest::qWaitForWindowActive(w.widget()));

  QMenuBar* qbar = w.qmenuBar();
  QTest::mouseClick(qbar, Qt::LeftButton, {}, qbar->actionGeometry(qbar->actions()[0]).center());
  QMenu* file = bar->Child("FileMenu")->menu();
  ASSERT_TRUE(waitUntil([&] { return file->isVisible(); }));
  EXPECT_GE(g_enables, 1);
  EXPECT_TRUE(about.Enabled());  // AutoEnable
  EXPECT_TRUE(manual.action()->isEnabled());
  file->hide();
}

TEST_F(MenuTest, EnableMenuItemsRunsBeforeAShortcutIsDispatched) {
  g_bar = bar.get();
  auto go = item("Go", "Go", "Cmd+G");
  go->setAutoEnable(false);
  go->setEnabled(false);
  MenuItem& goRef = *go;
  bar->Child("FileMenu")->Append(std::move(go));
  auto& w = implicitInstance<MenuWindow>();
  auto& field = w.addControl<TextField>("Field");
  field.widget()->show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(w.widget()));
  field.widget()->setFocus();

  QTest::keyClick(field.widget(), Qt::Key_G, Qt::ControlModifier);
  EXPECT_TRUE(w.chosen.empty());  // disabled, and nothing enabled it

  w.onEnable = [&] { goRef.setEnabled(true); };
  QTest::keyClick(field.widget(), Qt::Key_G, Qt::ControlModifier);
  EXPECT_EQ(w.chosen, std::vector<std::string>{"Go"});
}

TEST_F(MenuTest, TheQuitItemQuits) {
  g_bar = bar.get();
  implicitInstance<MenuWindow>();
  find(*bar, "FileQuit").Choose();
  EXPECT_TRUE(app->IsQuitting());
  EXPECT_EQ(openInstance<MenuWindow>(), nullptr);
  EXPECT_EQ(app->Run(), 0);
}

TEST_F(MenuTest, EditItemsActOnTheFocusedLineEdit) {
  TextField* focused = nullptr;
  ASSERT_NO_FATAL_FAILURE(openFocusedField(focused));
  TextField& field = *focused;
  QLineEdit* le = field.lineEdit();
  QTest::keyClicks(le, "hello world");

  find(*bar, "EditSelectAll").Choose();
  EXPECT_EQ(le->selectedText(), "hello world");
  find(*bar, "EditCut").Choose();
  EXPECT_EQ(le->text(), "");
  EXPECT_EQ(QApplication::clipboard()->text(), "hello world");
  find(*bar, "EditPaste").Choose();
  find(*bar, "EditPaste").Choose();
  EXPECT_EQ(field.Text(), "hello worldhello world");
  le->setSelection(0, 6);
  find(*bar, "EditCopy").Choose();
  EXPECT_EQ(QApplication::clipboard()->text(), "hello ");
  find(*bar, "EditClear").Choose();
  EXPECT_EQ(field.Text(), "worldhello world");
  find(*bar, "EditClear").Choose();  // no selection: nothing to delete
  EXPECT_EQ(field.Text(), "worldhello world");
  find(*bar, "EditUndo").Choose();
  EXPECT_EQ(field.Text(), "hello worldhello world");

  le->setReadOnly(true);
  find(*bar, "EditSelectAll").Choose();
  find(*bar, "EditCut").Choose();
  EXPECT_EQ(field.Text(), "hello worldhello world");
}

// Alt puts the menu bar in keyboard mode, which takes the focus from the field until a command ends
// it: the Edit commands still act on the field.
TEST_F(MenuTest, EditItemsActOnTheLineEditTheMenuBarTookTheFocusFrom) {
  TextField* focused = nullptr;
  ASSERT_NO_FATAL_FAILURE(openFocusedField(focused));
  TextField& field = *focused;
  MenuWindow& w = *openInstance<MenuWindow>();
  QTest::keyClicks(field.lineEdit(), "hello");

  QTest::keyClick(field.lineEdit(), Qt::Key_Alt, Qt::AltModifier);
  ASSERT_TRUE(waitUntil([&] { return w.qmenuBar()->hasFocus(); }));
  find(*bar, "EditSelectAll").Choose();
  EXPECT_EQ(field.lineEdit()->selectedText(), "hello");
}

}  // namespace
