#pragma once
#include "framework/controls/Label.h"
#include "framework/controls/PushButton.h"
#include "framework/windows/Window.h"

// The notice shown before the old-catalogue import: "読み込む" imports, "キャンセル" (the default
// button) and the close box import nothing.
class Window3 : public framework::Window {
 public:
  // The open notice, or a new one, built and shown.
  static Window3& instance();

  framework::PushButton& PushButton1();
  framework::PushButton& PushButton2();
  framework::Label& Label1();

  // "読み込む": runs Window1::OldDbReading to its end, then closes the notice.
  void PushButton1_Action();
  // "キャンセル": closes the notice; nothing else changes.
  void PushButton2_Action();

 protected:
  void Layout() override;
  void CreateControls() override;

 private:
  void CreateControls0();
};
