#pragma once
#include <functional>
#include <string>

namespace framework {

// A modal message box with the text and an OK button, titled with the application's display name.
void MsgBox(const std::string& text);
// The system beep.
void Beep();

// Tests replace the real message box and beep with recorders. An empty function restores the real one.
void setMsgBoxHook(std::function<void(const std::string&)> hook);
void setBeepHook(std::function<void()> hook);

}  // namespace framework
