#include "log/reports.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "log/text_util.h"
#include "platform/datetime.h"

namespace kv::logging {

using std::to_string;

namespace {

const char *const kClosingRule =
    "===================================================================================";

std::string MbAndBytes(uint64_t bytes) {
  return MegaBytes(bytes) + " MB (" + to_string(bytes) + " B)";
}

std::string ArchitectureName(uint32_t arch) {
  static const char *const kNames[] = {
      "PROCESSOR_ARCHITECTURE_INTEL", "PROCESSOR_ARCHITECTURE_MIPS",    "PROCESSOR_ARCHITECTURE_ALPHA",
      "PROCESSOR_ARCHITECTURE_PPC",   "PROCESSOR_ARCHITECTURE_SHX",     "PROCESSOR_ARCHITECTURE_ARM",
      "PROCESSOR_ARCHITECTURE_IA64",  "PROCESSOR_ARCHITECTURE_ALPHA64", "PROCESSOR_ARCHITECTURE_MSIL"};
  if (arch < std::size(kNames)) return kNames[arch];
  if (arch == 9) return "PROCESSOR_ARCHITECTURE_AMD64";
  if (arch == 12) return "PROCESSOR_ARCHITECTURE_ARM64";
  return "PROCESSOR_ARCHITECTURE_UNKNOWN";
}

std::string ProcessorTypeName(uint32_t type) {
  switch (type) {
  case 386:
    return "Intel 386";
  case 486:
    return "Intel 486";
  case 586:
    return "Intel Pentium";
  case 601:
    return "PPC 601";
  case 603:
    return "PPC 603";
  case 604:
    return "PPC 604";
  case 620:
    return "PPC 620";
  case 860:
    return "Intel 860";
  case 2000:
    return "MIPS R2000";
  case 3000:
    return "MIPS R3000";
  case 4000:
    return "MIPS R4000";
  case 21064:
    return "ALPHA 21064";
  default:
    return "";
  }
}

std::string LevelName(uint32_t level) {
  switch (level) {
  case 3:
    return " (Intel 80386) ";
  case 4:
    return " (Intel 80486) ";
  case 5:
    return " (Intel Pentium) ";
  default:
    return " ";
  }
}

std::string PlatformText(uint32_t id) {
  switch (id) {
  case 0:
    return "Win32s under Windows 3.x";
  case 1:
    return "Windows 95, Windows 98, or Windows Me.";
  case 2:
    return "Windows NT, Windows 2000, Windows XP, or Windows Server 2003 family.";
  default:
    return "";
  }
}

std::string OsNameOf(uint32_t major, uint32_t minor, uint32_t platform_id) {
  if (major == 3) return minor == 51 ? "Windows NT 3.51" : "Unknown (NT 3.X ?)";
  if (major == 4 && minor == 0) return platform_id == 2 ? "Windows NT 4.0" : "Windows 95";
  if (major == 4 && minor == 10) return "Windows 98";
  if (major == 4 && minor == 90) return "Windows Me";
  if (major == 5 && minor == 0) return "Windows 2000";
  if (major == 5 && minor == 1) return "Windows XP";
  if (major == 5 && minor == 2) return "Windows Server 2003 family";
  return "";
}

} // namespace

THeapMRec THeapMonitor::TakeSnapshot() {
  if (!queue_.empty()) {
    THeapMRec rec = queue_.front();
    queue_.pop_front();
    return rec;
  }
  THeapMRec rec;
  if (kind_ == Heap) {
    platform::HeapStatus h;
    rec.Valid = source_->ReadHeapStatus(h);
    rec.First = h.Blocks;
    rec.Second = h.Bytes;
  } else {
    platform::MemoryStatus m;
    rec.Valid = source_->ReadMemoryStatus(m);
    rec.First = m.TotalPhys;
    rec.Second = m.AvailPhys;
    rec.Load = m.MemoryLoad;
  }
  if (!rec.Valid) rec.First = rec.Second = rec.Load = 0;
  return rec;
}

Lines HeapReport(const THeapMRec &s, int form) {
  Lines out;
  try {
    if (!s.Valid) throw std::runtime_error("no heap figures");
    const std::string c = to_string(s.First), b = to_string(s.Second);
    switch (form) {
    case 0:
      out = {"",
             "===========  Heap Monitor  ============" + s.Extra,
             "  AllocMemCount (Blocks) : " + c,
             "  AllocMemSize  (Bytes)  : " + b,
             "=======================================",
             ""};
      break;
    case 1:
      out = {"[Heap monitor] : Blocks=" + c + ", Bytes=" + b + s.Extra + " ;"};
      break;
    case 2:
      out = {"[Heap monitor] : (" + c + ", " + b + s.Extra + ")"};
      break;
    default:
      out = {"(" + c + ", " + b + s.Extra + ")"};
      break;
    }
  } catch (...) {
    out.push_back("#FLHeap");
  }
  return out;
}

Lines RamReport(const THeapMRec &s, int form) {
  Lines out;
  try {
    if (!s.Valid) throw std::runtime_error("no memory figures");
    const std::string t = to_string(s.First), a = to_string(s.Second), l = to_string(s.Load);
    switch (form) {
    case 0:
      out = {"",
             "============  RAM Monitor  ============" + s.Extra,
             "  Memory (Total) : " + MbAndBytes(s.First),
             "  Memory (Avail) : " + MbAndBytes(s.Second),
             "================(" + l + "%)==================",
             ""};
      break;
    case 1:
      out = {"[RAM  monitor] : Total=" + t + ", Avail=" + a + ", Load=" + l + "%" + s.Extra + " ;"};
      break;
    case 2:
      out = {"[RAM  monitor] : (" + t + ", " + a + ", " + l + "%" + s.Extra + ")"};
      break;
    default:
      out = {"(" + t + ", " + a + ", " + l + "%" + s.Extra + ")"};
      break;
    }
  } catch (...) {
    out.push_back("#FLRam");
  }
  return out;
}

Lines DiskReport(platform::SystemInfo &source, int form) {
  Lines out;
  try {
    platform::DiskSpace d;
    if (!source.ReadDiskSpace(".", d)) return {"FL:Unable to retrieve disk space values"};
    const std::string u = to_string(d.FreeToUser), v = to_string(d.TotalToUser), f = to_string(d.TotalFree);
    switch (form) {
    case 0:
      out = {"",
             "============  Disk Monitor  ===========",
             "  Free avail (user) : " + MbAndBytes(d.FreeToUser),
             "  Disk total (user) : " + MbAndBytes(d.TotalToUser),
             "  Free total (disk) : " + MbAndBytes(d.TotalFree),
             "=======================================",
             ""};
      break;
    case 1:
      out = {"[Disk monitor] : Available to user=" + u + ", Total on disk=" + v +
             ", Free total on disk=" + f + " ;"};
      break;
    case 2:
      out = {"[Disk monitor] : (" + u + ", " + v + ", " + f + ")"};
      break;
    default:
      out = {"(" + u + ", " + v + ", " + f + ")"};
      break;
    }
  } catch (...) {
    out.push_back("#FLDisk");
  }
  return out;
}

Lines MemoryStatusReport(platform::SystemInfo &source, const std::string &tag) {
  platform::DiskSpace disk;
  platform::MemoryStatus m;
  if (!source.ReadDiskSpace(".", disk) || disk.TotalToUser == 0 || !source.ReadMemoryStatus(m))
    return {tag, "#FLOSMemoryStatus"};
  const double free_percent =
      static_cast<double>(disk.FreeToUser) / static_cast<double>(disk.TotalToUser) * 100.0;
  return {"",
          "=================================  Memory status  =================================",
          "  Memory (Total)              : " + MbAndBytes(m.TotalPhys),
          "  Memory (Available)          : " + MbAndBytes(m.AvailPhys) +
              "  => Memory load : " + to_string(m.MemoryLoad) + " %",
          "",
          "  Page(Swap)File (Total)      : " + MbAndBytes(m.TotalPageFile),
          "  Page(Swap)File (Available)  : " + MbAndBytes(m.AvailPageFile),
          "  Virtual Memory (Total)      : " + MbAndBytes(m.TotalVirtual),
          "  Virtual Memory (Available)  : " + MbAndBytes(m.AvailVirtual),
          "",
          "  Current Disk (Total)        : " + MbAndBytes(disk.TotalToUser),
          "  Current disk (Available)    : " + MbAndBytes(disk.FreeToUser) +
              "  => Free space : " + platform::FloatToStrF(free_percent, 2) + " % ",
          kClosingRule,
          ""};
}

Lines CpuInfoReport(platform::SystemInfo &source, const std::string &tag) {
  // Texts not yet found when gathering fails stay "n/a".
  std::string arch = "n/a", oem = "n/a", mask = "n/a", count = "n/a", type = "n/a", level = "n/a",
              speed = "n/a", granularity = "n/a", revision = "n/a", page = "n/a", min_addr = "n/a",
              max_addr = "n/a";
  try {
    platform::ProcessorInfo p;
    if (source.ReadProcessorInfo(p)) {
      arch = to_string(p.Architecture) + " (" + ArchitectureName(p.Architecture) + ")";
      oem = to_string(p.Architecture);
      std::string vendor = ReadRegistryText(source, platform::kCentralProcessorKey, "VendorIdentifier");
      if (!vendor.empty()) oem += " (" + vendor + ")";
      mask = to_string(p.ActiveProcessorMask);
      count = to_string(p.NumberOfProcessors);
      type = to_string(p.ProcessorType) + " (" + ProcessorTypeName(p.ProcessorType) + ")";
      level = to_string(p.ProcessorLevel) + LevelName(p.ProcessorLevel);
      if (p.Architecture == 0)
        level += "(x86 Family " + to_string(p.ProcessorLevel) + " Model " +
                 to_string(p.ProcessorRevision >> 8) + " Stepping " + to_string(p.ProcessorRevision & 0xFF) +
                 ")";
      granularity = FloatToStrGeneral(p.AllocationGranularity / 1024.0) + " KB (" +
                    to_string(p.AllocationGranularity) + " B)";
      revision = to_string(p.ProcessorRevision);
      page = to_string(static_cast<uint64_t>(std::nearbyint(p.PageSize / 1024.0))) + " KB (" +
             to_string(p.PageSize) + " B)";
      min_addr = HexAddress(p.MinimumApplicationAddress);
      max_addr = HexAddress(p.MaximumApplicationAddress);
    }
    std::string mhz = ReadRegistryText(source, platform::kCentralProcessorKey, "~MHz");
    if (!mhz.empty()) speed = mhz + " MHz";
  } catch (...) {
  }
  try {
    return {"",
            "==================================  CPU info  =====================================",
            "  Architecture                : " + arch,
            "  OEM ID (vendor)             : " + oem,
            "  Active processor mask       : " + mask,
            "  Number of processors        : " + count,
            "  Processor type              : " + type,
            "  Processor level             : " + level,
            "  Speed (registry)            : " + speed,
            "  VMem allocation granularity : " + granularity,
            "  ProcessorRevision           : " + revision,
            "  Page size                   : " + page,
            "  Minimum application address : " + min_addr,
            "  Maximum application address : " + max_addr,
            kClosingRule,
            ""};
  } catch (...) {
    return {tag, "#FLCPUInfo"};
  }
}

Lines OsVersionReport(platform::SystemInfo &source, const std::string &tag) {
  try {
    platform::OsVersion v;
    if (!source.ReadOsVersion(v)) return {tag, "#FLOSVersionInfo"};
    std::string platform_text = v.PlatformName.empty() ? PlatformText(v.PlatformId) : v.PlatformName;
    std::string name = v.OsName.empty() ? OsNameOf(v.Major, v.Minor, v.PlatformId) : v.OsName;
    std::string suite = ReadRegistryText(source, platform::kProductOptionsKey, "ProductSuite");
    if (!suite.empty()) suite = "(" + suite + ")";
    return {"",
            "===============================  OS version info  =================================",
            "  Platform  : " + platform_text,
            "  OS Name   : " + name + " (" + v.ServicePack + ")" + suite,
            "  (Major Version[ " + to_string(v.Major) + " ]  Minor Version[ " + to_string(v.Minor) +
                " ] Build Number[ " + to_string(v.Build & 0xFFFF) + " ]  Platform ID[ " +
                to_string(v.PlatformId) + " ])",
            kClosingRule,
            ""};
  } catch (...) {
    return {tag, "#FLOSVersionInfo"};
  }
}

std::string ReadRegistryText(platform::SystemInfo &source, const std::string &key, const std::string &name) {
  try {
    auto value = source.ReadMachineValue(key, name);
    if (!value) return {};
    switch (value->Kind) {
    case platform::MachineValue::Type::String:
      return value->Text;
    case platform::MachineValue::Type::Number:
      return to_string(value->Number);
    case platform::MachineValue::Type::Bytes:
      break;
    }
    // Raw bytes without the last one: zero bytes read as two blanks, trailing blanks cut.
    const std::string &bytes = value->Bytes;
    if (bytes.size() < 2) return {};
    std::string text;
    for (size_t i = 0; i + 1 < bytes.size(); ++i)
      text += bytes[i] == '\0' ? std::string("  ") : std::string(1, bytes[i]);
    while (!text.empty() && text.back() == ' ')
      text.pop_back();
    return text.empty() ? std::string() : " (" + text + ")";
  } catch (...) {
    return {};
  }
}

void TRuler::SetRulerWidth(int64_t width) {
  width_ = static_cast<int>(std::clamp<int64_t>(width, 0, kMaxLayoutWidth));
  have_dots_ = have_numbers_ = false;
  dots_.clear();
  numbers_.clear();
}

Lines TRuler::Report(bool with_numbers) {
  try {
    const int w = width_;
    if (!have_dots_) {
      dots_ = Repeat("....|....|", w / 10);
      have_dots_ = true;
    }
    if (!with_numbers) return {dots_};
    if (!have_numbers_) {
      std::string s = "    5    ";
      for (int n = 10; n <= std::min(95, w); n += 5)
        s += to_string(n) + "   ";
      if (w > 95) {
        s.pop_back();
        s += "100  ";
        for (int n = 105; n <= std::min(995, w); n += 5)
          s += to_string(n) + "  ";
      }
      if (w > 995) {
        s += "1000";
        for (int n = 1005; n <= std::min(10000, w); n += 5)
          s += to_string(n) + " ";
      }
      numbers_ = s;
      have_numbers_ = true;
    }
    return {numbers_, dots_};
  } catch (...) {
    return {"#FLRuler(n/a)"};
  }
}

} // namespace kv::logging
