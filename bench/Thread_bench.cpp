// The cost of a yield that does not give way, on the main thread and on a thread, against a bare
// loop. The event-loop gap of a read is measured on a real read, in reader_bench.
#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>

#include "framework/threads/Thread.h"
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

  framework::DropThreads();
  return 0;
}
