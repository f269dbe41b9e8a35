#pragma once
#include <QPointer>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QAction;
class QKeySequence;
class QMenu;
class QMenuBar;

namespace framework {

// A menu item; an item with children is a menu (its title on the bar or a submenu). Choosing an item
// sends its Name to the menu handlers of the open windows (front-most first); when none handles
// it, the item's standard behaviour runs (Quit, and the Edit items on the focused line edit).
class MenuItem {
 public:
  MenuItem();
  virtual ~MenuItem();
  MenuItem(const MenuItem&) = delete;
  MenuItem& operator=(const MenuItem&) = delete;

  const std::string& Name() const { return name_; }
  void setName(const std::string& name) { name_ = name; }
  const std::string& Text() const { return text_; }
  // "-" makes the item a separator: a plain line (Text still gives "-").
  void setText(const std::string& text);
  const std::string& KeyboardShortcut() const { return shortcut_; }
  // "Cmd+Q": Cmd is the platform's standard modifier (Ctrl on Linux); "" removes the shortcut.
  void setKeyboardShortcut(const std::string& shortcut);
  // An AutoEnable item is enabled afresh each time its menus are refreshed, before the windows'
  // EnableMenuItems events run.
  bool AutoEnable() const { return autoEnable_; }
  void setAutoEnable(bool a) { autoEnable_ = a; }
  bool Enabled() const { return enabled_; }
  void setEnabled(bool e);

  // Adds `item` as the last entry of this menu.
  void Append(std::unique_ptr<MenuItem> item);
  // The direct child of that name, or nullptr.
  MenuItem* Child(std::string_view name) const;
  // The item of that name anywhere below this one, or nullptr.
  MenuItem* Lookup(std::string_view name) const;
  int Count() const { return static_cast<int>(children_.size()); }
  // The child at `index` (from 0), or nullptr.
  MenuItem* Item(int index) const;
  MenuItem* Parent() const { return parent_; }

  // The item's action in the Qt menus (a menu's own title action once it has children).
  QAction* action() const;
  // The item's Qt menu, or nullptr while it has no children.
  QMenu* menu() const { return menu_.get(); }

  // Runs the standard behaviour of the item (after no handler took the command).
  virtual void standardAction();

  // Chooses the item as the user would: refreshes the menus, then dispatches the command if the
  // item is enabled. Gives whether it was dispatched.
  bool Choose();

  // Enables every AutoEnable item below `root`, then runs every open window's EnableMenuItems.
  static void refreshMenus(MenuItem& root);
  // Refreshes each shown bar that has an item with that shortcut, so that the shortcut meets
  // the items enabled as they would be in an opened menu.
  static void refreshMenusForShortcut(const QKeySequence& pressed);

 protected:
  MenuItem* root();

 private:
  void rebuildMenu();
  virtual void onStructureChanged();

  std::string name_, text_, shortcut_;
  bool autoEnable_ = false, enabled_ = true;
  MenuItem* parent_ = nullptr;
  std::vector<std::unique_ptr<MenuItem>> children_;
  std::unique_ptr<QAction> action_;
  std::unique_ptr<QMenu> menu_;
};

// The About item (placed where the platform shows About).
class AppleMenuItem : public MenuItem {
 public:
  AppleMenuItem();
};

// The Preferences item.
class PrefsMenuItem : public MenuItem {
 public:
  PrefsMenuItem();
};

// The Quit item: unless a handler takes it, choosing it quits the application.
class QuitMenuItem : public MenuItem {
 public:
  QuitMenuItem();
  void standardAction() override;
};

// A menu bar: its children are the menus. It is shown in every window that sets it.
class MenuBar : public MenuItem {
 public:
  MenuBar();
  ~MenuBar() override;

  // Shows the bar's menus in `bar` (kept up to date with later changes until `bar` is gone).
  void attach(QMenuBar* bar);

 private:
  void onStructureChanged() override;
  void rebuildBars();

  std::vector<QPointer<QMenuBar>> bars_;
};

}  // namespace framework
