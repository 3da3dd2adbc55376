#pragma once
// What the three time sources (tick count, high-resolution counter, time-stamp counter) can
// resolve and what reading them costs, and conversion of their counts into time units.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "log/reports.h"
#include "platform/sysinfo.h"

namespace kv::logging {

class TQTimer {
public:
  enum Kind { kNone = 0, kTickCount = 1, kPerformanceCounter = 2, kTimeStampCounter = 3 };
  enum Unit { kSeconds = 0, kMilliseconds = 1, kMicroseconds = 2, kNanoseconds = 3 };

  // Calibrates at once.
  explicit TQTimer(platform::SystemInfo &source);

  // Returns the calibrated flag: both overheads could be measured.
  bool Calibrate();
  bool Calibrated() const { return calibrated_; }
  // Figures, -1 when not available.
  int64_t CpuFrequency() const { return cpu_hz_; }
  int64_t PerformanceFrequency() const { return perf_freq_; }
  int64_t TimeStampOverhead() const { return tsc_overhead_; }
  int64_t PerformanceOverhead() const { return perf_overhead_; }

  // `count` of source `kind` in `unit`; the count itself when it cannot be converted.
  double ToUnits(int unit, int kind, double count) const;
  // The largest unit in which `count` reads between 0.1 and 99.9 (or above 100), else ns.
  std::pair<double, int> BestUnit(int kind, double count) const;
  static std::string UnitName(int unit);

  size_t LapCount() const { return laps_.size(); }
  void ClearLaps() { laps_.clear(); }

private:
  platform::SystemInfo &source_;
  bool calibrated_ = false;
  int64_t cpu_hz_ = -1, perf_freq_ = -1, tsc_overhead_ = -1, perf_overhead_ = -1;
  std::vector<int64_t> laps_;
};

// The timer resolution table of the line tag `tag` ("Timers").
Lines TimersReport(platform::SystemInfo &source, const std::string &tag);

} // namespace kv::logging
