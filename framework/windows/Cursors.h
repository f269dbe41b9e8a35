#pragma once
#include <QCursor>

namespace framework {

// The application's cursor resource of that number: 128 is the pointing hand. An unknown number
// gives the ordinary arrow.
QCursor ResourceCursor(int id);

}  // namespace framework
