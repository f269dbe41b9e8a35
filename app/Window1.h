#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "catalogue/NameIndexBuild.h"
#include "framework/controls/Label.h"
#include "framework/controls/Listbox.h"
#include "framework/controls/ProgressWheel.h"
#include "framework/controls/PushButton.h"
#include "framework/controls/ScrollBar.h"
#include "framework/controls/TextField.h"
#include "framework/files/FolderItem.h"
#include "framework/windows/MenuItem.h"
#include "framework/windows/Window.h"

// The main window: the catalogue tree, the search and the commands. The catalogue routines are
// methods of this class and write their rows straight into its lists (they live in catalogue/).
class Window1 : public framework::Window {
 public:
  // The one main window; the first call builds it.
  static Window1& instance();

  // The name of the disc being read or updated; "" or " " means no volume was chosen.
  std::string CDName;

  // Controls.
  framework::Label& Label1();
  framework::PushButton& SinkiButton();
  framework::PushButton& KoushinButton();
  framework::PushButton& SakujyoButton();
  framework::Listbox& CDList();
  framework::Label& Label2();
  framework::TextField& TextField1();
  framework::PushButton& KensakuButton();
  framework::ProgressWheel& ProgressWheel1();
  framework::Listbox& SearchList();
  framework::ScrollBar& ScrollBar1();

  // Menu items, found by name anywhere in the window's menu bar.
  framework::MenuItem& EditMenu();
  framework::MenuItem& EditSelectAll();
  framework::MenuItem& UntitledMenu0();
  framework::MenuItem& EditClear();
  framework::MenuItem& EditPaste();
  framework::MenuItem& EditCopy();
  framework::MenuItem& EditCut();
  framework::MenuItem& UntitledMenu1();
  framework::MenuItem& EditUndo();
  framework::MenuItem& FileMenu();
  framework::QuitMenuItem& FileQuit();
  framework::MenuItem& ReadOldDB();
  framework::PrefsMenuItem& SetteiMenu();
  framework::AppleMenuItem& About();

  // Control handlers.
  void SinkiButton_Action();
  void KoushinButton_Action();
  void SakujyoButton_Action();
  void CDList_ExpandRow(framework::Listbox& list, int row);
  void CDList_Open(framework::Listbox& list);
  void KensakuButton_Action();
  // Whether the hit list of the latest search is still filling beside the window.
  static bool SearchListFilling();
  void SearchList_Open(framework::Listbox& list);
  void ScrollBar1_Open(framework::ScrollBar& bar);
  void ScrollBar1_ValueChanged(framework::ScrollBar& bar);

  // Menu handlers; each shows its window and answers True.
  bool SetteiMenu_Action();
  bool About_Action();
  bool ReadOldDB_Action();

  // Catalogue routines.
  void CollectInfoitem(framework::FolderItem& item, std::int32_t parent);
  std::string GetFileKind(const framework::FolderItem& item);
  void NewCD();
  // The new record's number; none when it could not be stored, and then the read stops.
  std::optional<std::int32_t> NewRec(const framework::FolderItem& item, std::int32_t parent);
  void OpenDB();
  void ReCD();
  std::string UTF8Mac(const std::string& name);
  void OldDbReading();

 protected:
  void Layout() override;
  void CreateControls() override;
  void AddMenuHandlers() override;
  void Event_Open() override;
  void Event_EnableMenuItems() override;
  void Event_Close() override;

 private:
  void CreateControls0();

  // Keeps the name index caught up beside the window; stops with the window.
  std::unique_ptr<NameIndexBuild> nameIndexing_;
};
