#include "platform/ui/screen_cursors.h"

#include <map>
#include <mutex>
#include <optional>

namespace kv::ui {

namespace {

struct Entry {
  std::function<QCursor()> loader;
  std::optional<QCursor> cursor;
};

struct Table {
  std::mutex mutex;
  std::map<int, Entry> entries;
};

Table &TheTable() {
  static Table table;
  return table;
}

} // namespace

void RegisterScreenCursor(int id, std::function<QCursor()> loader) {
  Table &t = TheTable();
  std::lock_guard lock(t.mutex);
  t.entries[id] = Entry{std::move(loader), std::nullopt};
}

bool HasScreenCursor(int id) {
  Table &t = TheTable();
  std::lock_guard lock(t.mutex);
  return t.entries.count(id) != 0;
}

QCursor ScreenCursor(int id) {
  Table &t = TheTable();
  std::lock_guard lock(t.mutex);
  auto it = t.entries.find(id);
  if (it == t.entries.end() || !it->second.loader) return QCursor(Qt::ArrowCursor);
  if (!it->second.cursor) it->second.cursor = it->second.loader();
  return *it->second.cursor;
}

} // namespace kv::ui
