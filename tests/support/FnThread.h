#pragma once
#include <functional>
#include <utility>

#include "framework/threads/Thread.h"

// A thread whose Run event is a function.
class FnThread : public framework::Thread {
 public:
  explicit FnThread(std::function<void()> body) : body_(std::move(body)) {}

 protected:
  void Event_Run() override { body_(); }

 private:
  std::function<void()> body_;
};
