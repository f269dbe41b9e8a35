#include "framework/windows/Dialogs.h"

#include <QApplication>
#include <QMessageBox>

#include "framework/windows/UiFont.h"
#include "framework/windows/Window.h"

namespace framework {
namespace {
std::function<void(const std::string&)>& msgBoxHook() {
  static std::function<void(const std::string&)> hook;
  return hook;
}
std::function<void()>& beepHook() {
  static std::function<void()> hook;
  return hook;
}
QString& msgBoxTitle() {
  static QString title;
  return title;
}
}  // namespace

void setMsgBoxTitle(std::string title) { msgBoxTitle() = QString::fromStdString(title); }

void MsgBox(const std::string& text) {
  if (msgBoxHook()) return msgBoxHook()(text);
  UseJapaneseUiFont();
  // Over the window that raised it: the active one, or when the desktop has none active (the
  // program in the background, a read's report) the front-most of the program's windows.
  QWidget* owner = QApplication::activeWindow();
  if (!owner && !OpenWindows().empty()) owner = OpenWindows().front()->widget();
  QMessageBox box(QMessageBox::NoIcon, msgBoxTitle(), QString::fromStdString(text), QMessageBox::Ok, owner);
  box.setWindowModality(Qt::ApplicationModal);
  box.exec();
}

void Beep() {
  if (beepHook()) return beepHook()();
  QApplication::beep();
}

void setMsgBoxHook(std::function<void(const std::string&)> hook) { msgBoxHook() = std::move(hook); }
void setBeepHook(std::function<void()> hook) { beepHook() = std::move(hook); }

}  // namespace framework
