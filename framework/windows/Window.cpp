#include "framework/windows/Window.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QPointer>
#include <QThread>
#include <QWidget>
#include <QWindow>
#include <algorithm>

#include "framework/controls/PushButton.h"
#include "framework/threads/Thread.h"
#include "framework/windows/Application.h"
#include "framework/windows/LayoutPalette.h"
#include "framework/windows/MenuItem.h"
#include "framework/windows/UiFont.h"

namespace framework {

// The top-level widget: it lays out the menu bar and the content area itself, so that the window's
// sizes are exactly those of the content area.
class WindowFrame : public QWidget {
 public:
  explicit WindowFrame(Window* owner) : owner_(owner) {
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance()))
      connect(app, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (auto* le = qobject_cast<QLineEdit*>(now); le && le->window() == this) lastLineEdit_ = le;
      });
  }
  Window* owner_;
  QPointer<QLineEdit> lastLineEdit_;

 protected:
  // A key that the focus widget does not take for itself reaches its window before Qt looks for
  // the shortcut's action: the menus are refreshed here, so that it finds them enabled as an
  // opened menu would show them.
  bool event(QEvent* e) override {
    if (e->type() == QEvent::ShortcutOverride) {
      const QKeySequence pressed(static_cast<QKeyEvent*>(e)->keyCombination());
      Dispatch([&] { MenuItem::refreshMenusForShortcut(pressed); });
    }
    return QWidget::event(e);
  }
  void resizeEvent(QResizeEvent* e) override {
    QWidget::resizeEvent(e);
    owner_->frameResized();
  }
  void closeEvent(QCloseEvent* e) override {
    bool accept = true;
    owner_->frameCloseRequested(accept);
    e->setAccepted(accept);
  }
  // Keys that no child took: Return and Escape press the default and cancel buttons.
  void keyPressEvent(QKeyEvent* e) override {
    bool handled = false;
    if (e->modifiers() == Qt::NoModifier || e->modifiers() == Qt::KeypadModifier) owner_->frameKeyPressed(e->key(), handled);
    if (!handled) QWidget::keyPressEvent(e);
  }
  void changeEvent(QEvent* e) override {
    if (e->type() == QEvent::ActivationChange && isActiveWindow()) owner_->frameActivated();
    QWidget::changeEvent(e);
  }
};

namespace {

// The one owner of every window, from its build to its deletion. The open instance of each class
// is in `instances`; Close moves it to `closed_`. Closed windows are deleted when an event loop
// waits for events at the outermost level on the main thread's own stack, where nothing beneath
// can be one of their handlers. A window closed inside a nested loop (a message box that a reading
// thread shows while a handler of that window waits at a yield) thus outlives that handler, which
// Qt's deferred deletion would not wait for: it deletes as soon as the nested loop comes back.
class Registry {
 public:
  std::map<std::type_index, std::unique_ptr<Window>> instances;
  std::vector<Window*> open;  // oldest first
  std::uint64_t activations = 0;

  ~Registry() { destroyAll(); }

  void forgetOpen(Window* w) { std::erase(open, w); }

  // Takes the window out of the instances; it is deleted at the next safe wait of the event loop.
  void retire(Window* w) {
    auto it = std::find_if(instances.begin(), instances.end(), [w](const auto& i) { return i.second.get() == w; });
    if (it == instances.end()) return;
    closed_.push_back(std::move(it->second));
    instances.erase(it);
    if (!waitWatch_)
      if (auto* loop = QAbstractEventDispatcher::instance())
        waitWatch_ = QObject::connect(loop, &QAbstractEventDispatcher::aboutToBlock, [this] { deleteClosedIfSafe(); });
  }

  // Deletes every window at once. Widgets cannot be deleted once the QApplication is gone: windows
  // still here then (an application object that outlived it) are left to the system.
  void destroyAll() {
    stopWatching();
    std::vector<std::unique_ptr<Window>> doomed = std::move(closed_);
    closed_.clear();
    for (auto& [type, w] : instances) doomed.push_back(std::move(w));
    instances.clear();
    open.clear();
    if (!QCoreApplication::instance())
      for (auto& w : doomed) (void)w.release();
  }

 private:
  void deleteClosedIfSafe() {
    if (QThread::currentThread()->loopLevel() > 1 || CurrentThread() != nullptr) return;
    stopWatching();
    // Moved out first: a window's destructor may close another.
    std::vector<std::unique_ptr<Window>> doomed = std::move(closed_);
    closed_.clear();
  }

  void stopWatching() {
    QObject::disconnect(waitWatch_);
    waitWatch_ = {};
  }

  std::vector<std::unique_ptr<Window>> closed_;
  QMetaObject::Connection waitWatch_;
};

// At namespace scope, so that it is made before and destroyed after any application object kept
// by a function's static, whose destructor destroys the windows.
Registry g_registry;

Registry& registry() { return g_registry; }

}  // namespace

