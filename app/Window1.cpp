// The main window: its properties, its controls, the set-up of its lists and scroller, its
// commands and its menu handling.
#include "app/Window1.h"

#include <optional>
#include <string>

#include "app/AboutWindow.h"
#include "app/MenuBar1.h"
#include "app/SetteiWindow.h"
#include "app/Window2.h"
#include "app/Window3.h"
#include "catalogue/Module1.h"
#include "catalogue/NameIndexing.h"

namespace {

template <class Kind>
Kind& menuItem(const framework::Window& window, const char* name) {
  framework::MenuBar* bar = window.menuBar();
  auto* item = bar ? dynamic_cast<Kind*>(bar->Lookup(name)) : nullptr;
  if (!item) throw std::runtime_error(std::string("NilObjectException: no menu item ") + name);
  return *item;
}

enum class ControlClass { Label, Button, List, Field, Wheel, Scroller };

struct Edges {
  bool left, top, right, bottom;
};

struct ListLayout {
  int columns;
  const char* widths;  // nullptr: set when the list opens
  bool heading, hierarchical;
};

constexpr ListLayout kCDList{6, nullptr, true, true};
constexpr ListLayout kSearchList{1, "100%", false, false};

// One control of the main window: its class, its bounds, the window edges it keeps its distances
// to, its text size (0: it shows no text), its text (a list's heading), whether Tab stops at it
// (none: the class's own rule) and whether it shows.
struct ControlLayout {
  ControlClass kind;
  const char* name;
  int left, top, width, height;
  Edges locks;
  int textSize;
  const char* text;
  std::optional<bool> tabStop;
  bool visible;
  const ListLayout* list = nullptr;
};

const ControlLayout kControls[] = {
    {ControlClass::Label, "Label1", 30, 14, 108, 20, {false, false, false, false}, 10, "情報収集中・・・", {}, false},
    {ControlClass::Button, "SinkiButton", 297, 14, 91, 20, {false, true, true, false}, 12, "新規ディスク", false, true},
    {ControlClass::Button, "KoushinButton", 400, 14, 69, 20, {false, true, true, false}, 12, "更新", true, true},
    {ControlClass::Button, "SakujyoButton", 481, 14, 69, 20, {false, true, true, false}, 12, "削除", true, true},
    {ControlClass::List, "CDList", 20, 46, 540, 260, {true, true, true, true}, 12, "名前\t修正日\t容量\t種類\tNo\tディスク名", false,
     true, &kCDList},
    {ControlClass::Label, "Label2", 30, 314, 86, 14, {true, false, false, true}, 10, "検索ファイル名\r", {}, true},
    {ControlClass::Field, "TextField1", 20, 328, 421, 26, {true, false, true, true}, 12, "", true, true},
    {ControlClass::Button, "KensakuButton", 463, 331, 69, 20, {false, false, true, true}, 12, "検索", false, true},
    {ControlClass::Wheel, "ProgressWheel1", 544, 335, 16, 16, {false, false, true, true}, 0, "", false, false},
    {ControlClass::List, "SearchList", 20, 363, 540, 110, {true, false, true, true}, 10, "", true, true, &kSearchList},
    {ControlClass::Scroller, "ScrollBar1", 20, 473, 540, 16, {true, false, true, true}, 0, "", false, true},
};

}  // namespace

Window1& Window1::instance() { return framework::implicitInstance<Window1>(); }

void Window1::Layout() {
  setMenuBar(&MenuBar1::instance());
  setWidth(580);
  setHeight(500);
  setMinSize(64, 64);
  setMaxSize(32000, 32000);
  setHasBackColor(true);
  setBackColor(0xFFCF26);
  setTitle("ルメノ");
  setVisible(true);
  setCloseButton(false);
  setResizeable(true);
  setMaximizeButton(true);
  setMinimizeButton(true);
}

void Window1::CreateControls() { CreateControls0(); }

