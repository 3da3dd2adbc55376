#pragma once
// The program's table of extra mouse cursors by number. Entries are registered with a loader at
// start-up (before a QGuiApplication may exist) and loaded at their first use.

#include <QCursor>
#include <functional>

namespace kv::ui {

// Registers (or replaces) cursor `id`; the loader runs once, at the first ScreenCursor(id).
void RegisterScreenCursor(int id, std::function<QCursor()> loader);
bool HasScreenCursor(int id);
// The cursor registered as `id`; the arrow for a number nobody registered.
QCursor ScreenCursor(int id);

} // namespace kv::ui
