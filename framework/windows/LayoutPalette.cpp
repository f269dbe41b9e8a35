#include "framework/windows/LayoutPalette.h"

#include <QColor>

namespace framework {

QPalette LayoutPalette() {
  // Qt derives the whole light palette (black texts, white fields, shades for bevels and the
  // disabled state) from the button colour.
  return QPalette(QColor(0xEC, 0xEC, 0xEC));
}

}  // namespace framework
