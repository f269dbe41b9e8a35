#pragma once
#include "framework/windows/MenuItem.h"

// The application's one menu bar: the File and Edit menus. It handles no command itself; the items
// are found by name.
class MenuBar1 : public framework::MenuBar {
 public:
  // The single instance; the first call builds it.
  static MenuBar1& instance();
  // Drops the single instance at exit; a later instance() builds a new one.
  static void release();

  // Builds the File menu, then the Edit menu.
  MenuBar1();

  // The File menu.
  void Untitled0();
  // The Edit menu.
  void Untitled1();
};
