#include "Wait.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>

bool waitUntil(std::function<bool()> cond, int timeoutMs) {
  QDeadlineTimer deadline(timeoutMs);
  while (!cond()) {
    if (deadline.hasExpired()) return cond();
    // Wait for events briefly rather than spin, but never sleep past the next event.
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 10);
  }
  return true;
}
