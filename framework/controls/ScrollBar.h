#pragma once
#include <functional>
#include <string>

#include "framework/controls/RectControl.h"

class QScrollBar;

namespace framework {

// A horizontal scroll bar. With LiveScroll off, dragging the thumb reports the value on release only.
class ScrollBar : public RectControl {
 public:
  // `parent` is the window's content area.
  ScrollBar(std::string name, QWidget* parent);

  int Minimum() const;
  int Maximum() const;
  int Value() const;
  void setMinimum(int v);
  void setMaximum(int v);
  void setValue(int v);
  void setLineStep(int v);
  void setPageStep(int v);
  void setLiveScroll(bool live);
  bool LiveScroll() const;
  QScrollBar* scrollBar() const;

  // Raised when the value changes.
  std::function<void()> ValueChanged;
};

}  // namespace framework
