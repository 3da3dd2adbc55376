#pragma once
// KcSysInfo: memory page size, processor count and allocation granularity of this computer,
// and which Windows version it runs. On Linux the version reads "none recognised".

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace kv::platform {
class SystemInfo;
}

namespace kv::edits::KcSysInfo {

// The thirteen version values, "none recognised" first.
enum class WindowsVersion {
  None,
  Win95,
  Win95OSR2,
  Win98,
  Win98SE,
  WinME,
  WinNT31,
  WinNT35,
  WinNT351,
  WinNT4,
  Win2000,
  WinXP,
  Win2003,
};
inline constexpr int kVersionCount = 13;

// Platform ids of the version information: the Windows 95 family and the NT family.
inline constexpr uint32_t kPlatformWindows = 1;
inline constexpr uint32_t kPlatformNT = 2;

struct VersionInput {
  uint32_t PlatformId = 0, Major = 0, Minor = 0;
  std::string ServiceText; // the service-pack text ("B", "C", "A" on the 95 family)
  // Product version (major, minor) of the system library, read on the 95 family only.
  std::optional<std::array<uint16_t, 2>> Kernel32Version;
};

// The version value of `in`.
WindowsVersion ClassifyWindowsVersion(const VersionInput &in);

struct Facts {
  uint32_t PageSize = 0, NumberOfProcessors = 0, AllocationGranularity = 0;
  bool IsWinNT = false;
  std::optional<std::array<uint16_t, 2>> Kernel32Version;
  WindowsVersion Version = WindowsVersion::None;
  std::array<bool, kVersionCount> VersionFlags{}; // exactly one is set, that of `Version`
  bool IsWinNT3 = false;
};

// The facts as `source` reports them.
Facts ReadFacts(platform::SystemInfo &source);

// The facts taken at start (all zero before).
const Facts &Current();
// Text table of the unit; cleared at the end.
const std::array<std::string, 14> &Texts();

void Start();
void End();
int Starts();

} // namespace kv::edits::KcSysInfo