void Window1::CreateControls0() {
  using namespace framework;
  // Made and set up in this order, which is also the tab order.
  for (const ControlLayout& l : kControls) {
    RectControl* c = nullptr;
    switch (l.kind) {
      case ControlClass::Label: c = &addControl<Label>(l.name); break;
      case ControlClass::Button: c = &addControl<PushButton>(l.name); break;
      case ControlClass::List: c = &addControl<Listbox>(l.name); break;
      case ControlClass::Field: c = &addControl<TextField>(l.name); break;
      case ControlClass::Wheel: c = &addControl<ProgressWheel>(l.name); break;
      case ControlClass::Scroller: c = &addControl<ScrollBar>(l.name); break;
    }
    if (l.textSize) {
      c->setTextSize(l.textSize);
      c->setTextUnit(0);
    }
    c->setBounds(l.left, l.top, l.width, l.height);
    c->setLocks(l.locks.left, l.locks.top, l.locks.right, l.locks.bottom);
    if (auto* label = dynamic_cast<Label*>(c)) label->setText(l.text);
    if (auto* button = dynamic_cast<PushButton*>(c)) button->setCaption(l.text);
    if (auto* field = dynamic_cast<TextField*>(c)) field->setText(l.text);
    if (auto* list = dynamic_cast<Listbox*>(c)) {
      list->setColumnCount(l.list->columns);
      if (l.list->widths) list->setColumnWidths(l.list->widths);
      list->setHasHeading(l.list->heading);
      list->setInitialValue(l.text);
      list->setHierarchical(l.list->hierarchical);
      list->setColumnsResizable(false);
      list->setScrollbarHorizontal(false);
    }
    if (!l.visible) c->setVisible(false);
    if (l.tabStop) c->setTabStop(*l.tabStop);
  }

  KensakuButton().setDefault(true);
  ScrollBar& bar = ScrollBar1();
  bar.setMinimum(0);
  bar.setValue(0);
  bar.setMaximum(100);
  bar.setLineStep(2);
  bar.setPageStep(20);
  bar.setLiveScroll(true);

  SinkiButton().Action = [this] { SinkiButton_Action(); };
  KoushinButton().Action = [this] { KoushinButton_Action(); };
  SakujyoButton().Action = [this] { SakujyoButton_Action(); };
  KensakuButton().Action = [this] { KensakuButton_Action(); };
  Listbox& cdList = CDList();
  cdList.ExpandRow = [this, &cdList](int row) { CDList_ExpandRow(cdList, row); };
  cdList.Open = [this, &cdList] { CDList_Open(cdList); };
  Listbox& searchList = SearchList();
  searchList.Open = [this, &searchList] { SearchList_Open(searchList); };
  bar.Open = [this, &bar] { ScrollBar1_Open(bar); };
  bar.ValueChanged = [this, &bar] { ScrollBar1_ValueChanged(bar); };
}

framework::Label& Window1::Label1() { return control<framework::Label>("Label1"); }
framework::PushButton& Window1::SinkiButton() { return control<framework::PushButton>("SinkiButton"); }
framework::PushButton& Window1::KoushinButton() {
  return control<framework::PushButton>("KoushinButton");
}
framework::PushButton& Window1::SakujyoButton() {
  return control<framework::PushButton>("SakujyoButton");
}
framework::Listbox& Window1::CDList() { return control<framework::Listbox>("CDList"); }
framework::Label& Window1::Label2() { return control<framework::Label>("Label2"); }
framework::TextField& Window1::TextField1() { return control<framework::TextField>("TextField1"); }
framework::PushButton& Window1::KensakuButton() {
  return control<framework::PushButton>("KensakuButton");
}
framework::ProgressWheel& Window1::ProgressWheel1() {
  return control<framework::ProgressWheel>("ProgressWheel1");
}
framework::Listbox& Window1::SearchList() { return control<framework::Listbox>("SearchList"); }
framework::ScrollBar& Window1::ScrollBar1() { return control<framework::ScrollBar>("ScrollBar1"); }

