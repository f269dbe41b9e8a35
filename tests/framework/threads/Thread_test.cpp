#include "framework/threads/Thread.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <vector>

#include "framework/windows/Dialogs.h"
#include "support/FnThread.h"
#include "support/Wait.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// Stands for a pass's real work: keeps the CPU busy so that slices get spent.
void burn(Clock::duration d) {
  const auto end = Clock::now() + d;
  while (Clock::now() < end) {
  }
}


std::shared_ptr<FnThread> start(std::function<void()> body) {
  auto t = std::make_shared<FnThread>(std::move(body));
  t->Run();
  return t;
}

struct Guard {
  bool* destroyed;
  ~Guard() { *destroyed = true; }
};

class ThreadTest : public testing::Test {
 protected:
  void TearDown() override {
    framework::setMsgBoxHook({});
    framework::DropThreads();
    EXPECT_EQ(framework::RunningThreadCount(), 0u);
  }
};

TEST_F(ThreadTest, ThreadsInterleaveOnlyAtYieldsWhileEventsGoOn) {
  struct Entry {
    char thread;
    int pass;
    bool end;
  };
  std::vector<Entry> log;
  int ticks = 0;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
  ticker.start(1);
  int ticksDuringRun = -1;
  auto worker = [&](char name) {
    return [&, name] {
      for (int pass = 0; pass < 60; ++pass) {
        log.push_back({name, pass, false});
        burn(1ms);
        log.push_back({name, pass, true});
        framework::Yield();
      }
      if (ticksDuringRun < 0) ticksDuringRun = ticks;
    };
  };
  auto a = start(worker('A'));
  auto b = start(worker('B'));
  EXPECT_EQ(framework::RunningThreadCount(), 2u);
  ASSERT_TRUE(waitUntil([&] { return !a->IsRunning() && !b->IsRunning(); }));

  ASSERT_EQ(log.size(), 240u);
  int switches = 0, longestRun = 0, run = 0;
  for (std::size_t i = 0; i < log.size(); i += 2) {
    // A pass's begin and end are adjacent: nothing ran between two yields.
    EXPECT_EQ(log[i].thread, log[i + 1].thread);
    EXPECT_EQ(log[i].pass, log[i + 1].pass);
    EXPECT_FALSE(log[i].end);
    EXPECT_TRUE(log[i + 1].end);
    if (i > 0 && log[i].thread != log[i - 1].thread) {
      ++switches;
      run = 0;
    }
    longestRun = std::max(longestRun, ++run);
  }
  EXPECT_GE(switches, 3);  // they took turns, not one after the other
  EXPECT_GT(longestRun, 3);  // a yield within the slice returns at once
  EXPECT_GT(ticksDuringRun, 0);  // the event loop ran between slices
}

TEST_F(ThreadTest, DeepRecursionWithYieldPerLevelCompletes) {
  int deepest = 0;
  std::function<void(int)> descend = [&](int level) {
    volatile char frame[512];  // a frame of a realistic size
    frame[0] = static_cast<char>(level);
    deepest = std::max(deepest, level);
    burn(5us);
    framework::Yield();
    if (level < 5000) descend(level + 1);
    framework::Yield();
    (void)frame[0];
  };
  bool done = false;
  int deepestSeenByMain = 0;
  auto t = start([&] {
    descend(1);
    done = true;
  });
  ASSERT_TRUE(waitUntil([&] {
    deepestSeenByMain = std::max(deepestSeenByMain, done ? 0 : deepest);
    return done;
  }));
  EXPECT_EQ(deepest, 5000);
  EXPECT_GT(deepestSeenByMain, 0);  // the event loop ran while the thread was deep down
  EXPECT_TRUE(waitUntil([&] { return framework::RunningThreadCount() == 0; }));
}

TEST_F(ThreadTest, MessageBoxOnAThreadDoesNotHoldUpTheOthers) {
  int bPasses = 0;
  bool boxOpen = false, bEndedWhileBoxOpen = false, handlerRunning = false, handlerDone = false;
  bool outerLoopRanDuringHandler = false;
  int bProgressInHandler = 0;
  framework::setMsgBoxHook([&](const std::string&) {
    boxOpen = true;
    // An event handler running inside the box's loop, with a long loop of its own: its yields
    // must let B go on without switching the box's thread out.
    QTimer::singleShot(0, [&] {
      handlerRunning = true;
      const int before = bPasses;
      for (int i = 0; i < 30; ++i) {
        burn(1ms);
        framework::Yield();
      }
      bProgressInHandler = bPasses - before;
      handlerRunning = false;
      handlerDone = true;
    });
    const QDeadlineTimer deadline(10000);
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if ((handlerDone && bPasses >= 200) || deadline.hasExpired()) loop.quit();
    });
    poll.start(1);
    loop.exec();
    boxOpen = false;
  });
  bool aDone = false;
  auto a = start([&] {
    framework::MsgBox("x");
    aDone = true;
  });
  auto b = start([&] {
    for (; bPasses < 200; ++bPasses) {
      burn(200us);
      framework::Yield();
    }
    bEndedWhileBoxOpen = boxOpen;
  });
  ASSERT_TRUE(waitUntil([&] {
    outerLoopRanDuringHandler |= handlerRunning;
    return aDone && !b->IsRunning();
  }));
  EXPECT_TRUE(bEndedWhileBoxOpen);
  // The handler runs to its end inside the box's loop, like any handler: the box's thread is
  // not switched out from under it.
  EXPECT_FALSE(outerLoopRanDuringHandler);
  EXPECT_TRUE(handlerDone);
  EXPECT_GT(bProgressInHandler, 0);
}

