#include "app/Window3.h"

#include "app/Window1.h"

Window3& Window3::instance() { return framework::implicitInstance<Window3>(); }

framework::PushButton& Window3::PushButton1() { return control<framework::PushButton>("PushButton1"); }
framework::PushButton& Window3::PushButton2() { return control<framework::PushButton>("PushButton2"); }
framework::Label& Window3::Label1() { return control<framework::Label>("Label1"); }

void Window3::Layout() {
  setWidth(376);
  setHeight(169);
  setMinSize(64, 64);
  setMaxSize(32000, 32000);
  setHasBackColor(true);
  setBackColor(0xFFFFFF);
  setTitle("注意");
  setVisible(true);
  setCloseButton(true);
  setResizeable(false);
  setMaximizeButton(false);
  setMinimizeButton(true);
  // Placed over the main window by the window manager.
  setTransientParent(framework::openInstance<Window1>());
}

void Window3::CreateControls() { CreateControls0(); }

void Window3::CreateControls0() {
  // No text size is set: the three use the system font's default size.
  {
    auto& c = addControl<framework::PushButton>("PushButton1");
    c.setTextUnit(0);
    c.setBounds(252, 120, 80, 20);
    c.setLocks(true, true, false, false);
    c.setCaption("読み込む");
    c.setTabStop(true);
    c.setDefault(false);
    c.setCancel(false);
    c.Action = [this] { PushButton1_Action(); };
  }
  {
    auto& c = addControl<framework::PushButton>("PushButton2");
    c.setTextUnit(0);
    c.setBounds(138, 120, 89, 20);
    c.setLocks(true, true, false, false);
    c.setCaption("キャンセル");
    c.setTabStop(true);
    c.setDefault(true);
    c.setCancel(false);
    c.Action = [this] { PushButton2_Action(); };
  }
  {
    auto& c = addControl<framework::Label>("Label1");
    c.setTextUnit(0);
    c.setBounds(31, 29, 314, 79);
    c.setLocks(true, true, false, false);
    c.setMultiline(true);
    c.setTextColor(0x000000);
    c.setText(
        "「古いデータベースの読み込み」は「ルメノ1.3」に新たにディスクを読み込む前に行ってください"
        "（新しいリスト作成後に古いデータベースを読み込むと不具合が起こります）。");
  }
}

void Window3::PushButton1_Action() {
  Window1::instance().OldDbReading();
  // The import may have ended with this notice closed already (a quit inside its message box).
  if (framework::openInstance<Window3>() == this) Close();
}

void Window3::PushButton2_Action() { Close(); }
