#pragma once
// The system's short warning sound, for a refused key or command. Tests catch it with a hook.

#include <functional>

namespace kv::ui {

// Sounds the warning (the hook instead, while one is set).
void MessageBeep();
// Sets the hook that stands in for the sound (none: the sound again); returns the one before.
std::function<void()> SetBeepHook(std::function<void()> hook);

} // namespace kv::ui