Window::Window() : frame_(std::make_unique<WindowFrame>(this)) {
  // Before any control measures its text.
  UseJapaneseUiFont();
  content_ = new QWidget(frame_.get());
  content_->setObjectName("content");
  setHasBackColor(false);
  applyFlags();
  resizeContent(300, 300);
}

Window::~Window() {
  registry().forgetOpen(this);
  // Controls first: they delete their widgets, which live in the frame.
  controls_.clear();
  frame_.reset();
}

void Window::build() {
  if (built_) return;
  built_ = true;
  building_ = true;
  auto& open = registry().open;
  if (std::find(open.begin(), open.end(), this) == open.end()) open.push_back(this);
  Layout();
  CreateControls();
  AddMenuHandlers();
  // By index: an Open event may add controls.
  for (std::size_t i = 0; i < controls_.size(); ++i) {
    if (controls_[i]->Open) controls_[i]->Open();
  }
  Event_Open();
  building_ = false;
  if (visible_ && open_) Show();
}

// ---- properties

int Window::menuBarHeight() const {
  return qmenuBar_ && !qmenuBar_->isHidden() ? qmenuBar_->sizeHint().height() : 0;
}

int Window::Width() const { return frame_->width(); }
int Window::Height() const { return frame_->height() - menuBarHeight(); }

void Window::setMenuBar(MenuBar* bar) {
  const int h = Height();
  menuBar_ = bar;
  if (bar) {
    if (!qmenuBar_) {
      qmenuBar_ = new QMenuBar(frame_.get());
      qmenuBar_->setObjectName("MenuBar");
    }
    qmenuBar_->show();
    bar->attach(qmenuBar_);
  } else if (qmenuBar_) {
    qmenuBar_->clear();
    qmenuBar_->hide();
  }
  resizeContent(Width(), h);
}

void Window::setWidth(int w) { resizeContent(w, Height()); }
void Window::setHeight(int h) { resizeContent(Width(), h); }

void Window::setMinSize(int w, int h) {
  minW_ = std::max(0, w);
  minH_ = std::max(0, h);
  resizeContent(Width(), Height());
}

void Window::setMaxSize(int w, int h) {
  maxW_ = std::max(0, w);
  maxH_ = std::max(0, h);
  resizeContent(Width(), Height());
}

void Window::resizeContent(int w, int h) {
  if (resizeable_) {
    w = std::clamp(w, minW_, std::max(minW_, maxW_));
    h = std::clamp(h, minH_, std::max(minH_, maxH_));
  }
  const int mbh = menuBarHeight();
  if (resizeable_) {
    frame_->setMinimumSize(minW_, minH_ + mbh);
    frame_->setMaximumSize(std::min(maxW_, QWIDGETSIZE_MAX), std::min(maxH_ + mbh, QWIDGETSIZE_MAX));
  } else {
    frame_->setFixedSize(w, h + mbh);
  }
  frame_->resize(w, h + mbh);
  frameResized();
}

void Window::frameResized() {
  const int mbh = menuBarHeight();
  const int w = frame_->width();
  const int h = std::max(0, frame_->height() - mbh);
  if (qmenuBar_ && !qmenuBar_->isHidden()) qmenuBar_->setGeometry(0, 0, w, mbh);
  if (content_->geometry() == QRect(0, mbh, w, h)) return;
  content_->setGeometry(0, mbh, w, h);
  for (auto& c : controls_) c->relayout(w, h);
}

int Window::Left() const { return frame_->geometry().x(); }
int Window::Top() const { return frame_->geometry().y(); }
void Window::setLeft(int x) { frame_->setGeometry(QRect(QPoint(x, frame_->geometry().y()), frame_->size())); }
void Window::setTop(int y) { frame_->setGeometry(QRect(QPoint(frame_->geometry().x(), y), frame_->size())); }

void Window::setTitle(const std::string& title) {
  title_ = title;
  frame_->setWindowTitle(QString::fromStdString(title));
}

void Window::setBackColor(std::uint32_t rgb) {
  backColor_ = rgb;
  setHasBackColor(hasBackColor_);
}

void Window::setHasBackColor(bool has) {
  hasBackColor_ = has;
  // Without a colour of its own the window keeps the light background its controls' colours were
  // chosen against, not the desktop's.
  QPalette pal = content_->palette();
  pal.setColor(QPalette::Window, has ? QColor::fromRgb(backColor_ & 0xFFFFFF) : LayoutPalette().color(QPalette::Window));
  content_->setPalette(pal);
  content_->setAutoFillBackground(true);
}

void Window::setCloseButton(bool has) {
  closeButton_ = has;
  applyFlags();
}

void Window::setResizeable(bool r) {
  resizeable_ = r;
  applyFlags();
  resizeContent(Width(), Height());
}

void Window::setMinimizeButton(bool has) {
  minimizeButton_ = has;
  applyFlags();
}

