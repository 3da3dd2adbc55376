#include "controls/edits/kc_graph_utils.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <utility>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

#include "controls/edits/str_util.h"
#include "controls/edits/unit_starts.h"
#include "platform/sysinfo.h"

namespace kv::edits::KcGraphUtils {

namespace {

UnitStarts g_starts;
CpuInfo g_cpu;

struct NamedModel {
  uint32_t Family;
  int Model; // -1: any model of the family
  const char *Name;
};

const NamedModel kIntel[] = {
    {4, 0, "Intel 486 DX"},
    {4, 1, "Intel 486 DX"},
    {4, 2, "Intel 486 SX"},
    {4, 3, "Intel 486 DX2"},
    {4, 4, "Intel 486 SL"},
    {4, 5, "Intel 486 SX2"},
    {4, 7, "Intel 486 DX2 WB"},
    {4, 8, "Intel DX4 Processor"},
    {4, 9, "Intel DX4 WB"},
    {5, 1, "Intel Pentium"},
    {5, 2, "Intel Pentium"},
    {5, 4, "Intel Pentium MMX"},
    {6, 1, "Intel Pentium Pro"},
    {6, 3, "Intel Pentium II"},
    {6, 5, "Intel Pentium II"},
    {6, 6, "Intel Celeron"},
    {6, 7, "Intel Pentium III"},
    {6, 8, "Intel Pentium III"},
    {6, 10, "Intel Pentium III Xeon"},
    {6, 11, "Intel Pentium III"},
    {15, -1, "Intel Pentium 4"},
};
const NamedModel kAMD[] = {
    {4, -1, "AMD Am486"}, {5, 0, "AMD-K5"}, {5, 1, "AMD-K5"},   {5, 2, "AMD-K5"},     {5, 3, "AMD-K5"},
    {5, 6, "AMD-K6"},     {5, 7, "AMD-K6"}, {5, 8, "AMD-K6-2"}, {5, 9, "AMD-K6-III"}, {6, -1, "AMD-K7"},
};
const NamedModel kCyrix[] = {
    {4, -1, "Cyrix MediaGX"},
    {5, 2, "Cyrix 6x86"},
    {5, 4, "Cyrix GXm"},
    {6, 0, "Cyrix 6x86MX"},
};
const NamedModel kTransmeta[] = {{5, -1, "Crusoe"}};

template <size_t N> std::string Lookup(const NamedModel (&table)[N], uint32_t family, uint32_t model) {
  for (const auto &e : table)
    if (e.Family == family && (e.Model < 0 || static_cast<uint32_t>(e.Model) == model)) return e.Name;
  return {};
}

#if defined(__x86_64__) || defined(__i386__)
// The processor's own name (leaves 0x80000002-4), blanks trimmed; empty when it has none.
std::string BrandString() {
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (__get_cpuid(0x80000000u, &a, &b, &c, &d) == 0 || a < 0x80000004u) return {};
  char text[49] = {};
  for (unsigned leaf = 0; leaf < 3; ++leaf) {
    __get_cpuid(0x80000002u + leaf, &a, &b, &c, &d);
    const unsigned regs[4] = {a, b, c, d};
    std::memcpy(text + leaf * 16, regs, 16);
  }
  return utf8::TrimSpaces(text);
}
#endif

// Weighs two channels at once: the bytes 0 and 2 of `pair` (a product stays below 65536).
inline uint32_t WeighPair(uint32_t pair, uint32_t w) {
  return ((pair * w + 0x00800080u) >> 8) & 0x00FF00FFu;
}

} // namespace

CpuVendor VendorOf(const std::string &vendor_id) {
  if (vendor_id == "GenuineIntel") return CpuVendor::Intel;
  if (vendor_id == "AuthenticAMD") return CpuVendor::AMD;
  if (vendor_id == "CyrixInstead") return CpuVendor::Cyrix;
  if (vendor_id == "GenuineTMx86") return CpuVendor::Transmeta;
  return CpuVendor::Unknown;
}

std::string TableModelName(CpuVendor vendor, uint32_t family, uint32_t model) {
  switch (vendor) {
  case CpuVendor::Intel:
    return Lookup(kIntel, family, model);
  case CpuVendor::AMD:
    return Lookup(kAMD, family, model);
  case CpuVendor::Cyrix:
    return Lookup(kCyrix, family, model);
  case CpuVendor::Transmeta:
    return Lookup(kTransmeta, family, model);
  default:
    return {};
  }
}

CpuInfo ReadCpuInfo() {
  CpuInfo info;
#if defined(__x86_64__) || defined(__i386__)
  // __get_cpuid_max tests the ID flag of the flags register where that matters (32-bit).
  unsigned max_leaf = __get_cpuid_max(0, nullptr);
  if (max_leaf == 0) return info;
  info.HasCpuId = true;
  unsigned a = 0, b = 0, c = 0, d = 0;
  __get_cpuid(0, &a, &b, &c, &d);
  char vendor[13] = {};
  std::memcpy(vendor, &b, 4);
  std::memcpy(vendor + 4, &d, 4);
  std::memcpy(vendor + 8, &c, 4);
  info.Vendor = VendorOf(vendor);
  info.VendorId = info.Vendor == CpuVendor::Unknown ? "Unknown" : vendor;
  if (max_leaf >= 1) {
    __get_cpuid(1, &a, &b, &c, &d);
    info.Stepping = a & 0xF;
    info.Model = (a >> 4) & 0xF;
    info.Family = (a >> 8) & 0xF;
    info.Features = d;
  }
  // Processors that name themselves are all younger than the tables; their own name is the
  // right one (a table entry keyed by the base family and model would misname them).
  std::string name = BrandString();
  if (name.empty()) name = TableModelName(info.Vendor, info.Family, info.Model);
  if (!name.empty()) info.ModelName = name;
#endif
  return info;
}

double RoundMegahertz(double mhz) {
  static const double kFractions[] = {0.0, 1.0 / 6, 0.25, 1.0 / 3, 0.5, 2.0 / 3, 0.75, 5.0 / 6, 1.0};
  const double whole = std::floor(mhz), rest = mhz - whole;
  double best = 0.0;
  for (double f : kFractions)
    if (std::fabs(rest - f) < std::fabs(rest - best)) best = f;
  return whole + best;
}

int64_t MeasureClockRate(platform::SystemInfo &source, int64_t round_ns) {
  const int64_t freq = source.PerformanceFrequency();
  if (freq <= 0 || !source.HasTimeStampCounter() || round_ns <= 0) return -1;
  // The round's length in counter units.
  const int64_t span = std::max<int64_t>(1, static_cast<int64_t>(static_cast<double>(round_ns) * freq / 1e9));
  std::array<double, 3> last{-1, -1, -1};
  double mhz = -1;
  for (int round = 0; round < 20; ++round) {
    const int64_t p0 = source.PerformanceCounter();
    const uint64_t t0 = source.ReadTimeStampCounter();
    int64_t p1 = p0;
    while ((p1 = source.PerformanceCounter()) - p0 < span) {
    }
    const uint64_t t1 = source.ReadTimeStampCounter();
    mhz = static_cast<double>(t1 - t0) * static_cast<double>(freq) / static_cast<double>(p1 - p0) / 1e6;
    last = {last[1], last[2], mhz};
    if (round >= 2 && std::fabs(last[0] - last[1]) <= 1.0 && std::fabs(last[1] - last[2]) <= 1.0 &&
        std::fabs(last[0] - last[2]) <= 1.0)
      break;
  }
  if (mhz <= 0) return -1;
  return static_cast<int64_t>(std::llround(RoundMegahertz(mhz) * 1e6));
}

uint32_t CombineReg(uint32_t f, uint32_t b, uint32_t w) {
  if (w >= 255) return f;
  if (w == 0) return b;
  const uint32_t v = 255 - w;
  const uint32_t even = WeighPair(f & 0x00FF00FFu, w) + WeighPair(b & 0x00FF00FFu, v);
  const uint32_t odd = WeighPair((f >> 8) & 0x00FF00FFu, w) + WeighPair((b >> 8) & 0x00FF00FFu, v);
  return even | (odd << 8);
}

void CombineMem(uint32_t f, uint32_t &b, uint32_t w) {
  b = CombineReg(f, b, w);
}
uint32_t BlendReg(uint32_t f, uint32_t b) {
  return CombineReg(f, b, f >> 24);
}
void BlendMem(uint32_t f, uint32_t &b) {
  b = BlendReg(f, b);
}
uint32_t BlendRegEx(uint32_t f, uint32_t b, uint32_t master) {
  return CombineReg(f, b, (master * (f >> 24)) >> 8);
}
void BlendMemEx(uint32_t f, uint32_t &b, uint32_t master) {
  b = BlendRegEx(f, b, master);
}

void BlendLine(const uint32_t *src, uint32_t *dst, int count) {
  for (int i = 0; i < count; ++i)
    BlendMem(src[i], dst[i]);
}

void BlendLineEx(const uint32_t *src, uint32_t *dst, int count, uint32_t master) {
  for (int i = 0; i < count; ++i)
    BlendMemEx(src[i], dst[i], master);
}

const CpuInfo &Current() {
  return g_cpu;
}

void Start() {
  if (!g_starts.Enter()) return;
  g_cpu = ReadCpuInfo();
  if (g_cpu.Features & kFeatureTimeStampCounter)
    g_cpu.ClockHz = MeasureClockRate(platform::CurrentSystemInfo());
}

void End() {
  g_starts.Leave();
}

int Starts() {
  return g_starts.Count();
}

} // namespace kv::edits::KcGraphUtils
