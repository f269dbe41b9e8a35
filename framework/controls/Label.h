#pragma once
#include <QCursor>
#include <cstdint>
#include <functional>
#include <string>

#include "framework/controls/RectControl.h"

class QLabel;

namespace framework {

// A static text, shown as plain text (never as markup); a carriage return breaks the line.
class Label : public RectControl {
 public:
  // `parent` is the window's content area.
  Label(std::string name, QWidget* parent);

  std::string Text() const { return text_; }
  void setText(const std::string& text);
  // 0xRRGGBB; black until set, whatever the desktop's palette.
  void setTextColor(std::uint32_t rgb);
  std::uint32_t TextColor() const { return textColor_; }
  // Word wrap within the label's width.
  void setMultiline(bool m);
  void setUnderline(bool u);
  // The cursor shown while the pointer is over the label.
  void setMouseCursor(const QCursor& cursor);
  QLabel* label() const;

  // Raised each time the pointer enters the label.
  std::function<void()> MouseEnter;
  // Raised on a mouse press, with the position in the label.
  std::function<bool(int x, int y)> MouseDown;

 private:
  std::string text_;
  std::uint32_t textColor_ = 0;
};

}  // namespace framework