void Window::setMaximizeButton(bool has) {
  maximizeButton_ = has;
  applyFlags();
}

void Window::applyFlags() {
  Qt::WindowFlags f = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint;
  if (minimizeButton_) f |= Qt::WindowMinimizeButtonHint;
  if (maximizeButton_ && resizeable_) f |= Qt::WindowMaximizeButtonHint;
  if (closeButton_) f |= Qt::WindowCloseButtonHint;
  if (frame_->windowFlags() == f) return;
  // Changing the flags hides a shown window.
  const bool shown = frame_->isVisible();
  frame_->setWindowFlags(f);
  if (shown) frame_->show();
}

void Window::setVisible(bool v) {
  visible_ = v;
  // While building (Layout sets Visible first) the window shows only at the end, with its controls.
  if (!built_ || building_ || !open_) return;
  if (v)
    Show();
  else
    frame_->hide();
}

// ---- showing and closing

void Window::Show() {
  if (!open_) return;
  visible_ = true;
  // A Show that reaches a window whose Open event is giving way (a thread's message box lets the
  // user ask for it) waits for the end of the build, which shows the window with all its parts.
  if (building_) return;
  if (transientOwner_ && transientOwner_ != frame_.get()) {
    // Before the window is mapped: the window manager places it by its owner then.
    frame_->winId();
    transientOwner_->winId();
    frame_->windowHandle()->setTransientParent(transientOwner_->windowHandle());
  }
  frame_->show();
  // The offscreen platform (tests) has no stacking order and warns on every raise.
  if (QGuiApplication::platformName() != QLatin1String("offscreen")) frame_->raise();
  frame_->activateWindow();
  activation_ = ++registry().activations;
}

void Window::setTransientParent(Window* owner) { transientOwner_ = owner ? owner->frame_.get() : nullptr; }

void Window::frameActivated() { activation_ = ++registry().activations; }

void Window::Close() {
  if (closing_ || !open_) return;
  closing_ = true;
  registry().forgetOpen(this);
  Dispatch([this] { Event_Close(); });
  open_ = false;
  frame_->hide();
  registry().retire(this);
}

void Window::frameCloseRequested(bool& accept) {
  if (closing_ || !open_) return;
  if (!closeButton_ && !ApplicationIsQuitting()) {
    // A close box the window manager draws anyway, or Alt+F4: the user means to quit.
    accept = false;
    QuitApplication(0);
    return;
  }
  Close();
}

void Window::frameKeyPressed(int key, bool& handled) {
  const bool isReturn = key == Qt::Key_Return || key == Qt::Key_Enter;
  const bool isEscape = key == Qt::Key_Escape;
  if (!isReturn && !isEscape) return;
  for (auto& c : controls_) {
    auto* b = dynamic_cast<PushButton*>(c.get());
    if (!b || !(isReturn ? b->Default() : b->Cancel())) continue;
    if (!b->widget()->isVisible() || !b->widget()->isEnabled()) continue;
    handled = true;
    b->Push();
    return;
  }
  if (isEscape && closeOnEscape_) {
    handled = true;
    Close();
  }
}

// ---- controls and menus

RectControl* Window::ControlByName(std::string_view name) const {
  for (auto& c : controls_)
    if (c->Name() == name) return c.get();
  return nullptr;
}

void Window::AddMenuHandler(const std::string& itemName, std::function<bool()> handler) {
  menuHandlers_[itemName] = std::move(handler);
}

bool Window::HandleMenuCommand(std::string_view itemName) {
  auto it = menuHandlers_.find(itemName);
  if (it == menuHandlers_.end() || !it->second) return false;
  // A copy: the handler may replace itself or close the window.
  auto handler = it->second;
  return handler();
}

QWidget* Window::widget() const { return frame_.get(); }

QLineEdit* Window::lastLineEdit() const { return frame_->lastLineEdit_; }

// ---- the registry

std::vector<Window*> OpenWindows() {
  std::vector<Window*> v = registry().open;
  std::stable_sort(v.begin(), v.end(), [](Window* a, Window* b) { return a->activation_ > b->activation_; });
  return v;
}

std::vector<Window*> OpenWindowsByAge() { return registry().open; }

void DestroyAllWindows() { registry().destroyAll(); }

namespace detail {

Window* findInstance(std::type_index type) {
  auto& r = registry();
  auto it = r.instances.find(type);
  return it == r.instances.end() ? nullptr : it->second.get();
}

void adoptInstance(std::type_index type, std::unique_ptr<Window> window) {
  Window* w = window.get();
  registry().instances[type] = std::move(window);
  try {
    w->build();
  } catch (...) {
    // A window that failed to build is not left behind as the open instance.
    registry().forgetOpen(w);
    w->widget()->hide();
    registry().retire(w);
    throw;
  }
}

}  // namespace detail

}  // namespace framework