framework::MenuItem& Window1::EditMenu() { return menuItem<framework::MenuItem>(*this, "EditMenu"); }
framework::MenuItem& Window1::EditSelectAll() {
  return menuItem<framework::MenuItem>(*this, "EditSelectAll");
}
framework::MenuItem& Window1::UntitledMenu0() {
  return menuItem<framework::MenuItem>(*this, "UntitledMenu0");
}
framework::MenuItem& Window1::EditClear() { return menuItem<framework::MenuItem>(*this, "EditClear"); }
framework::MenuItem& Window1::EditPaste() { return menuItem<framework::MenuItem>(*this, "EditPaste"); }
framework::MenuItem& Window1::EditCopy() { return menuItem<framework::MenuItem>(*this, "EditCopy"); }
framework::MenuItem& Window1::EditCut() { return menuItem<framework::MenuItem>(*this, "EditCut"); }
framework::MenuItem& Window1::UntitledMenu1() {
  return menuItem<framework::MenuItem>(*this, "UntitledMenu1");
}
framework::MenuItem& Window1::EditUndo() { return menuItem<framework::MenuItem>(*this, "EditUndo"); }
framework::MenuItem& Window1::FileMenu() { return menuItem<framework::MenuItem>(*this, "FileMenu"); }
framework::QuitMenuItem& Window1::FileQuit() {
  return menuItem<framework::QuitMenuItem>(*this, "FileQuit");
}
framework::MenuItem& Window1::ReadOldDB() { return menuItem<framework::MenuItem>(*this, "ReadOldDB"); }
framework::PrefsMenuItem& Window1::SetteiMenu() {
  return menuItem<framework::PrefsMenuItem>(*this, "SetteiMenu");
}
framework::AppleMenuItem& Window1::About() { return menuItem<framework::AppleMenuItem>(*this, "About"); }

void Window1::CDList_Open(framework::Listbox& list) { list.setColumnWidths("40%,20%,10%,30%,0%,0%"); }

void Window1::SearchList_Open(framework::Listbox& list) { list.setColumnWidths("900"); }

void Window1::ScrollBar1_Open(framework::ScrollBar& bar) {
  // Set once: the range does not follow later changes of the window's size.
  bar.setMaximum(SearchList().Width());
  bar.setMinimum(0);
}

void Window1::ScrollBar1_ValueChanged(framework::ScrollBar& bar) {
  SearchList().setScrollPositionX(bar.Value());
}

void Window1::Event_Open() {
  // The name index writes to the catalogue, so it starts once the catalogue has been found whole.
  Module1::OpenCatalogue([] {
    if (Window1* window = framework::openInstance<Window1>()) {
      // An earlier build lets go of the index's files before the new one opens them.
      window->nameIndexing_.reset();
      window->nameIndexing_ = StartNameIndexing(*window);
    }
  });
  Module1::RefreshNumbering();
  OpenDB();
  Module1::ReadPref();
}

void Window1::SinkiButton_Action() {
  Module1::PB = 0;
  Window2::instance().Show();
}

void Window1::KoushinButton_Action() {
  Module1::PB = 1;
  Window2::instance().Show();
}

void Window1::AddMenuHandlers() {
  AddMenuHandler("SetteiMenu", [this] { return SetteiMenu_Action(); });
  AddMenuHandler("About", [this] { return About_Action(); });
  AddMenuHandler("ReadOldDB", [this] { return ReadOldDB_Action(); });
}

void Window1::Event_EnableMenuItems() {
  SetteiMenu().setEnabled(true);
  About().setEnabled(true);
  ReadOldDB().setEnabled(true);
}

void Window1::Event_Close() { Module1::WritePref(); }

bool Window1::SetteiMenu_Action() {
  SetteiWindow::instance().Show();
  return true;
}

bool Window1::About_Action() {
  AboutWindow::instance().Show();
  return true;
}

bool Window1::ReadOldDB_Action() {
  Window3::instance().Show();
  return true;
}
