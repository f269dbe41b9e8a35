#include "framework/controls/ScrollBar.h"

#include <QScrollBar>

#include "framework/windows/Application.h"

namespace framework {

ScrollBar::ScrollBar(std::string name, QWidget* parent)
    : RectControl(std::move(name), new QScrollBar(Qt::Horizontal, parent)) {
  QObject::connect(scrollBar(), &QScrollBar::valueChanged, scrollBar(), [this] {
    if (ValueChanged) Dispatch([this] { ValueChanged(); });
  });
}

QScrollBar* ScrollBar::scrollBar() const { return static_cast<QScrollBar*>(widget()); }

int ScrollBar::Minimum() const { return scrollBar()->minimum(); }
int ScrollBar::Maximum() const { return scrollBar()->maximum(); }
int ScrollBar::Value() const { return scrollBar()->value(); }
void ScrollBar::setMinimum(int v) { scrollBar()->setMinimum(v); }
void ScrollBar::setMaximum(int v) { scrollBar()->setMaximum(v); }
void ScrollBar::setValue(int v) { scrollBar()->setValue(v); }
void ScrollBar::setLineStep(int v) { scrollBar()->setSingleStep(v); }
void ScrollBar::setPageStep(int v) { scrollBar()->setPageStep(v); }
void ScrollBar::setLiveScroll(bool live) { scrollBar()->setTracking(live); }
bool ScrollBar::LiveScroll() const { return scrollBar()->hasTracking(); }

}  // namespace framework
