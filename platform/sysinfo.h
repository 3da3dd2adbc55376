#pragma once
// System information for the logger's reports and timers: memory, disk, processor, operating
// system, heap and time sources, behind one interface so that tests can pass a fake source.
// All figures are 64-bit. The Linux source reads /proc, statvfs, uname, /etc/os-release,
// sched_getaffinity, clock_gettime and the time-stamp counter.

#include <cstdint>
#include <optional>
#include <string>

namespace kv::platform {

struct MemoryStatus {
  uint32_t MemoryLoad = 0; // percent of physical memory in use
  uint64_t TotalPhys = 0, AvailPhys = 0;
  uint64_t TotalPageFile = 0, AvailPageFile = 0; // commit limit and what is left of it
  uint64_t TotalVirtual = 0, AvailVirtual = 0;   // user address space of this process
};

struct DiskSpace {
  uint64_t FreeToUser = 0;  // bytes the calling user may still use
  uint64_t TotalToUser = 0; // size of the file system as the user sees it
  uint64_t TotalFree = 0;   // free bytes on the file system
};

// The program's blocks allocated with operator new and not yet freed (see heap_count.h).
struct HeapStatus {
  uint64_t Blocks = 0; // live blocks
  uint64_t Bytes = 0;  // their usable bytes
};

// Numbers as the Windows system information reports them, so reports keep their layout.
struct ProcessorInfo {
  uint32_t Architecture = 0; // 0 x86, 5 ARM, 9 x86-64, 12 ARM64, ...; 0xFFFF unknown
  uint64_t ActiveProcessorMask = 0;
  uint32_t NumberOfProcessors = 0;
  uint32_t ProcessorType = 0;
  uint32_t AllocationGranularity = 0;
  uint16_t ProcessorLevel = 0;    // x86: the family
  uint16_t ProcessorRevision = 0; // x86: model in the high byte, stepping in the low byte
  uint32_t PageSize = 0;
  uint64_t MinimumApplicationAddress = 0;
  uint64_t MaximumApplicationAddress = 0;
};

// Platform id of the version information for a system that is none of the Windows families.
inline constexpr uint32_t kPlatformIdLinux = 10;

struct OsVersion {
  uint32_t Major = 0, Minor = 0, Build = 0, PlatformId = 0;
  std::string ServicePack;  // Linux: the kernel's build description (uname version)
  std::string PlatformName; // when set, shown instead of the Windows family name
  std::string OsName;       // when set, shown instead of the name from the version table
};

// A value of the machine's configuration, typed like a registry value.
struct MachineValue {
  enum class Type { String, Number, Bytes };
  Type Kind = Type::String;
  std::string Text;    // String
  uint32_t Number = 0; // Number
  std::string Bytes;   // Bytes (may hold zero bytes)
};

// Keys of the machine values the reports ask for.
inline constexpr const char *kCentralProcessorKey = "Hardware\\Description\\System\\CentralProcessor\\0";
inline constexpr const char *kProductOptionsKey = "SYSTEM\\CurrentControlSet\\Control\\ProductOptions";

class SystemInfo {
public:
  virtual ~SystemInfo() = default;
  // Each Read* returns false when the figures cannot be had; `out` is then unspecified.
  virtual bool ReadMemoryStatus(MemoryStatus &out) = 0;
  // Space of the file system holding `directory` ("" or "." for the current directory).
  virtual bool ReadDiskSpace(const std::string &directory, DiskSpace &out) = 0;
  virtual bool ReadHeapStatus(HeapStatus &out) = 0;
  virtual bool ReadProcessorInfo(ProcessorInfo &out) = 0;
  virtual bool ReadOsVersion(OsVersion &out) = 0;
  // The value `name` under `key` (names compare without regard to case); nothing when the key
  // or the value does not exist.
  virtual std::optional<MachineValue> ReadMachineValue(const std::string &key, const std::string &name) = 0;

  // Milliseconds since the system started.
  virtual uint64_t TickCount() = 0;
  // Counts per second of the high-resolution counter; 0 when there is none.
  virtual int64_t PerformanceFrequency() = 0;
  virtual int64_t PerformanceCounter() = 0;
  // The processor's cycle counter, where the processor has one.
  virtual bool HasTimeStampCounter() = 0;
  virtual uint64_t ReadTimeStampCounter() = 0;
};

// The source of this machine. The file locations are parameters so tests can use their own.
class LinuxSystemInfo : public SystemInfo {
public:
  explicit LinuxSystemInfo(std::string proc_root = "/proc", std::string os_release = "/etc/os-release");

  bool ReadMemoryStatus(MemoryStatus &out) override;
  bool ReadDiskSpace(const std::string &directory, DiskSpace &out) override;
  bool ReadHeapStatus(HeapStatus &out) override;
  bool ReadProcessorInfo(ProcessorInfo &out) override;
  bool ReadOsVersion(OsVersion &out) override;
  std::optional<MachineValue> ReadMachineValue(const std::string &key, const std::string &name) override;
  uint64_t TickCount() override;
  int64_t PerformanceFrequency() override;
  int64_t PerformanceCounter() override;
  bool HasTimeStampCounter() override;
  uint64_t ReadTimeStampCounter() override;

private:
  // The value of `field` ("cpu MHz") for the first processor in cpuinfo, or nothing.
  std::optional<std::string> CpuInfoField(const std::string &field) const;
  std::string proc_;
  std::string os_release_;
};

// The source the process uses; this machine's unless a test installed another.
SystemInfo &CurrentSystemInfo();
// Installs `source` (not owned); nullptr restores this machine's.
void SetCurrentSystemInfo(SystemInfo *source);

} // namespace kv::platform
