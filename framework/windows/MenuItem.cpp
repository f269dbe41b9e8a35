#include "framework/windows/MenuItem.h"

#include <QAction>
#include <QApplication>
#include <QKeySequence>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <set>

#include "framework/windows/Application.h"
#include "framework/windows/Window.h"

namespace framework {
namespace {

QString menuText(const std::string& text) { return QString::fromStdString(text).replace('&', "&&"); }

QKeySequence parseShortcut(const std::string& shortcut) {
  QString s = QString::fromStdString(shortcut);
  // Qt's Ctrl is the platform's standard modifier (Command on macOS).
  s.replace(QRegularExpression("\\b(Cmd|Command)\\b", QRegularExpression::CaseInsensitiveOption), "Ctrl");
  s.replace(QRegularExpression("\\b(Option|Opt)\\b", QRegularExpression::CaseInsensitiveOption), "Alt");
  return QKeySequence::fromString(s, QKeySequence::PortableText);
}

// The line edit the Edit commands act on: the focused one, or the one the active window's focus
// last rested on (a menu bar that took the focus gives it back only after the command).
QLineEdit* editTarget() {
  if (auto* le = qobject_cast<QLineEdit*>(QApplication::focusWidget())) return le;
  for (Window* w : OpenWindows()) {
    if (!w->widget()->isActiveWindow()) continue;
    QLineEdit* last = w->lastLineEdit();
    return last && last->isVisible() ? last : nullptr;
  }
  return nullptr;
}

bool hasShortcut(const MenuItem& item, const QKeySequence& pressed) {
  if (item.action()->shortcut().matches(pressed) == QKeySequence::ExactMatch) return true;
  for (int i = 0; i < item.Count(); ++i)
    if (hasShortcut(*item.Item(i), pressed)) return true;
  return false;
}

}  // namespace

MenuItem::MenuItem() : action_(std::make_unique<QAction>()) {
  action_->setMenuRole(QAction::NoRole);
  // Shortcuts work in every window of the application, not only in the one showing the bar.
  action_->setShortcutContext(Qt::ApplicationShortcut);
  QObject::connect(action_.get(), &QAction::triggered, action_.get(), [this] {
    Dispatch([this] {
      for (Window* w : OpenWindows())
        if (w->HandleMenuCommand(name_)) return;
      standardAction();
    });
  });
}

MenuItem::~MenuItem() {
  // Children first: their actions sit in this item's menu.
  children_.clear();
  menu_.reset();
}

void MenuItem::setText(const std::string& text) {
  text_ = text;
  const bool separator = text == "-";
  action_->setSeparator(separator);
  // Some styles draw a separator's text beside its line.
  action_->setText(separator ? QString() : menuText(text));
  if (menu_) menu_->setTitle(menuText(text));
}

void MenuItem::setKeyboardShortcut(const std::string& shortcut) {
  shortcut_ = shortcut;
  action_->setShortcut(parseShortcut(shortcut));
}

void MenuItem::setEnabled(bool e) {
  enabled_ = e;
  action_->setEnabled(e);
  if (menu_) menu_->menuAction()->setEnabled(e);
}

void MenuItem::Append(std::unique_ptr<MenuItem> item) {
  if (!item) return;
  item->parent_ = this;
  children_.push_back(std::move(item));
  MenuItem* r = root();
  r->rebuildMenu();
  r->onStructureChanged();
}

MenuItem* MenuItem::Child(std::string_view name) const {
  for (auto& c : children_)
    if (c->name_ == name) return c.get();
  return nullptr;
}

MenuItem* MenuItem::Lookup(std::string_view name) const {
  for (auto& c : children_) {
    if (c->name_ == name) return c.get();
    if (MenuItem* found = c->Lookup(name)) return found;
  }
  return nullptr;
}

MenuItem* MenuItem::Item(int index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return children_[static_cast<std::size_t>(index)].get();
}

QAction* MenuItem::action() const { return menu_ ? menu_->menuAction() : action_.get(); }

MenuItem* MenuItem::root() {
  MenuItem* item = this;
  while (item->parent_) item = item->parent_;
  return item;
}

void MenuItem::rebuildMenu() {
  for (auto& c : children_) c->rebuildMenu();
  if (children_.empty()) return;
  if (!menu_) {
    menu_ = std::make_unique<QMenu>();
    menu_->setObjectName(QString::fromStdString(name_));
    menu_->setTitle(menuText(text_));
    menu_->menuAction()->setEnabled(enabled_);
    QObject::connect(menu_.get(), &QMenu::aboutToShow, menu_.get(), [this] {
      Dispatch([this] { refreshMenus(*root()); });
    });
  }
  for (QAction* a : menu_->actions()) menu_->removeAction(a);
  for (auto& c : children_) menu_->addAction(c->action());
}

void MenuItem::onStructureChanged() {}

void MenuItem::standardAction() {
  QLineEdit* le = editTarget();
  if (!le) return;
  const bool writable = !le->isReadOnly();
  if (name_ == "EditUndo") {
    if (writable) le->undo();
  } else if (name_ == "EditCut") {
    if (writable) le->cut();
  } else if (name_ == "EditCopy") {
    le->copy();
  } else if (name_ == "EditPaste") {
    if (writable) le->paste();
  } else if (name_ == "EditClear") {
    if (writable && le->hasSelectedText()) le->del();
  } else if (name_ == "EditSelectAll") {
    le->selectAll();
  }
}

bool MenuItem::Choose() {
  refreshMenus(*root());
  if (!enabled_) return false;
  action_->trigger();
  return true;
}

void MenuItem::refreshMenus(MenuItem& root) {
  struct Walk {
    static void enable(MenuItem& item) {
      if (item.autoEnable_) item.setEnabled(true);
      for (auto& c : item.children_) enable(*c);
    }
  };
  Walk::enable(root);
  for (Window* w : OpenWindows()) Dispatch([w] { w->Event_EnableMenuItems(); });
}

void MenuItem::refreshMenusForShortcut(const QKeySequence& pressed) {
  // Only a bar that a window shows can take a shortcut; the application's is one of them.
  std::set<MenuItem*> roots;
  for (Window* w : OpenWindows())
    if (w->menuBar()) roots.insert(w->menuBar());
  if (Application* app = Application::instance(); app && app->menuBar()) roots.insert(app->menuBar());
  for (MenuItem* r : roots)
    if (hasShortcut(*r, pressed)) refreshMenus(*r);
}

AppleMenuItem::AppleMenuItem() { action()->setMenuRole(QAction::AboutRole); }
PrefsMenuItem::PrefsMenuItem() { action()->setMenuRole(QAction::PreferencesRole); }
QuitMenuItem::QuitMenuItem() { action()->setMenuRole(QAction::QuitRole); }

void QuitMenuItem::standardAction() { QuitApplication(0); }

MenuBar::MenuBar() = default;

MenuBar::~MenuBar() {
  for (auto& bar : bars_)
    if (bar) bar->clear();
}

void MenuBar::attach(QMenuBar* bar) {
  if (!bar) return;
  bool known = false;
  for (auto& b : bars_) known = known || b == bar;
  if (!known) bars_.emplace_back(bar);
  rebuildBars();
}

void MenuBar::onStructureChanged() { rebuildBars(); }

void MenuBar::rebuildBars() {
  std::erase_if(bars_, [](const QPointer<QMenuBar>& b) { return !b; });
  for (auto& bar : bars_) {
    bar->clear();
    for (int i = 0; i < Count(); ++i) bar->addAction(Item(i)->action());
  }
}

}  // namespace framework
