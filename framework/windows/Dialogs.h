#pragma once
#include <functional>
#include <string>

namespace framework {

// A modal message box with the text and an OK button, titled with the application's name, shown
// over the window that raised it.
void MsgBox(const std::string& text);
// The name that titles the message boxes. Kept apart from Qt's display name, which the desktop
// would append to every window's own title.
void setMsgBoxTitle(std::string title);
// The system beep.
void Beep();

// Tests replace the real message box and beep with recorders. An empty function restores the real one.
void setMsgBoxHook(std::function<void(const std::string&)> hook);
void setBeepHook(std::function<void()> hook);

}  // namespace framework
