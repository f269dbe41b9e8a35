#pragma once
#include <string>

#include "framework/controls/RectControl.h"

namespace framework {

// A small spinning busy indicator; it turns only while it is shown.
class ProgressWheel : public RectControl {
 public:
  // `parent` is the window's content area.
  ProgressWheel(std::string name, QWidget* parent);

  // Whether the wheel is turning now (it is visible on screen).
  bool Spinning() const;
};

}  // namespace framework
