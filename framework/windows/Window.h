#pragma once
#include <QPointer>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <typeindex>
#include <typeinfo>
#include <vector>

#include "framework/controls/RectControl.h"

class QLineEdit;
class QMenuBar;
class QWidget;

namespace framework {

class MenuBar;
class WindowFrame;

// A top-level window; the program's windows subclass it and are reached through implicitInstance.
// Sizes are those of the content area (below the menu bar, if the window shows one).
class Window {
 public:
  Window();
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  // Builds the window: Layout, CreateControls, AddMenuHandlers, each control's Open (in creation
  // order), Event_Open; then shows it if Visible. Called once, by implicitInstance.
  void build();

  // Window properties (Layout sets them).
  void setMenuBar(MenuBar* bar);
  MenuBar* menuBar() const { return menuBar_; }
  int Width() const;
  int Height() const;
  void setWidth(int w);
  void setHeight(int h);
  void setMinSize(int w, int h);
  void setMaxSize(int w, int h);
  int Left() const;
  int Top() const;
  void setLeft(int x);
  void setTop(int y);
  const std::string& Title() const { return title_; }
  void setTitle(const std::string& title);
  void setBackColor(std::uint32_t rgb);
  void setHasBackColor(bool has);
  void setCloseButton(bool has);
  bool CloseButton() const { return closeButton_; }
  void setResizeable(bool r);
  bool Resizeable() const { return resizeable_; }
  void setMinimizeButton(bool has);
  void setMaximizeButton(bool has);
  // The window the window manager keeps this one over (the main window), set before it shows;
  // nullptr for none.
  void setTransientParent(Window* owner);
  // Escape closes the window when no Cancel button takes it.
  void setCloseOnEscape(bool c) { closeOnEscape_ = c; }
  // Whether the window shows itself once built; once built, shows or hides it.
  void setVisible(bool v);
  bool Visible() const { return visible_; }

  // Shows the window and brings it to the front; during its build, once the build is done.
  void Show();
  // Fires Event_Close (once) and hides the window; the accessor then gives a new window. The window
  // is destroyed when an event loop next waits at the outermost level, off every thread's stack, so
  // that the handler that closed it finishes first. The close box comes here too; on a window without
  // a close box (the main window) the window manager's close request quits the application instead.
  void Close();
  bool IsOpen() const { return open_; }

  // The control of that name, or nullptr.
  RectControl* ControlByName(std::string_view name) const;
  // The control of that name as C; throws std::runtime_error when there is none of that class.
  template <class C>
  C& control(std::string_view name) const {
    auto* c = dynamic_cast<C*>(ControlByName(name));
    if (!c) throw std::runtime_error("no control named " + std::string(name));
    return *c;
  }
  const std::vector<std::unique_ptr<RectControl>>& controls() const { return controls_; }

  // Registers a handler for the menu item of that name; a handler answering true takes the command.
  void AddMenuHandler(const std::string& itemName, std::function<bool()> handler);
  // Runs this window's handler for the item; gives whether it took the command.
  bool HandleMenuCommand(std::string_view itemName);

  // The top-level widget and the content area that holds the controls.
  QWidget* widget() const;
  QWidget* content() const { return content_; }
  QMenuBar* qmenuBar() const { return qmenuBar_; }
  // The line edit of this window that last had the focus, while it exists.
  QLineEdit* lastLineEdit() const;

  // Raised before a menu of the window opens and before a menu shortcut is dispatched.
  virtual void Event_EnableMenuItems() {}

 protected:
  virtual void Layout() {}
  virtual void CreateControls() {}
  virtual void AddMenuHandlers() {}
  virtual void Event_Open() {}
  virtual void Event_Close() {}

  // Makes a control of class C on the content area; its constructor takes (name, parent).
  template <class C>
  C& addControl(const std::string& name) {
    auto owned = std::make_unique<C>(name, content_);
    C& ref = *owned;
    controls_.push_back(std::move(owned));
    return ref;
  }

 private:
  friend class WindowFrame;
  void frameResized();
  void frameCloseRequested(bool& accept);
  void frameKeyPressed(int key, bool& handled);
  void frameActivated();
  int menuBarHeight() const;
  void applyFlags();
  void applySizeLimits();
  void resizeContent(int w, int h);

  std::unique_ptr<WindowFrame> frame_;
  QWidget* content_ = nullptr;  // owned by the frame
  QMenuBar* qmenuBar_ = nullptr;  // owned by the frame
  MenuBar* menuBar_ = nullptr;
  std::vector<std::unique_ptr<RectControl>> controls_;
  std::map<std::string, std::function<bool()>, std::less<>> menuHandlers_;
  QPointer<QWidget> transientOwner_;
  bool closeOnEscape_ = false;
  std::string title_;
  int minW_ = 0, minH_ = 0, maxW_ = 32000, maxH_ = 32000;
  bool closeButton_ = true, resizeable_ = true, minimizeButton_ = true, maximizeButton_ = true;
  bool visible_ = true, built_ = false, building_ = false, open_ = true, closing_ = false;
  bool hasBackColor_ = false;
  std::uint32_t backColor_ = 0xFFFFFF;
  std::uint64_t activation_ = 0;

  friend std::vector<Window*> OpenWindows();
};

// Every open window, front-most (most recently shown or active) first.
std::vector<Window*> OpenWindows();
// Every open window, the oldest first.
std::vector<Window*> OpenWindowsByAge();
// Destroys every window at once, without Close events (the end of a run; tests between cases).
void DestroyAllWindows();

namespace detail {
Window* findInstance(std::type_index type);
// Keeps `window` as the open instance of `type`, then builds it.
void adoptInstance(std::type_index type, std::unique_ptr<Window> window);
}  // namespace detail

// The open window of class W, or a new one, built.
template <class W>
W& implicitInstance() {
  if (Window* w = detail::findInstance(typeid(W))) return static_cast<W&>(*w);
  auto owned = std::make_unique<W>();
  W& ref = *owned;
  detail::adoptInstance(typeid(W), std::move(owned));
  return ref;
}

// The open window of class W, or nullptr.
template <class W>
W* openInstance() {
  return static_cast<W*>(detail::findInstance(typeid(W)));
}

}  // namespace framework
