#include "framework/threads/Thread.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include <QCoreApplication>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <boost/context/protected_fixedsize_stack.hpp>

namespace framework {

namespace ctx = boost::context;
using Clock = std::chrono::steady_clock;

class Scheduler {
 public:
  static Scheduler& instance() {
    static Scheduler s;
    return s;
  }

  void start(std::shared_ptr<Thread> t) {
    threads_.push_back(std::move(t));
    updateTimer();
  }

  std::size_t count() const { return threads_.size(); }
  Thread* current() const { return current_; }

  void yield() {
    Thread* self = current_;
    if (!self) {
      // The main thread's cheap path: nothing to run, no clock read.
      if (threads_.size() == onStack_) return;
      if (!sliceSpent()) return;
      runReadyOnce();
      return;
    }
    if (self->dropping_ || !sliceSpent()) return;
    if (loopLevel() != self->resumeLoopLevel_) {
      // Inside an event loop that this thread opened (a message box): switching out now would
      // leave that loop half-run beneath the outer one, so serve the others from here instead.
      runReadyOnce();
      return;
    }
    self->caller_ = std::move(self->caller_).resume();
  }

  // Each ready thread runs for one slice; the one that resumed them gets a fresh slice after.
  void runReadyOnce() {
    std::vector<std::shared_ptr<Thread>> ready;
    for (const auto& t : threads_)
      if (!t->onStack_) ready.push_back(t);
    for (const auto& t : ready)
      if (t->state_ == Thread::State::Started && !t->onStack_ && isListed(t.get())) resume(t);
    sliceStart_ = Clock::now();
  }

  void dropAll() {
    std::vector<std::shared_ptr<Thread>> victims;
    for (const auto& t : threads_) {
      if (t->onStack_) t->dropRequested_ = true;
      else victims.push_back(t);
    }
    for (const auto& t : victims) drop(t);
    updateTimer();
  }

 private:
  // Short enough that a slice overrun by a few milliseconds (a busy machine, a page written out)
  // still lets the window answer within 15 ms.
  static constexpr auto kSlice = std::chrono::milliseconds(8);
  // The walk recurses once per folder level; a guard page turns an overflow into a crash, not
  // into silent damage.
  static constexpr std::size_t kStackSize = 8u << 20;

  Scheduler() = default;
  // A thread's stack must be unwound while its object is whole, so threads never dropped at
  // quit are dropped here rather than left to their destructors.
  ~Scheduler() { dropAll(); }

  bool sliceSpent() const { return Clock::now() - sliceStart_ >= kSlice; }
  static int loopLevel() { return QThread::currentThread()->loopLevel(); }

  bool isListed(const Thread* t) const {
    return std::any_of(threads_.begin(), threads_.end(), [t](const auto& p) { return p.get() == t; });
  }

  void unlist(const Thread* t) {
    std::erase_if(threads_, [t](const auto& p) { return p.get() == t; });
  }

  // Switches to the thread until it gives way or ends. Switches nest: the thread always comes
  // back to the context that resumed it here.
  void resume(const std::shared_ptr<Thread>& t) {
    Thread* const prev = current_;
    current_ = t.get();
    t->onStack_ = true;
    ++onStack_;
    t->resumeLoopLevel_ = loopLevel();
    sliceStart_ = Clock::now();
    if (!t->self_) {
      Thread* raw = t.get();
      t->self_ = ctx::fiber(std::allocator_arg, ctx::protected_fixedsize_stack(kStackSize),
                            [raw](ctx::fiber&& caller) { return raw->entry(std::move(caller)); });
    }
    t->self_ = std::move(t->self_).resume();
    t->onStack_ = false;
    --onStack_;
    current_ = prev;
    sliceStart_ = Clock::now();

    if (t->state_ == Thread::State::Ended) {
      unlist(t.get());
      if (t->error_) pending_.push_back(std::exchange(t->error_, nullptr));
    } else if (t->dropRequested_) {
      drop(t);
    }
    updateTimer();
    // An error is reported from the main thread only: thrown on another thread's stack it would
    // end that thread too.
    if (!current_ && !pending_.empty()) {
      std::exception_ptr e = pending_.front();
      pending_.erase(pending_.begin());
      std::rethrow_exception(e);
    }
  }

