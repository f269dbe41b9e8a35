#include "app/SetteiWindow.h"

#include "app/Window1.h"
#include "catalogue/Module1.h"

SetteiWindow& SetteiWindow::instance() { return framework::implicitInstance<SetteiWindow>(); }

framework::CheckBox& SetteiWindow::CheckBox1() { return control<framework::CheckBox>("CheckBox1"); }
framework::Label& SetteiWindow::Label1() { return control<framework::Label>("Label1"); }
framework::PushButton& SetteiWindow::PushButton1() { return control<framework::PushButton>("PushButton1"); }

void SetteiWindow::Layout() {
  setWidth(294);
  setHeight(200);
  setMinSize(64, 64);
  setMaxSize(32000, 32000);
  setHasBackColor(false);
  setBackColor(0xFFFFFF);
  setTitle("環境設定");
  setVisible(true);
  setCloseButton(true);
  setResizeable(true);
  setMaximizeButton(false);
  setMinimizeButton(true);
  // Placed over the main window by the window manager.
  setTransientParent(framework::openInstance<Window1>());
  setCloseOnEscape(true);
}

void SetteiWindow::CreateControls() { CreateControls0(); }

void SetteiWindow::CreateControls0() {
  {
    auto& c = addControl<framework::CheckBox>("CheckBox1");
    c.setTextSize(12);
    c.setTextUnit(0);
    c.setBounds(49, 14, 193, 55);
    c.setLocks(false, false, false, false);
    c.setCaption("文字コード変換できなかったファイル名に「:ListError」の文字を付け加える");
    c.setTabStop(true);
    c.setValue(false);
  }
  {
    auto& c = addControl<framework::Label>("Label1");
    c.setTextSize(10);
    c.setTextUnit(0);
    c.setBounds(36, 76, 223, 72);
    c.setLocks(false, false, false, false);
    c.setMultiline(true);
    c.setTextColor(0xB52000);
    c.setText(
        "このBOXにチェックを入れると、UTF8MACからUTF8に変換できなかったファイル名に「:ListError」"
        "という文字列がつきます。（これがついた日本語ファイル名は検索に引っかからない可能性があります）");
  }
  {
    auto& c = addControl<framework::PushButton>("PushButton1");
    c.setTextSize(12);
    c.setTextUnit(0);
    c.setBounds(106, 160, 82, 20);
    c.setLocks(false, false, false, false);
    c.setCaption("close");
    c.setTabStop(true);
    c.setDefault(true);
    c.setCancel(false);
    c.Action = [this] { PushButton1_Action(); };
  }
}

void SetteiWindow::PushButton1_Action() { instance().Close(); }

void SetteiWindow::Event_Open() { CheckBox1().setValue(Module1::ErrorCD); }

void SetteiWindow::Event_Close() { Module1::ErrorCD = CheckBox1().Value(); }
