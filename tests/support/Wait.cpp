#include "support/Wait.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

bool waitUntil(std::function<bool()> cond, int timeoutMs) {
  QDeadlineTimer deadline(timeoutMs);
  // Blocks for events instead of spinning; the poll wakes it for conditions that no event marks.
  QTimer poll;
  poll.start(5);
  while (!cond()) {
    if (deadline.hasExpired()) return cond();
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
  return true;
}
