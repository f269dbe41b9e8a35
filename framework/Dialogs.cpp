#include "framework/Dialogs.h"

#include <QApplication>
#include <QMessageBox>

#include "framework/UiFont.h"

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
  QMessageBox box(QMessageBox::NoIcon, msgBoxTitle(), QString::fromStdString(text),
                  QMessageBox::Ok, QApplication::activeWindow());
  box.exec();
}

void Beep() {
  if (beepHook()) return beepHook()();
  QApplication::beep();
}

void setMsgBoxHook(std::function<void(const std::string&)> hook) { msgBoxHook() = std::move(hook); }
void setBeepHook(std::function<void()> hook) { beepHook() = std::move(hook); }

}  // namespace framework
