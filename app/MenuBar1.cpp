#include "app/MenuBar1.h"

#include <QCoreApplication>
#include <memory>
#include <optional>
#include <string>

namespace {

std::unique_ptr<MenuBar1>& implicitInstance() {
  static std::unique_ptr<MenuBar1> bar;
  return bar;
}

// A separator's shortcut is never set (nullopt); every other item's is, possibly to "".
template <class Kind>
void addItem(framework::MenuItem& bar, const char* menu, const char* name, const char* text,
             std::optional<const char*> shortcut) {
  auto item = std::make_unique<Kind>();
  item->setName(name);
  item->setAutoEnable(true);
  item->setText(text);
  if (shortcut) item->setKeyboardShortcut(*shortcut);
  if (menu) {
    bar.Child(menu)->Append(std::move(item));
  } else {
    bar.Append(std::move(item));
  }
}

}  // namespace

MenuBar1& MenuBar1::instance() {
  auto& bar = implicitInstance();
  if (!bar) {
    bar = std::make_unique<MenuBar1>();
    // Its Qt menus must go while the QApplication still exists: the QApplication's end releases it
    // when nobody did before.
    qRemovePostRoutine(release);
    qAddPostRoutine(release);
  }
  return *bar;
}

void MenuBar1::release() { implicitInstance().reset(); }

MenuBar1::MenuBar1() {
  Untitled0();
  Untitled1();
}

void MenuBar1::Untitled0() {
  using framework::MenuItem;
  addItem<MenuItem>(*this, nullptr, "FileMenu", "ファイル", "");
  addItem<framework::AppleMenuItem>(*this, "FileMenu", "About", "ルメノについて", "");
  addItem<framework::PrefsMenuItem>(*this, "FileMenu", "SetteiMenu", "環境設定...", "");
  addItem<MenuItem>(*this, "FileMenu", "ReadOldDB", "古いデータベースの読み込み", "");
  addItem<framework::QuitMenuItem>(*this, "FileMenu", "FileQuit", "終了", "Cmd+Q");
}

void MenuBar1::Untitled1() {
  using framework::MenuItem;
  addItem<MenuItem>(*this, nullptr, "EditMenu", "編集", "");
  addItem<MenuItem>(*this, "EditMenu", "EditUndo", "元に戻す", "Cmd+Z");
  addItem<MenuItem>(*this, "EditMenu", "UntitledMenu1", "-", std::nullopt);
  addItem<MenuItem>(*this, "EditMenu", "EditCut", "カット", "Cmd+X");
  addItem<MenuItem>(*this, "EditMenu", "EditCopy", "コピー", "Cmd+C");
  addItem<MenuItem>(*this, "EditMenu", "EditPaste", "貼り付け", "Cmd+V");
  addItem<MenuItem>(*this, "EditMenu", "EditClear", "削除", "");
  addItem<MenuItem>(*this, "EditMenu", "UntitledMenu0", "-", std::nullopt);
  addItem<MenuItem>(*this, "EditMenu", "EditSelectAll", "すべてを選択", "Cmd+A");
}
