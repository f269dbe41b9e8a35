#include "framework/controls/ProgressWheel.h"

#include <QPainter>
#include <QTimer>
#include <QWidget>
#include <algorithm>

#include "framework/windows/LayoutPalette.h"

namespace framework {
namespace {

class Wheel : public QWidget {
 public:
  explicit Wheel(QWidget* parent) : QWidget(parent) {
    // Dark spokes, drawn on the window's own fixed background.
    setPalette(LayoutPalette());
    timer_.setInterval(80);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] {
      step_ = (step_ + 1) % kSpokes;
      update();
    });
  }
  bool spinning() const { return timer_.isActive(); }

 protected:
  void showEvent(QShowEvent*) override { timer_.start(); }
  void hideEvent(QHideEvent*) override { timer_.stop(); }
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal side = std::min(width(), height());
    p.translate(width() / 2.0, height() / 2.0);
    QPen pen(palette().color(QPalette::WindowText));
    pen.setWidthF(std::max<qreal>(1.5, side / 10));
    pen.setCapStyle(Qt::RoundCap);
    for (int i = 0; i < kSpokes; ++i) {
      // The spoke at the current step is the darkest; the ones behind it fade.
      const int age = (step_ - i + kSpokes) % kSpokes;
      QColor c = pen.color();
      c.setAlphaF(1.0 - 0.8 * age / kSpokes);
      pen.setColor(c);
      p.setPen(pen);
      p.save();
      p.rotate(360.0 * i / kSpokes);
      p.drawLine(QPointF(0, -side * 0.22), QPointF(0, -side * 0.45));
      p.restore();
    }
  }

 private:
  static constexpr int kSpokes = 12;
  QTimer timer_;
  int step_ = 0;
};

}  // namespace

ProgressWheel::ProgressWheel(std::string name, QWidget* parent) : RectControl(std::move(name), new Wheel(parent)) {}

bool ProgressWheel::Spinning() const { return static_cast<Wheel*>(widget())->spinning(); }

}  // namespace framework
