#include "controls/edits/kc_sys_info.h"

#include "controls/edits/str_util.h"
#include "controls/edits/unit_starts.h"
#include "platform/sysinfo.h"

namespace kv::edits::KcSysInfo {

namespace {

UnitStarts g_starts;
Facts g_facts;
std::array<std::string, 14> g_texts;

} // namespace

WindowsVersion ClassifyWindowsVersion(const VersionInput &in) {
  using V = WindowsVersion;
  if (in.PlatformId == kPlatformWindows) {
    const std::string service = utf8::TrimSpaces(in.ServiceText);
    if (in.Minor < 10) return service == "B" || service == "C" ? V::Win95OSR2 : V::Win95;
    if (in.Minor < 90) {
      if (in.Kernel32Version && (*in.Kernel32Version)[0] == 4 && (*in.Kernel32Version)[1] == 90)
        return V::WinME;
      return service == "A" ? V::Win98SE : V::Win98;
    }
    return in.Minor == 90 ? V::WinME : V::None;
  }
  if (in.PlatformId == kPlatformNT) {
    if (in.Major == 3) {
      if (in.Minor == 10) return V::WinNT31;
      if (in.Minor == 50) return V::WinNT35;
      if (in.Minor == 51) return V::WinNT351;
      return V::None;
    }
    if (in.Major == 4) return V::WinNT4;
    if (in.Major == 5) {
      if (in.Minor == 0) return V::Win2000;
      if (in.Minor == 1) return V::WinXP;
      if (in.Minor == 2) return V::Win2003;
    }
  }
  return V::None;
}

Facts ReadFacts(platform::SystemInfo &source) {
  Facts f;
  platform::ProcessorInfo cpu;
  if (source.ReadProcessorInfo(cpu)) {
    f.PageSize = cpu.PageSize;
    f.NumberOfProcessors = cpu.NumberOfProcessors;
    f.AllocationGranularity = cpu.AllocationGranularity;
  }
  platform::OsVersion os;
  VersionInput in;
  if (source.ReadOsVersion(os)) {
    in.PlatformId = os.PlatformId;
    in.Major = os.Major;
    in.Minor = os.Minor;
    in.ServiceText = os.ServicePack;
  }
  // Only the Windows 95 family has a system library whose version decides anything; no
  // system this program runs on is of that family.
  f.IsWinNT = in.PlatformId == kPlatformNT;
  f.Version = ClassifyWindowsVersion(in);
  f.VersionFlags[static_cast<size_t>(f.Version)] = true;
  f.IsWinNT3 = f.Version == WindowsVersion::WinNT31 || f.Version == WindowsVersion::WinNT35 ||
               f.Version == WindowsVersion::WinNT351;
  return f;
}

const Facts &Current() {
  return g_facts;
}
const std::array<std::string, 14> &Texts() {
  return g_texts;
}

void Start() {
  if (g_starts.Enter()) g_facts = ReadFacts(platform::CurrentSystemInfo());
}

void End() {
  if (g_starts.Leave()) g_texts.fill(std::string());
}

int Starts() {
  return g_starts.Count();
}

} // namespace kv::edits::KcSysInfo
