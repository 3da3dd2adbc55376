#include "platform/sysinfo.h"

#include <atomic>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sched.h>
#include <sstream>
#include <sys/statvfs.h>
#include <sys/utsname.h>
#include <unistd.h>
#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#endif

#include "platform/heap_count.h"

namespace kv::platform {

namespace {

// Files larger than this are read only this far: the figures wanted stand near the start, and
// a file that never ends (a device, a runaway /proc file) cannot hold the reader up.
constexpr size_t kMaxTextFile = 1 << 20;

std::string ReadText(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::string text;
  char chunk[8192];
  while (in && text.size() < kMaxTextFile) {
    in.read(chunk, sizeof chunk);
    text.append(chunk, static_cast<size_t>(in.gcount()));
  }
  return text;
}

std::string Trim(const std::string &s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b])))
    ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1])))
    --e;
  return s.substr(b, e - b);
}

bool EqualNoCase(const std::string &a, const std::string &b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// The first "key<sep>value" line of `text` whose key (trimmed) equals `key`; the value trimmed.
std::optional<std::string> FieldOf(const std::string &text, const std::string &key, char sep) {
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    size_t colon = line.find(sep);
    if (colon == std::string::npos) continue;
    if (Trim(line.substr(0, colon)) == key) return Trim(line.substr(colon + 1));
  }
  return std::nullopt;
}

// Leading unsigned decimal number of `text`; nothing when there is none or it overflows.
std::optional<uint64_t> LeadingNumber(const std::string &text) {
  if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))) return std::nullopt;
  errno = 0;
  char *end = nullptr;
  unsigned long long v = std::strtoull(text.c_str(), &end, 10);
  if (errno == ERANGE) return std::nullopt;
  return static_cast<uint64_t>(v);
}

// A meminfo figure ("MemTotal:  24682384 kB") in bytes.
std::optional<uint64_t> MemInfoBytes(const std::string &meminfo, const std::string &key) {
  auto v = FieldOf(meminfo, key, ':');
  if (!v) return std::nullopt;
  auto n = LeadingNumber(*v);
  if (!n) return std::nullopt;
  return v->find("kB") != std::string::npos ? *n * 1024 : *n;
}

std::string Machine() {
  utsname u{};
  if (uname(&u) != 0) return {};
  return u.machine;
}

// First address past the user address space of this machine.
uint64_t UserAddressSpaceEnd(const std::string &machine) {
  if (machine == "x86_64") return 0x7FFFFFFFF000ULL;
  if (machine == "aarch64" || machine == "riscv64" || machine == "ppc64le") return 0x1000000000000ULL;
  return 0xC0000000ULL;
}

int64_t ClockNs(clockid_t id) {
  timespec ts{};
  clock_gettime(id, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

std::atomic<SystemInfo *> g_source{nullptr};

} // namespace

LinuxSystemInfo::LinuxSystemInfo(std::string proc_root, std::string os_release)
    : proc_(std::move(proc_root)), os_release_(std::move(os_release)) {}

bool LinuxSystemInfo::ReadMemoryStatus(MemoryStatus &out) {
  const std::string meminfo = ReadText(proc_ + "/meminfo");
  auto total = MemInfoBytes(meminfo, "MemTotal");
  auto avail = MemInfoBytes(meminfo, "MemAvailable");
  if (!avail) avail = MemInfoBytes(meminfo, "MemFree");
  if (!total || !avail || *total == 0) return false;
  out = MemoryStatus{};
  out.TotalPhys = *total;
  out.AvailPhys = *avail < *total ? *avail : *total;
  out.MemoryLoad = static_cast<uint32_t>(std::lround(
      100.0 * static_cast<double>(out.TotalPhys - out.AvailPhys) / static_cast<double>(out.TotalPhys)));
  auto limit = MemInfoBytes(meminfo, "CommitLimit");
  auto committed = MemInfoBytes(meminfo, "Committed_AS");
  if (limit) {
    out.TotalPageFile = *limit;
    out.AvailPageFile = committed && *committed < *limit ? *limit - *committed : 0;
  }
  ProcessorInfo cpu;
  if (ReadProcessorInfo(cpu)) {
    out.TotalVirtual = cpu.MaximumApplicationAddress + 1 - cpu.MinimumApplicationAddress;
    auto vm = MemInfoBytes(ReadText(proc_ + "/self/status"), "VmSize");
    out.AvailVirtual = vm && *vm < out.TotalVirtual ? out.TotalVirtual - *vm : out.TotalVirtual;
  }
  return true;
}

bool LinuxSystemInfo::ReadDiskSpace(const std::string &directory, DiskSpace &out) {
  struct statvfs st {};
  if (statvfs(directory.empty() ? "." : directory.c_str(), &st) != 0) return false;
  const uint64_t unit = st.f_frsize ? st.f_frsize : st.f_bsize;
  out.FreeToUser = static_cast<uint64_t>(st.f_bavail) * unit;
  out.TotalToUser = static_cast<uint64_t>(st.f_blocks) * unit;
  out.TotalFree = static_cast<uint64_t>(st.f_bfree) * unit;
  return true;
}

bool LinuxSystemInfo::ReadHeapStatus(HeapStatus &out) {
  return CountedHeap(out.Blocks, out.Bytes);
}

std::optional<std::string> LinuxSystemInfo::CpuInfoField(const std::string &field) const {
  const std::string cpuinfo = ReadText(proc_ + "/cpuinfo");
  // Only the first processor's block.
  size_t end = cpuinfo.find("\n\n");
  return FieldOf(end == std::string::npos ? cpuinfo : cpuinfo.substr(0, end), field, ':');
}

bool LinuxSystemInfo::ReadProcessorInfo(ProcessorInfo &out) {
  out = ProcessorInfo{};
  const std::string machine = Machine();
  if (machine.empty()) return false;
  if (machine == "x86_64") {
    out.Architecture = 9;
    out.ProcessorType = 8664;
  } else if (machine.size() == 4 && machine[0] == 'i' && machine.substr(2) == "86") {
    out.Architecture = 0;
    out.ProcessorType = machine[1] >= '5' ? 586 : (machine[1] - '0') * 100 + 86;
  } else if (machine == "aarch64") {
    out.Architecture = 12;
  } else if (machine.rfind("arm", 0) == 0) {
    out.Architecture = 5;
  } else if (machine.rfind("ppc", 0) == 0) {
    out.Architecture = 3;
  } else if (machine.rfind("mips", 0) == 0) {
    out.Architecture = 1;
  } else if (machine == "alpha") {
    out.Architecture = 2;
  } else if (machine == "ia64") {
    out.Architecture = 6;
  } else {
    out.Architecture = 0xFFFF;
  }

  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    out.NumberOfProcessors = static_cast<uint32_t>(CPU_COUNT(&set));
    for (int i = 0; i < 64 && i < CPU_SETSIZE; ++i)
      if (CPU_ISSET(i, &set)) out.ActiveProcessorMask |= uint64_t{1} << i;
  } else {
    long n = sysconf(_SC_NPROCESSORS_ONLN);
    out.NumberOfProcessors = n > 0 ? static_cast<uint32_t>(n) : 1;
  }

  if (auto family = CpuInfoField("cpu family"); family && LeadingNumber(*family))
    out.ProcessorLevel = static_cast<uint16_t>(*LeadingNumber(*family));
  auto model = CpuInfoField("model");
  auto stepping = CpuInfoField("stepping");
  if (model && stepping && LeadingNumber(*model) && LeadingNumber(*stepping))
    out.ProcessorRevision =
        static_cast<uint16_t>(((*LeadingNumber(*model) & 0xFF) << 8) | (*LeadingNumber(*stepping) & 0xFF));

  long page = sysconf(_SC_PAGESIZE);
  out.PageSize = page > 0 ? static_cast<uint32_t>(page) : 4096;
  out.AllocationGranularity = out.PageSize;
  auto min_addr = LeadingNumber(Trim(ReadText(proc_ + "/sys/vm/mmap_min_addr")));
  out.MinimumApplicationAddress = min_addr ? *min_addr : out.PageSize;
  out.MaximumApplicationAddress = UserAddressSpaceEnd(machine) - 1;
  return true;
}

