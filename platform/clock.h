#pragma once
// The system clock behind one replaceable interface: read and set UTC. Tests install a fake,
// so no test ever sets this machine's clock.

#include <cstdint>
#include <string>

namespace kv::platform {

// A UTC instant: seconds since 1970-01-01 00:00:00 UTC plus nanoseconds (0..999999999).
struct UtcInstant {
  int64_t seconds = 0;
  int32_t nanoseconds = 0;
};

// Seconds from `from` to `to` (negative when `to` is earlier), to the nanosecond: a day count
// near today resolves only about 0.6 us.
double SecondsBetween(const UtcInstant &from, const UtcInstant &to);
// `t` moved by `seconds` (either sign), rounded to the nanosecond; `t` itself when `seconds` is
// not a number or beyond 1e15.
UtcInstant AddSeconds(const UtcInstant &t, double seconds);

class Clock {
public:
  virtual ~Clock() = default;
  // The current UTC time.
  virtual UtcInstant Now() = 0;
  // Sets the clock. Returns 0 on success, else the errno of the refusal (EPERM without
  // CAP_SYS_TIME).
  virtual int Set(const UtcInstant &t) = 0;
};

// The real clock: clock_gettime / clock_settime(CLOCK_REALTIME).
class SystemClock : public Clock {
public:
  UtcInstant Now() override;
  int Set(const UtcInstant &t) override;
};

// The clock the process uses; the real one unless a test installed another.
Clock &CurrentClock();
// Installs `clock` (not owned) as the current clock; nullptr restores the real one.
void SetCurrentClock(Clock *clock);

} // namespace kv::platform
