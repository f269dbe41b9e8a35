// The cost of a yield that does not give way, on the main thread and on a thread, against a bare
// loop; and the longest stretch without events while a thread works through short passes.
#include <QApplication>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>

#include "framework/Thread.h"
#include "tests/support/FnThread.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kYields = 10'000'000;

double nsPer(Clock::duration d, int n) { return std::chrono::duration<double, std::nano>(d).count() / n; }

// A loop of empty passes; `volatile` keeps the compiler from dropping it.
Clock::duration bareLoop() {
  volatile int sink = 0;
  const auto t0 = Clock::now();
  for (int i = 0; i < kYields; ++i) sink = sink + 1;
  return Clock::now() - t0;
}

Clock::duration yieldLoop() {
  volatile int sink = 0;
  const auto t0 = Clock::now();
  for (int i = 0; i < kYields; ++i) {
    sink = sink + 1;
    framework::Yield();
  }
  return Clock::now() - t0;
}

void report(const char* name, Clock::duration bare, Clock::duration yielding, const char* target) {
  std::printf("%s: %.1f ns (bare pass %.2f ns, ratio %.1f) (target: %s)\n", name, nsPer(yielding, kYields),
              nsPer(bare, kYields), nsPer(yielding, kYields) / std::max(nsPer(bare, kYields), 0.01), target);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);

  const auto bare = bareLoop();
  report("yield_main_no_threads", bare, yieldLoop(), "< 5 ns");

  // On a thread, timed as a whole: the loop gives way once a slice is spent, so its time includes
  // the switches, which is what a read pays.
  Clock::duration onThread{};
  bool done = false;
  auto t = std::make_shared<FnThread>([&] {
    onThread = yieldLoop();
    done = true;
  });
  t->Run();
  while (!done) QCoreApplication::processEvents();
  report("yield_thread_pass", bare, onThread, "< 50 ns");

  // A worker of 100 us passes; the main loop's timer notes the widest gap between its ticks.
  Clock::duration widest{};
  auto last = Clock::now();
  QTimer probe;
  QObject::connect(&probe, &QTimer::timeout, [&] {
    const auto now = Clock::now();
    widest = std::max(widest, now - last);
    last = now;
  });
  done = false;
  auto worker = std::make_shared<FnThread>([&] {
    for (int i = 0; i < 5000; ++i) {
      const auto end = Clock::now() + std::chrono::microseconds(100);
      while (Clock::now() < end) {
      }
      framework::Yield();
    }
    done = true;
  });
  last = Clock::now();
  probe.start(0);
  worker->Run();
  while (!done) QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  probe.stop();
  std::printf("event_gap_during_read: %.1f ms (target: <= 12 ms)\n",
              std::chrono::duration<double, std::milli>(widest).count());
  framework::DropThreads();
  return 0;
}