bool LinuxSystemInfo::ReadOsVersion(OsVersion &out) {
  utsname u{};
  if (uname(&u) != 0) return false;
  out = OsVersion{};
  out.PlatformId = kPlatformIdLinux;
  const std::string release = u.release;
  // "6.1.0-28-amd64": major, minor and patch level.
  uint32_t parts[3] = {0, 0, 0};
  size_t pos = 0;
  for (int i = 0; i < 3 && pos < release.size(); ++i) {
    auto n = LeadingNumber(release.substr(pos));
    if (!n) break;
    parts[i] = static_cast<uint32_t>(*n);
    pos = release.find_first_not_of("0123456789", pos);
    if (pos == std::string::npos || release[pos] != '.') break;
    ++pos;
  }
  out.Major = parts[0];
  out.Minor = parts[1];
  out.Build = parts[2];
  out.ServicePack = u.version;
  out.PlatformName = std::string(u.sysname) + " " + release;
  const std::string os_release = ReadText(os_release_);
  auto name = FieldOf(os_release, "PRETTY_NAME", '=');
  if (!name || name->empty()) name = FieldOf(os_release, "NAME", '=');
  std::string text = name ? *name : std::string(u.sysname);
  if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') && text.back() == text.front())
    text = text.substr(1, text.size() - 2);
  out.OsName = text.empty() ? std::string(u.sysname) : text;
  return true;
}

std::optional<MachineValue> LinuxSystemInfo::ReadMachineValue(const std::string &key,
                                                              const std::string &name) {
  if (!EqualNoCase(key, kCentralProcessorKey)) return std::nullopt;
  MachineValue v;
  if (EqualNoCase(name, "~MHz")) {
    auto mhz = CpuInfoField("cpu MHz");
    if (!mhz || !LeadingNumber(*mhz)) return std::nullopt;
    v.Kind = MachineValue::Type::Number;
    v.Number = static_cast<uint32_t>(*LeadingNumber(*mhz));
    return v;
  }
  if (EqualNoCase(name, "VendorIdentifier")) {
    auto vendor = CpuInfoField("vendor_id");
    if (!vendor || vendor->empty()) return std::nullopt;
    v.Text = *vendor;
    return v;
  }
  return std::nullopt;
}

uint64_t LinuxSystemInfo::TickCount() {
  return static_cast<uint64_t>(ClockNs(CLOCK_BOOTTIME) / 1000000);
}

int64_t LinuxSystemInfo::PerformanceFrequency() {
  return 1000000000;
}

int64_t LinuxSystemInfo::PerformanceCounter() {
  return ClockNs(CLOCK_MONOTONIC_RAW);
}

bool LinuxSystemInfo::HasTimeStampCounter() {
#if defined(__x86_64__) || defined(__i386__)
  return true;
#else
  return false;
#endif
}

uint64_t LinuxSystemInfo::ReadTimeStampCounter() {
#if defined(__x86_64__) || defined(__i386__)
  return __rdtsc();
#else
  return 0;
#endif
}

SystemInfo &CurrentSystemInfo() {
  static LinuxSystemInfo machine;
  SystemInfo *s = g_source.load();
  return s ? *s : machine;
}

void SetCurrentSystemInfo(SystemInfo *source) {
  g_source.store(source);
}

} // namespace kv::platform
