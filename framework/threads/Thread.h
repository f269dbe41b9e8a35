#pragma once
#include <cstddef>
#include <exception>
#include <memory>

#include <boost/context/fiber.hpp>

namespace framework {

class Scheduler;

// A cooperative thread: its Run event executes on a stack of its own, on the main thread, and
// gives way to the event loop and to other threads only inside Yield. One thread runs at a time.
// Hold it by shared_ptr: `std::make_shared<Class1>()->Run();` runs it to its end although nobody
// keeps it, since the scheduler holds it until its Run event returns.
class Thread : public std::enable_shared_from_this<Thread> {
 public:
  Thread() = default;
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  virtual ~Thread();

  // Starts the thread: Event_Run begins at a later turn of the event loop (or at a main-thread
  // Yield). A thread runs at most once; a second Run, or a Run after its end, does nothing.
  void Run();
  // True from Run until Event_Run has returned (or the thread was dropped).
  bool IsRunning() const;

 protected:
  // The Run event. An exception escaping it is rethrown on the main thread where the scheduler
  // resumed the thread.
  virtual void Event_Run() = 0;

 private:
  friend class Scheduler;
  enum class State { Created, Started, Ended };

  boost::context::fiber entry(boost::context::fiber&& caller);

  State state_ = State::Created;
  boost::context::fiber self_;    // the suspended thread, while it is not on the stack
  boost::context::fiber caller_;  // whoever resumed it, while it runs
  bool onStack_ = false;          // resumed and not yet switched back out
  bool dropping_ = false;         // its stack is being unwound
  bool dropRequested_ = false;    // dropped while on the stack: unwind at its next switch-out
  int resumeLoopLevel_ = 0;       // event-loop depth when it was resumed
  std::exception_ptr error_;
};

// Gives way if the running slice (about 8 ms) is spent, otherwise returns at once. On a thread,
// the event loop and the other threads run before it returns; on the main thread (and on a thread
// inside a nested event loop of its own) each ready thread runs for one slice. Qt events are
// processed only by the event loop, never here.
void Yield();

// Threads started and not yet ended.
std::size_t RunningThreadCount();

// The thread whose code is running now; nullptr on the main thread.
Thread* CurrentThread();

// At quit: every unfinished thread is dropped, its stack unwound (its destructors run; what it
// committed stays). A thread that is on the stack right now is dropped when it next gives way.
void DropThreads();

}  // namespace framework
