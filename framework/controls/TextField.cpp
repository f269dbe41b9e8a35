#include "framework/controls/TextField.h"

#include <QLineEdit>

#include "framework/windows/LayoutPalette.h"

namespace framework {

TextField::TextField(std::string name, QWidget* parent) : RectControl(std::move(name), new QLineEdit(parent)) {
  // The layouts' field: black text on white, on any desktop palette.
  lineEdit()->setPalette(LayoutPalette());
}

QLineEdit* TextField::lineEdit() const { return static_cast<QLineEdit*>(widget()); }

std::string TextField::Text() const { return lineEdit()->text().toStdString(); }

void TextField::setText(const std::string& text) { lineEdit()->setText(QString::fromStdString(text)); }

}  // namespace framework
