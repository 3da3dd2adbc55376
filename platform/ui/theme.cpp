#include "platform/ui/theme.h"

#include <atomic>

namespace kv::ui {

namespace {
std::atomic<bool> g_themed{false};
} // namespace

bool Themed() {
  return g_themed.load(std::memory_order_relaxed);
}

void SetThemed(bool on) {
  g_themed.store(on, std::memory_order_relaxed);
}

} // namespace kv::ui
