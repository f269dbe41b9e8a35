#include "framework/controls/RectControl.h"

#include <algorithm>

namespace framework {

RectControl::RectControl(std::string name, QWidget* widget) : name_(std::move(name)), widget_(widget) {
  widget_->setObjectName(QString::fromStdString(name_));
  if (QWidget* parent = widget_->parentWidget()) {
    refWidth_ = parent->width();
    refHeight_ = parent->height();
  }
}

RectControl::~RectControl() { delete widget_.data(); }

void RectControl::setBounds(int left, int top, int width, int height) {
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  if (QWidget* parent = widget_->parentWidget()) {
    refWidth_ = parent->width();
    refHeight_ = parent->height();
  }
  widget_->setGeometry(left, top, std::max(0, width), std::max(0, height));
}

void RectControl::replaceWidget(QWidget* widget) {
  QWidget* old = widget_.data();
  widget->setObjectName(old->objectName());
  widget->setGeometry(old->geometry());
  if (old->testAttribute(Qt::WA_SetFont)) widget->setFont(old->font());
  widget->setEnabled(old->isEnabled());
  widget->setFocusPolicy(old->focusPolicy());
  QWidget::setTabOrder(old, widget);
  widget->setVisible(visible_);
  widget_ = widget;
  delete old;
}

void RectControl::setLocks(bool left, bool top, bool right, bool bottom) {
  lockLeft_ = left;
  lockTop_ = top;
  lockRight_ = right;
  lockBottom_ = bottom;
}

void RectControl::setVisible(bool v) {
  visible_ = v;
  widget_->setVisible(v);
}

void RectControl::setTabStop(bool t) {
  // Only the Tab order changes: whether a click gives the focus stays the platform's rule for the
  // kind of control.
  const int policy = widget_->focusPolicy();
  widget_->setFocusPolicy(static_cast<Qt::FocusPolicy>(t ? policy | Qt::TabFocus : policy & ~Qt::TabFocus));
}

void RectControl::setTextSize(double points) {
  if (points <= 0) return;
  // The layouts were drawn at 72 dots per inch, where a point is a pixel: sizing the text in
  // pixels keeps it inside its control on any screen.
  QFont f = widget_->font();
  f.setPixelSize(std::max(1, static_cast<int>(points + 0.5)));
  widget_->setFont(f);
}

void RectControl::relayout(int contentWidth, int contentHeight) {
  const int dx = contentWidth - refWidth_;
  const int dy = contentHeight - refHeight_;
  int left = left_, width = width_, top = top_, height = height_;
  // Locked to both edges: stretch. Locked to the far edge only: move with it.
  if (lockRight_) (lockLeft_ ? width : left) += dx;
  if (lockBottom_) (lockTop_ ? height : top) += dy;
  widget_->setGeometry(left, top, std::max(0, width), std::max(0, height));
}

}  // namespace framework
