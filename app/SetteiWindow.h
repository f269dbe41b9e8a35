#pragma once
#include "framework/controls/CheckBox.h"
#include "framework/controls/Label.h"
#include "framework/controls/PushButton.h"
#include "framework/windows/Window.h"

// The settings window: one check box for Module1::ErrorCD. The box shows the option when the
// window opens; every close, whatever closes it, stores the box back into the option.
class SetteiWindow : public framework::Window {
 public:
  // The open settings window, or a new one, built and shown.
  static SetteiWindow& instance();

  framework::CheckBox& CheckBox1();
  framework::Label& Label1();
  framework::PushButton& PushButton1();

  // "close" (the default button: Return presses it): closes the window.
  void PushButton1_Action();

 protected:
  void Layout() override;
  void CreateControls() override;
  void Event_Open() override;
  void Event_Close() override;

 private:
  void CreateControls0();
};
