#include "platform/clock.h"

#include <atomic>
#include <cerrno>
#include <ctime>

namespace kv::platform {

UtcInstant SystemClock::Now() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return {static_cast<int64_t>(ts.tv_sec), static_cast<int32_t>(ts.tv_nsec)};
}

int SystemClock::Set(const UtcInstant &t) {
  if (t.nanoseconds < 0 || t.nanoseconds > 999999999) return EINVAL;
  timespec ts{};
  ts.tv_sec = static_cast<time_t>(t.seconds);
  ts.tv_nsec = t.nanoseconds;
  return clock_settime(CLOCK_REALTIME, &ts) == 0 ? 0 : errno;
}

namespace {
SystemClock g_system_clock;
std::atomic<Clock *> g_clock{nullptr};
} // namespace

Clock &CurrentClock() {
  Clock *c = g_clock.load();
  return c ? *c : g_system_clock;
}

void SetCurrentClock(Clock *clock) {
  g_clock.store(clock);
}

} // namespace kv::platform
