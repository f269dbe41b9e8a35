// The main window: its properties, its controls, the set-up of its lists and scroller, its
// commands and its menu handling.
#include "app/Window1.h"

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
  // Each control: made and added under its name, text size, properties, events, in this order.
  // Creation order is also the tab order.
  {
    auto& c = addControl<framework::Label>("Label1");
    c.setTextSize(10);
    c.setTextUnit(0);
    c.setBounds(30, 14, 108, 20);
    c.setLocks(false, false, false, false);
    c.setText("情報収集中・・・");
    c.setVisible(false);
  }
  {
    auto& c = addControl<framework::PushButton>("SinkiButton");
    c.setTextSize(12);
    c.setTextUnit(0);
    c.setBounds(297, 14, 91, 20);
    c.setLocks(false, true, true, false);
    c.setCaption("新規ディスク");
    c.setTabStop(false);
    c.Action = [this] { SinkiButton_Action(); };
  }
  {
    auto& c = addControl<framework::PushButton>("KoushinButton");
    c.setTextSize(12);
    c.setTextUnit(0);
    c.setBounds(400, 14, 69, 20);
    c.setLocks(false, true, true, false);
    c.setCaption("更新");
    c.setTabStop(true);
    c.Action = [this] { KoushinButton_Action(); };
  }
  {
    auto& c = addControl<framework::PushButton>("SakujyoButton");
    c.setTextSize(12);
    c.setTextUnit(0);
    c.setBounds(481, 14, 69, 20);
    c.setLocks(false, true, true, false);
    c.setCaption("削除");
    c.setTabStop(true);
    c.Action = [this] { SakujyoButton_Action(); };
  }
  {
    auto& c = addControl<framework::Listbox>("CDList");
    c.setTextSize(12);
    c.setTextUnit(0);
    c.setBounds(20, 46, 540, 260);
    c.setLocks(true, true, true, true);
    c.setColumnCount(6);
    c.setHasHeading(true);
    c.setInitialValue("名前\t修正日\t容量\t種類\tNo\tディスク名");
    c.setHierarchical(true);
    c.setColumnsResizable(false);
    c.setScrollbarHorizontal(false);
    c.setTabStop(false);
    c.ExpandRow = [this, &c](int row) { CDList_ExpandRow(c, row); };
    c.Open = [this, &c] { CDList_Open(c); };
  }
  {
    auto& c = addControl<framework::Label>("Label2");
    c.setTextSize(10);
    c.setTextUnit(0);
    c.setBounds(30, 314, 86, 14);
    c.setLocks(true, false, false, true);
    c.setText("検索ファイル名\r");
  }
  {
    auto& c = addControl<framework::TextField>("TextField1");
    c.setTextSize(12);
    c.setTextUnit(0);
    c.setBounds(20, 328, 421, 26);
    c.setLocks(true, false, true, true);
    c.setText("");
    c.setTabStop(true);
  }
  {
    auto& c = addControl<framework::PushButton>("KensakuButton");
    c.setTextSize(12);
    c.setTextUnit(0);
    c.setBounds(463, 331, 69, 20);
    c.setLocks(false, false, true, true);
    c.setCaption("検索");
    c.setDefault(true);
    c.setTabStop(false);
    c.Action = [this] { KensakuButton_Action(); };
  }
  {
    auto& c = addControl<framework::ProgressWheel>("ProgressWheel1");
    c.setBounds(544, 335, 16, 16);
    c.setLocks(false, false, true, true);
    c.setVisible(false);
    c.setTabStop(false);
  }
  {
    auto& c = addControl<framework::Listbox>("SearchList");
    c.setTextSize(10);
    c.setTextUnit(0);
    c.setBounds(20, 363, 540, 110);
    c.setLocks(true, false, true, true);
    c.setColumnCount(1);
    c.setColumnWidths("100%");
    c.setHasHeading(false);
    c.setInitialValue("");
    c.setHierarchical(false);
    c.setColumnsResizable(false);
    c.setScrollbarHorizontal(false);
    c.setTabStop(true);
    c.Open = [this, &c] { SearchList_Open(c); };
  }
  {
    auto& c = addControl<framework::ScrollBar>("ScrollBar1");
    c.setBounds(20, 473, 540, 16);
    c.setLocks(true, false, true, true);
    c.setMinimum(0);
    c.setValue(0);
    c.setMaximum(100);
    c.setLineStep(2);
    c.setPageStep(20);
    c.setLiveScroll(true);
    c.setTabStop(false);
    c.Open = [this, &c] { ScrollBar1_Open(c); };
    c.ValueChanged = [this, &c] { ScrollBar1_ValueChanged(c); };
  }
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
    if (Window1* window = framework::openInstance<Window1>()) window->nameIndexing_ = StartNameIndexing(*window);
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
