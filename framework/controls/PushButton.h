#pragma once
#include <functional>
#include <string>

#include "framework/controls/RectControl.h"

class QPushButton;

namespace framework {

// A push button. Its window presses the Default button on Return (also from a line edit) and the
// Cancel button on Escape.
class PushButton : public RectControl {
 public:
  // `parent` is the window's content area.
  PushButton(std::string name, QWidget* parent);

  std::string Caption() const { return caption_; }
  void setCaption(const std::string& caption);
  bool Default() const { return default_; }
  void setDefault(bool d);
  bool Cancel() const { return cancel_; }
  void setCancel(bool c);

  // Presses the button as a click does (nothing when it is disabled).
  void Push();
  QPushButton* button() const;

  // Raised when the button is pressed.
  std::function<void()> Action;

 private:
  std::string caption_;
  bool default_ = false, cancel_ = false;
};

}  // namespace framework
