#include "framework/windows/Cursors.h"

namespace framework {

QCursor ResourceCursor(int id) { return QCursor(id == 128 ? Qt::PointingHandCursor : Qt::ArrowCursor); }

}  // namespace framework
