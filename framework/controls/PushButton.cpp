#include "framework/controls/PushButton.h"

#include <QPushButton>

#include "framework/windows/Application.h"
#include "framework/windows/LayoutPalette.h"

namespace framework {

PushButton::PushButton(std::string name, QWidget* parent) : RectControl(std::move(name), new QPushButton(parent)) {
  // A light button with a black caption, like the windows it stands on, on any desktop palette.
  button()->setPalette(LayoutPalette());
  QObject::connect(button(), &QPushButton::clicked, button(), [this] {
    if (Action) Dispatch([this] { Action(); });
  });
}

QPushButton* PushButton::button() const { return static_cast<QPushButton*>(widget()); }

void PushButton::setCaption(const std::string& caption) {
  caption_ = caption;
  // "&" would otherwise mark a mnemonic and vanish from the caption.
  button()->setText(QString::fromStdString(caption).replace('&', "&&"));
}

void PushButton::setDefault(bool d) {
  default_ = d;
  button()->setDefault(d);
}

void PushButton::setCancel(bool c) { cancel_ = c; }

void PushButton::Push() { button()->click(); }

}  // namespace framework
