#pragma once
// KcGraphUtils: what the processor says about itself (vendor, family, model, features, a model
// name), its clock rate, and the blend and combine operations on 32-bit colours.

#include <cstdint>
#include <string>

namespace kv::platform {
class SystemInfo;
}

namespace kv::edits::KcGraphUtils {

enum class CpuVendor { Unknown, Intel, AMD, Cyrix, Transmeta };

// Feature bits (CPUID leaf 1, EDX) the unit looks at.
inline constexpr uint32_t kFeatureTimeStampCounter = 1u << 4;
inline constexpr uint32_t kFeatureMMX = 1u << 23;

struct CpuInfo {
  bool HasCpuId = false;
  std::string VendorId = "Unknown"; // "GenuineIntel", "AuthenticAMD", ... as the processor says
  CpuVendor Vendor = CpuVendor::Unknown;
  uint32_t Family = 0, Model = 0, Stepping = 0; // as in leaf 1, base fields
  uint32_t Features = 0;
  std::string ModelName = "Unknown";
  int64_t ClockHz = -1; // -1 when not measured
};

// The vendor of the CPUID vendor text.
CpuVendor VendorOf(const std::string &vendor_id);
// The name of an older processor from the vendor's table; empty when the table lacks it.
std::string TableModelName(CpuVendor vendor, uint32_t family, uint32_t model);
// The facts of this processor (no clock rate).
CpuInfo ReadCpuInfo();

// Rounds a megahertz figure to the nearest of the fractions 0, 1/6, 1/4, 1/3, 1/2, 2/3, 3/4,
// 5/6 and 1 of a megahertz.
double RoundMegahertz(double mhz);
// The time-stamp counter's rate in Hz, measured against the monotonic counter of `source` in
// rounds of `round_ns` nanoseconds, at most 20 rounds, until three successive rounds agree to
// within 1 MHz. -1 without a time-stamp counter or a counter frequency.
int64_t MeasureClockRate(platform::SystemInfo &source, int64_t round_ns = 200000);

// Combines F over B with weight W (0..255), channel by channel.
uint32_t CombineReg(uint32_t f, uint32_t b, uint32_t w);
void CombineMem(uint32_t f, uint32_t &b, uint32_t w);
// Blends with the weight taken from F's alpha byte; the Ex forms scale it by `master` first.
uint32_t BlendReg(uint32_t f, uint32_t b);
void BlendMem(uint32_t f, uint32_t &b);
uint32_t BlendRegEx(uint32_t f, uint32_t b, uint32_t master);
void BlendMemEx(uint32_t f, uint32_t &b, uint32_t master);
// Blends `count` colours of `src` over those of `dst`.
void BlendLine(const uint32_t *src, uint32_t *dst, int count);
void BlendLineEx(const uint32_t *src, uint32_t *dst, int count, uint32_t master);

// The processor facts taken at start.
const CpuInfo &Current();

void Start();
void End();
int Starts();

} // namespace kv::edits::KcGraphUtils
