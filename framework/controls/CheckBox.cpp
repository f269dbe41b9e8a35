#include "framework/controls/CheckBox.h"

#include <QCheckBox>
#include <QLabel>
#include <QStyle>
#include <QStyleOptionButton>

#include "framework/windows/LayoutPalette.h"

namespace framework {
namespace {

// A QCheckBox cannot wrap its text: the caption is a word-wrapped label beside the indicator, and
// the whole box answers clicks.
class WrappingCheckBox : public QCheckBox {
 public:
  explicit WrappingCheckBox(QWidget* parent) : QCheckBox(parent), caption_(new QLabel(this)) {
    caption_->setTextFormat(Qt::PlainText);
    caption_->setWordWrap(true);
    caption_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    caption_->setAttribute(Qt::WA_TransparentForMouseEvents);
  }
  QLabel* caption() const { return caption_; }

 protected:
  bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
  void resizeEvent(QResizeEvent* e) override {
    QCheckBox::resizeEvent(e);
    QStyleOptionButton opt;
    initStyleOption(&opt);
    const QRect indicator = style()->subElementRect(QStyle::SE_CheckBoxIndicator, &opt, this);
    const int x = indicator.right() + 1 + style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, &opt, this);
    caption_->setGeometry(x, 0, std::max(0, width() - x), height());
  }

 private:
  QLabel* caption_;
};

}  // namespace

CheckBox::CheckBox(std::string name, QWidget* parent) : RectControl(std::move(name), new WrappingCheckBox(parent)) {
  captionLabel()->setObjectName(QString::fromStdString(Name() + "Caption"));
  // Black caption and a white box, as the layouts draw them, on any desktop palette.
  checkBox()->setPalette(LayoutPalette());
}

QCheckBox* CheckBox::checkBox() const { return static_cast<QCheckBox*>(widget()); }
QLabel* CheckBox::captionLabel() const { return static_cast<WrappingCheckBox*>(widget())->caption(); }

void CheckBox::setCaption(const std::string& caption) {
  caption_ = caption;
  captionLabel()->setText(QString::fromStdString(caption));
  checkBox()->setAccessibleName(QString::fromStdString(caption));
}

bool CheckBox::Value() const { return checkBox()->isChecked(); }
void CheckBox::setValue(bool v) { checkBox()->setChecked(v); }

}  // namespace framework
