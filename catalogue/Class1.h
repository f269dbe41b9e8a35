#pragma once
#include <functional>

#include "framework/threads/Thread.h"

// The reading thread: reads a new disc or updates one, as Module1::PB says when it begins.
// Start it with `std::make_shared<Class1>()->Run();` — a new thread for every confirmed choice.
class Class1 : public framework::Thread {
 public:
  Class1();
  // Runs `work` in place of a read: another long change (a deletion, an import), refusing the
  // others as a read does while it runs.
  explicit Class1(std::function<void()> work);
  ~Class1() override;

  // PB 0: Window1::NewCD; PB 1: Window1::ReCD; any other value: nothing.
  void Event_Run() override;

  // True while any Class1 has been started and has not ended; the catalogue's other changes wait
  // for it, since a read works on the one current disc name.
  static bool IsReading();

  // While a read runs, tells the user to wait for its end and gives true: the caller changes nothing.
  static bool RefusedWhileReading();

 private:
  std::function<void()> work_;
};
