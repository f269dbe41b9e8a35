#pragma once
#include <functional>

// Processes Qt events until cond() holds or timeoutMs has passed; true when cond() held.
bool waitUntil(std::function<bool()> cond, int timeoutMs = 10000);