TEST_F(ThreadTest, AThreadHeldByNobodyRunsToItsEndOnce) {
  int runs = 0, passes = 0;
  std::weak_ptr<FnThread> watch;
  {
    auto t = std::make_shared<FnThread>([&] {
      ++runs;
      for (; passes < 50; ++passes) {
        burn(500us);
        framework::Yield();
      }
    });
    watch = t;
    t->Run();
    t->Run();  // a second start does nothing
  }
  ASSERT_FALSE(watch.expired());
  EXPECT_TRUE(watch.lock()->IsRunning());
  ASSERT_TRUE(waitUntil([&] { return watch.expired(); }));
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(passes, 50);

  // Nor does a start after the end.
  auto again = std::make_shared<FnThread>([&] { ++runs; });
  again->Run();
  ASSERT_TRUE(waitUntil([&] { return !again->IsRunning(); }));
  again->Run();
  EXPECT_EQ(framework::RunningThreadCount(), 0u);
  EXPECT_EQ(runs, 2);
}

TEST_F(ThreadTest, MainThreadYieldRunsReadyThreadsWithoutTheEventLoop) {
  int passes = 0;
  auto t = start([&] {
    for (; passes < 100; ++passes) {
      burn(200us);
      framework::Yield();
    }
  });
  // Within the main thread's slice a yield runs nothing.
  framework::Yield();
  const int before = passes;
  framework::Yield();
  EXPECT_EQ(passes, before);

  // A long loop on the main thread, with no event processed, carries the thread to its end.
  const auto deadline = Clock::now() + 10s;
  while (t->IsRunning() && Clock::now() < deadline) {
    burn(1ms);
    framework::Yield();
  }
  EXPECT_FALSE(t->IsRunning());
  EXPECT_EQ(passes, 100);
}

TEST_F(ThreadTest, AnExceptionEscapingRunReachesTheMainThread) {
  // Raised at a main-thread yield, where the scheduler resumed the thread.
  auto t = start([] { throw std::runtime_error("boom"); });
  burn(11ms);
  EXPECT_THROW(framework::Yield(), std::runtime_error);
  EXPECT_FALSE(t->IsRunning());
  EXPECT_EQ(framework::RunningThreadCount(), 0u);

  // Raised from the event loop's turn, and the scheduler keeps working afterwards.
  start([] { throw std::logic_error("bang"); });
  EXPECT_THROW(waitUntil([] { return false; }, 5000), std::logic_error);
  bool done = false;
  start([&] { done = true; });
  EXPECT_TRUE(waitUntil([&] { return done; }));
}

TEST_F(ThreadTest, AnExceptionOnAThreadDoesNotEndTheThreadWhoseBoxIsOpen) {
  bool thrown = false;
  framework::setMsgBoxHook([&](const std::string&) {
    const QDeadlineTimer deadline(10000);
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (thrown || deadline.hasExpired()) loop.quit();
    });
    poll.start(1);
    loop.exec();
  });
  bool aDone = false;
  auto a = start([&] {
    framework::MsgBox("x");
    aDone = true;
  });
  start([&] {
    for (int i = 0; i < 20; ++i) {
      burn(1ms);
      framework::Yield();
    }
    thrown = true;
    throw std::runtime_error("inside");
  });
  EXPECT_THROW(waitUntil([&] { return false; }, 5000), std::runtime_error);
  EXPECT_TRUE(aDone);
}

TEST_F(ThreadTest, DropUnwindsSuspendedThreadsAndOneOnTheStackAtItsNextYield) {
  bool idleUnwound = false, selfUnwound = false, selfDropped = false;
  int afterDrop = 0;
  auto idle = start([&] {
    Guard g{&idleUnwound};
    for (;;) {
      burn(1ms);
      framework::Yield();
    }
  });
  auto self = start([&] {
    Guard g{&selfUnwound};
    for (int i = 0; i < 20; ++i) {
      burn(1ms);
      framework::Yield();
    }
    framework::DropThreads();  // at quit, reached from this thread's own stack
    selfDropped = true;
    for (;;) {
      ++afterDrop;
      burn(1ms);
      framework::Yield();
    }
  });
  ASSERT_TRUE(waitUntil([&] { return selfUnwound; }));
  EXPECT_TRUE(selfDropped);
  EXPECT_GT(afterDrop, 0);  // it went on until it gave way
  EXPECT_TRUE(idleUnwound);
  EXPECT_FALSE(idle->IsRunning());
  EXPECT_FALSE(self->IsRunning());
  EXPECT_EQ(framework::RunningThreadCount(), 0u);
}

}  // namespace
