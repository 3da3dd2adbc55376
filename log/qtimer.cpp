#include "log/qtimer.h"

#include <chrono>
#include <stdexcept>

#include "log/text_util.h"

namespace kv::logging {

namespace {
const double kFactors[] = {1.0, 1000.0, 1000000.0, 1000000000.0};
const char *const kCell = "      n/s      ";
const char *const kNoCell = "      n/a      ";
} // namespace

TQTimer::TQTimer(platform::SystemInfo &source) : source_(source) {
  Calibrate();
}

bool TQTimer::Calibrate() {
  perf_freq_ = source_.PerformanceFrequency();
  if (perf_freq_ > 0) {
    int64_t sum = 0;
    for (int i = 0; i < 20; ++i) {
      int64_t a = source_.PerformanceCounter();
      int64_t b = source_.PerformanceCounter();
      sum += b - a;
    }
    perf_overhead_ = sum / 20;
  } else {
    perf_freq_ = -1;
    perf_overhead_ = -1;
  }

  cpu_hz_ = -1;
  if (auto v = source_.ReadMachineValue(platform::kCentralProcessorKey, "~MHz");
      v && v->Kind == platform::MachineValue::Type::Number)
    cpu_hz_ = static_cast<int64_t>(v->Number) * 1000000;

  tsc_overhead_ = -1;
  if (source_.HasTimeStampCounter()) {
    for (int i = 0; i < 3; ++i) {
      uint64_t a = source_.ReadTimeStampCounter();
      uint64_t b = source_.ReadTimeStampCounter();
      int64_t d = static_cast<int64_t>(b - a);
      if (tsc_overhead_ < 0 || d < tsc_overhead_) tsc_overhead_ = d;
    }
  }
  calibrated_ = tsc_overhead_ >= 0 && perf_overhead_ >= 0;
  return calibrated_;
}

double TQTimer::ToUnits(int unit, int kind, double count) const {
  if (!calibrated_ || unit < 0 || unit > 3) return count;
  switch (kind) {
  case kTickCount:
    return count / 1000.0 * kFactors[unit];
  case kPerformanceCounter:
    return perf_freq_ > 0 ? count / static_cast<double>(perf_freq_) * kFactors[unit] : count;
  case kTimeStampCounter:
    return cpu_hz_ > 0 ? count / static_cast<double>(cpu_hz_) * kFactors[unit] : count;
  default:
    return count;
  }
}

std::pair<double, int> TQTimer::BestUnit(int kind, double count) const {
  if (kind == kNone) return {count, kSeconds};
  for (int unit = kSeconds; unit <= kNanoseconds; ++unit) {
    double v = ToUnits(unit, kind, count);
    if (v > 100.0 || (v > 0.1 && v < 99.9)) return {v, unit};
  }
  return {ToUnits(kNanoseconds, kind, count), kNanoseconds};
}

std::string TQTimer::UnitName(int unit) {
  static const char *const kNames[] = {"s.", "ms", "µs", "ns"};
  return unit >= 0 && unit <= 3 ? kNames[unit] : "";
}

Lines TimersReport(platform::SystemInfo &source, const std::string &tag) {
  try {
    TQTimer timer(source);

    // Tick granularity: wait for the tick count to move (bounded, in case it never does).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    uint64_t t0 = source.TickCount(), t1 = t0;
    while ((t1 = source.TickCount()) == t0)
      if (std::chrono::steady_clock::now() > deadline) throw std::runtime_error("tick count does not move");
    const std::string g = "  " + std::to_string(t1 - t0) + ",---       ";

    auto resolution = [&](int kind) {
      return PadLeft(FormatNumberN(timer.ToUnits(TQTimer::kMilliseconds, kind, 1), 9), 14) + ":" +
             PadLeft(FormatNumberN(timer.ToUnits(TQTimer::kMicroseconds, kind, 1), 9), 14) + ":" +
             PadLeft(FormatNumberN(timer.ToUnits(TQTimer::kNanoseconds, kind, 1), 9), 14);
    };
    auto optimal = [&](int kind, int64_t overhead) {
      auto [value, unit] = timer.BestUnit(kind, static_cast<double>(overhead));
      return TQTimer::UnitName(unit) + " (" + FormatNumberN(value, 9) + ")";
    };

    std::string perf_cells, perf_native, perf_optimal;
    if (timer.PerformanceFrequency() > 0) {
      perf_cells = resolution(TQTimer::kPerformanceCounter);
      perf_native = PadLeft(std::to_string(timer.PerformanceOverhead()) + " units ", 14);
      perf_optimal = optimal(TQTimer::kPerformanceCounter, timer.PerformanceOverhead());
    } else {
      perf_cells = std::string(kCell) + ":" + kCell + ":" + kCell;
      perf_native = perf_optimal = kNoCell;
    }

    std::string tsc_cells, tsc_native, tsc_optimal;
    if (timer.CpuFrequency() > 0) {
      tsc_cells = resolution(TQTimer::kTimeStampCounter);
      if (timer.TimeStampOverhead() > 0) {
        tsc_native = PadLeft(std::to_string(timer.TimeStampOverhead()) + " cycles", 14);
        tsc_optimal = optimal(TQTimer::kTimeStampCounter, timer.TimeStampOverhead());
      } else {
        tsc_native = tsc_optimal = kNoCell;
      }
    } else {
      tsc_cells = std::string(kNoCell) + ":" + kNoCell + ":" + kNoCell;
    }

    const std::string rule(108, '=');
    return {"",
            "===========================================  Timers resolution  "
            "===========================================",
            "                          |                Min resolution                 |       Api \\ call "
            "overhead",
            "          Timers          "
            "|-----------------------------------------------|--------------------------------",
            "                          |       ms      :       µs      :      ns       |     native    :    "
            "optimal    :",
            "--------------------------|-----------------------------------------------|---------------------"
            "-----------",
            "  GetTickCount            |" + g + ":" + kCell + ":" + kCell + "|      0 ticks  : ms or s.",
            "  QueryPerformanceCounter |" + perf_cells + "|" + perf_native + ": " + perf_optimal,
            "  ReaDTimeStampCounter    |" + tsc_cells + "|" + tsc_native + ": " + tsc_optimal,
            rule,
            PadLeft("(n/a: not available, n/s : not significant)", 107),
            PadLeft("QueryPerformanceFrequency returned : " + std::to_string(timer.PerformanceFrequency()) +
                        " (native units)",
                    107),
            PadLeft("(RDTSC min resolution from registry ; Overhead from asm call)", 107),
            rule,
            ""};
  } catch (...) {
    return {tag, "#FLTimersResolution"};
  }
}

} // namespace kv::logging
