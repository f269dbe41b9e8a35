#pragma once
#include <string>
#include <vector>

#include "framework/controls/Label.h"
#include "framework/controls/Listbox.h"
#include "framework/controls/PushButton.h"
#include "framework/windows/Window.h"

// The disc chooser: lists the mounted volumes (the start-up volume aside) and starts the read or
// the update of the chosen one on a new reading thread.
class Window2 : public framework::Window {
 public:
  // The open chooser, or a new one, built and shown.
  static Window2& instance();

  framework::Label& Label1();
  framework::PushButton& PushButton1();
  framework::Listbox& Listbox1();
  framework::PushButton& PushButton2();
  framework::Label& Label2();

  // "リスト作成": takes the chosen name and volume, closes the chooser and starts a Class1.
  // While a read runs it only says so, and the chooser stays open.
  void PushButton1_Action();
  // "キャンセル" (Escape): closes the chooser; nothing else changes.
  void PushButton2_Action();

 protected:
  void Layout() override;
  void CreateControls() override;
  void Event_Open() override;

 private:
  void CreateControls0();
  // The volume index that row `row` stands for now.
  int volumeOfRow(int row) const;

  // What each volume row showed at Open, from the top: its mount point and its index then.
  struct Offered {
    std::string path;
    int index;
  };
  std::vector<Offered> offered_;
};
