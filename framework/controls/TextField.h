#pragma once
#include <string>

#include "framework/controls/RectControl.h"

class QLineEdit;

namespace framework {

// A one-line text entry field, black text on white.
class TextField : public RectControl {
 public:
  // `parent` is the window's content area.
  TextField(std::string name, QWidget* parent);

  std::string Text() const;
  void setText(const std::string& text);
  QLineEdit* lineEdit() const;
};

}  // namespace framework
