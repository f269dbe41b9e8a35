#include "framework/controls/Label.h"

#include <QEnterEvent>
#include <QLabel>
#include <QMouseEvent>

#include "framework/windows/Application.h"
#include "framework/windows/LayoutPalette.h"

namespace framework {
namespace {

class EventLabel : public QLabel {
 public:
  EventLabel(Label* owner, QWidget* parent) : QLabel(parent), owner_(owner) {}

 protected:
  void enterEvent(QEnterEvent* e) override {
    QLabel::enterEvent(e);
    if (owner_->MouseEnter) Dispatch([this] { owner_->MouseEnter(); });
  }
  void mousePressEvent(QMouseEvent* e) override {
    if (!owner_->MouseDown) return QLabel::mousePressEvent(e);
    const QPoint p = e->position().toPoint();
    bool taken = false;
    Dispatch([&] { taken = owner_->MouseDown(p.x(), p.y()); });
    e->setAccepted(taken);
  }

 private:
  Label* owner_;
};

}  // namespace

Label::Label(std::string name, QWidget* parent) : RectControl(std::move(name), new EventLabel(this, parent)) {
  // Texts from volumes and files are never read as markup.
  label()->setTextFormat(Qt::PlainText);
  label()->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label()->setPalette(LayoutPalette());
  setTextColor(textColor_);
}

QLabel* Label::label() const { return static_cast<QLabel*>(widget()); }

void Label::setText(const std::string& text) {
  text_ = text;
  QString shown = QString::fromStdString(text);
  shown.replace("\r\n", "\n").replace('\r', '\n');
  label()->setText(shown);
}

void Label::setTextColor(std::uint32_t rgb) {
  textColor_ = rgb & 0xFFFFFF;
  QPalette pal = label()->palette();
  pal.setColor(QPalette::WindowText, QColor::fromRgb(textColor_));
  label()->setPalette(pal);
}

void Label::setMultiline(bool m) { label()->setWordWrap(m); }

void Label::setUnderline(bool u) {
  QFont f = label()->font();
  f.setUnderline(u);
  label()->setFont(f);
}

void Label::setMouseCursor(const QCursor& cursor) { label()->setCursor(cursor); }

}  // namespace framework
