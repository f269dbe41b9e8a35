#pragma once
#include <QPalette>

namespace framework {

// The light palette that the layouts' colours were chosen against: a light grey window and
// buttons, white fields, black text. Controls draw with it whatever the desktop's palette, so the
// texts a layout colours stay readable under a dark theme too; selection colours are the desktop's.
QPalette LayoutPalette();

}  // namespace framework
