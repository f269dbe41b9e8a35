#pragma once
#include "framework/controls/Label.h"
#include "framework/windows/Window.h"

// The About window: the program's name and version, a credit line and the link that opens the
// bookmark "tavikurl" beside the application.
class AboutWindow : public framework::Window {
 public:
  // The open About window, or a new one, built at left 100, top 100 and shown.
  static AboutWindow& instance();

  framework::Label& Label1();
  framework::Label& Label2();
  framework::Label& Label3();
  framework::Label& Label4();
  framework::Label& Label5();

  // The pointer entered the link: it shows the application's cursor 128.
  void Label4_MouseEnter(framework::Label& label);
  // A click on the link opens "tavikurl" when the item can be had; answers true on every path.
  bool Label4_MouseDown(framework::Label& label, int x, int y);

 protected:
  void Layout() override;
  void CreateControls() override;
  void Event_Open() override;

 private:
  void CreateControls0();
};
