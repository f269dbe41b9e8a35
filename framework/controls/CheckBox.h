#pragma once
#include <string>

#include "framework/controls/RectControl.h"

class QCheckBox;
class QLabel;

namespace framework {

// A check box whose caption wraps within the control's box; a click anywhere in the box toggles it.
class CheckBox : public RectControl {
 public:
  // `parent` is the window's content area.
  CheckBox(std::string name, QWidget* parent);

  std::string Caption() const { return caption_; }
  void setCaption(const std::string& caption);
  bool Value() const;
  void setValue(bool v);
  QCheckBox* checkBox() const;
  QLabel* captionLabel() const;

 private:
  std::string caption_;
};

}  // namespace framework
