#include "platform/clock.h"

#include <atomic>
#include <cerrno>
#include <cmath>
#include <ctime>

namespace kv::platform {

double SecondsBetween(const UtcInstant &from, const UtcInstant &to) {
  // Each part on its own: seconds since 1970 are exact in a double, and so is their difference.
  return (static_cast<double>(to.seconds) - static_cast<double>(from.seconds)) +
         (to.nanoseconds - from.nanoseconds) / 1e9;
}

UtcInstant AddSeconds(const UtcInstant &t, double seconds) {
  if (!(std::fabs(seconds) < 1e15)) return t; // not a number, or some 30 million years
  const double whole = std::floor(seconds);
  int64_t s = t.seconds + static_cast<int64_t>(whole);
  int64_t ns = t.nanoseconds + std::llround((seconds - whole) * 1e9); // 0 .. 1e9 added
  if (ns >= 1000000000) {
    ns -= 1000000000;
    ++s;
  }
  return {s, static_cast<int32_t>(ns)};
}

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