  void drop(const std::shared_ptr<Thread>& t) {
    // Destroying a suspended fiber unwinds its stack on it, running the destructors there; the
    // thread counts as on the stack meanwhile so that nothing resumes it, and its yields are void.
    t->dropping_ = true;
    Thread* const prev = current_;
    current_ = t.get();
    t->onStack_ = true;
    ++onStack_;
    { ctx::fiber doomed = std::move(t->self_); }
    t->onStack_ = false;
    --onStack_;
    current_ = prev;
    t->state_ = Thread::State::Ended;
    unlist(t.get());
  }

  // Ticks only while some thread is ready, so a thread waiting in a message box costs no CPU.
  // A Qt timer never fires while its own handler is on the stack, and a thread that opens a
  // message box does so inside a tick: each tick therefore arms the timer one level up, which
  // serves the event loops nested in it.
  void updateTimer() {
    QTimer* timer = timerAt(tickDepth_);
    if (!timer) return;
    const bool want = threads_.size() > onStack_;
    if (want && !timer->isActive()) timer->start();
    else if (!want && timer->isActive()) timer->stop();
  }

  void tick() {
    ++tickDepth_;
    struct Unwind {
      Scheduler& s;
      ~Unwind() {
        if (QTimer* above = s.timerAt(s.tickDepth_)) above->stop();
        --s.tickDepth_;
        // Due again from now, not from when it last fired: the timers that fell due while the
        // threads ran come first, so the window gets its turn between two slices.
        if (QTimer* own = s.timerAt(s.tickDepth_); own && own->isActive()) own->start();
        s.updateTimer();
      }
    } unwind{*this};
    updateTimer();
    runReadyOnce();
  }

  QTimer* timerAt(std::size_t depth) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return nullptr;
    if (timers_.empty())
      QObject::connect(app, &QCoreApplication::aboutToQuit, [this] { dropAll(); });
    if (timers_.size() <= depth) timers_.resize(depth + 1);
    if (!timers_[depth]) {
      QPointer<QTimer> timer = new QTimer(app);
      // Not 0: a zero timer can be served again before the loop's other due timers, so two slices
      // would run back to back; a millisecond between slices lets them go first.
      timer->setInterval(1);
      timer->setTimerType(Qt::PreciseTimer);
      QObject::connect(timer, &QTimer::timeout, [this] { tick(); });
      timers_[depth] = timer;
    }
    return timers_[depth];
  }

  std::vector<std::shared_ptr<Thread>> threads_;
  std::size_t onStack_ = 0;
  Thread* current_ = nullptr;
  Clock::time_point sliceStart_ = Clock::now();
  std::vector<std::exception_ptr> pending_;
  std::vector<QPointer<QTimer>> timers_;  // one per depth of nested ticks
  std::size_t tickDepth_ = 0;
};

Thread::~Thread() = default;

void Thread::Run() {
  if (state_ != State::Created) return;
  state_ = State::Started;
  Scheduler::instance().start(shared_from_this());
}

bool Thread::IsRunning() const { return state_ == State::Started; }

ctx::fiber Thread::entry(ctx::fiber&& caller) {
  caller_ = std::move(caller);
  try {
    Event_Run();
  } catch (const ctx::detail::forced_unwind&) {
    throw;  // a drop unwinding the stack: it must reach the fiber's own edge
  } catch (...) {
    error_ = std::current_exception();
  }
  state_ = State::Ended;
  return std::move(caller_);
}

void Yield() { Scheduler::instance().yield(); }

std::size_t RunningThreadCount() { return Scheduler::instance().count(); }

Thread* CurrentThread() { return Scheduler::instance().current(); }

void DropThreads() { Scheduler::instance().dropAll(); }

}  // namespace framework
