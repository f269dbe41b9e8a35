#pragma once
#include <QPointer>
#include <QWidget>
#include <functional>
#include <string>

namespace framework {

// Base of every control: a named child widget at a pixel rectangle of its window's content area.
// A control locked to window edges keeps its distances to those edges when the window is resized.
class RectControl {
 public:
  // Takes ownership of `widget`, which must already be a child of the window's content area.
  RectControl(std::string name, QWidget* widget);
  virtual ~RectControl();
  RectControl(const RectControl&) = delete;
  RectControl& operator=(const RectControl&) = delete;

  const std::string& Name() const { return name_; }
  QWidget* widget() const { return widget_; }

  // Geometry relative to the content area. Setting it takes the content area's current size as
  // the reference from which the locks measure later resizes.
  void setBounds(int left, int top, int width, int height);
  int Left() const { return widget_->x(); }
  int Top() const { return widget_->y(); }
  int Width() const { return widget_->width(); }
  int Height() const { return widget_->height(); }
  void setLocks(bool left, bool top, bool right, bool bottom);
  bool LockLeft() const { return lockLeft_; }
  bool LockTop() const { return lockTop_; }
  bool LockRight() const { return lockRight_; }
  bool LockBottom() const { return lockBottom_; }

  bool Visible() const { return visible_; }
  void setVisible(bool v);
  bool Enabled() const { return widget_->isEnabled(); }
  void setEnabled(bool e) { widget_->setEnabled(e); }
  // Whether Tab reaches the control. Either way a click gives it the focus where its kind takes
  // the focus from clicks on this platform (a list does).
  bool TabStop() const { return (widget_->focusPolicy() & Qt::TabFocus) != 0; }
  void setTabStop(bool t);

  // Text size in points of 1/72 inch, shown as that many pixels; the text unit is accepted and
  // ignored (only the default unit exists).
  virtual void setTextSize(double points);
  void setTextUnit(int) {}

  // Applies the locks for a content area of the given size; called by the window.
  void relayout(int contentWidth, int contentHeight);

  // The control's Open event, fired once by its window after all controls exist.
  std::function<void()> Open;

 protected:
  // Puts `widget` (a child of the same content area) in the place of the current one: same
  // name, geometry, font, visibility, state and Tab position; the old widget is deleted.
  void replaceWidget(QWidget* widget);

 private:
  std::string name_;
  QPointer<QWidget> widget_;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;  // as set, at the reference size
  int refWidth_ = 0, refHeight_ = 0;
  bool lockLeft_ = true, lockTop_ = true, lockRight_ = false, lockBottom_ = false;
  bool visible_ = true;
};

}  // namespace framework
