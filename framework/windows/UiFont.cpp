#include "framework/windows/UiFont.h"

#include <QApplication>
#include <QFontDatabase>
#include <QPointer>

namespace framework {

void UseJapaneseUiFont() {
  static QPointer<QCoreApplication> doneFor;
  QCoreApplication* app = QCoreApplication::instance();
  if (!qobject_cast<QApplication*>(app) || doneFor == app) return;
  doneFor = app;
  // The desktops' Japanese UI fonts, the one that Debian's fonts-noto-cjk installs first.
  static const char* const preferred[] = {"Noto Sans CJK JP", "Noto Sans JP",     "Source Han Sans JP",
                                          "Hiragino Sans",    "Yu Gothic UI",     "Meiryo UI",
                                          "IPAexGothic",      "IPAPGothic",       "TakaoPGothic"};
  const QStringList installed = QFontDatabase::families(QFontDatabase::Japanese);
  for (const char* family : preferred) {
    if (!installed.contains(QString::fromUtf8(family), Qt::CaseInsensitive)) continue;
    QFont f = QApplication::font();
    f.setFamilies({QString::fromUtf8(family)});
    QApplication::setFont(f);
    return;
  }
}

}  // namespace framework
