#include "catalogue/Class1.h"

#include <algorithm>
#include <vector>

#include "app/Window1.h"
#include "catalogue/Module1.h"
#include "framework/windows/Dialogs.h"

namespace {
// Every Class1 alive; all of them live on the main thread, so no lock is needed.
std::vector<const Class1*>& liveThreads() {
  static std::vector<const Class1*> threads;
  return threads;
}
}  // namespace

Class1::Class1() { liveThreads().push_back(this); }

Class1::Class1(std::function<void()> work) : Class1() { work_ = std::move(work); }

Class1::~Class1() {
  auto& threads = liveThreads();
  threads.erase(std::remove(threads.begin(), threads.end(), this), threads.end());
}

void Class1::Event_Run() {
  if (work_) return work_();
  // The mode is taken now, not when the thread was made: the last button pressed decides.
  const std::int32_t mode = Module1::PB;
  if (mode == 0) {
    Window1::instance().NewCD();
  } else if (mode == 1) {
    Window1::instance().ReCD();
  }
}

bool Class1::IsReading() {
  const auto& threads = liveThreads();
  return std::any_of(threads.begin(), threads.end(), [](const Class1* t) { return t->IsRunning(); });
}

bool Class1::RefusedWhileReading() {
  if (!IsReading()) return false;
  framework::MsgBox("ディスクの読み込み中です。終わってから実行してください。");
  return true;
}
