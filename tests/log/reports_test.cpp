#include "log/reports.h"

#include <gtest/gtest.h>

#include "fake_sysinfo.h"
#include "log/qtimer.h"
#include "log/text_util.h"
#include "platform/datetime.h"

using namespace kv::logging;
using kv::platform::kCentralProcessorKey;
using kv::platform::kProductOptionsKey;

namespace {

class Reports : public testing::Test {
protected:
  void SetUp() override {
    kv::platform::FormatSettings fs;
    fs.DecimalSeparator = ',';
    fs.ThousandSeparator = '.';
    kv::platform::SetFormatSettings(fs);
  }
  void TearDown() override { kv::platform::SetFormatSettings(kv::platform::FormatSettings{}); }
  kvtest::FakeSystemInfo info;
};

constexpr uint64_t kGiB = 1024ull * 1024 * 1024;

} // namespace

TEST_F(Reports, HeapFormsUseTheQueuedSnapshotFirstThenLiveFigures) {
  THeapMonitor heap(THeapMonitor::Heap, info);
  heap.PushSnapshot({7, 5000000000ull, 0, " [start]"});
  THeapMRec first = heap.TakeSnapshot();
  EXPECT_EQ(HeapReport(first, 1), Lines{"[Heap monitor] : Blocks=7, Bytes=5000000000 [start] ;"});
  THeapMRec live = heap.TakeSnapshot();
  EXPECT_EQ(HeapReport(live, 1), Lines{"[Heap monitor] : Blocks=12, Bytes=3456 ;"});
  EXPECT_EQ(HeapReport(live, 2), Lines{"[Heap monitor] : (12, 3456)"});
  EXPECT_EQ(HeapReport(live, 3), Lines{"(12, 3456)"});
  EXPECT_EQ(HeapReport(live, 0),
            (Lines{"", "===========  Heap Monitor  ============", "  AllocMemCount (Blocks) : 12",
                   "  AllocMemSize  (Bytes)  : 3456", "=======================================", ""}));
}

TEST_F(Reports, RamFiguresAre64Bit) {
  info.memory.TotalPhys = 24 * kGiB + 512 * 1024; // 24 GiB and half a MiB: rounds to even
  info.memory.AvailPhys = 6 * kGiB + 1536 * 1024; // and one and a half MiB
  info.memory.MemoryLoad = 75;
  THeapMonitor ram(THeapMonitor::Ram, info);
  THeapMRec s = ram.TakeSnapshot();
  EXPECT_EQ(RamReport(s, 1), Lines{"[RAM  monitor] : Total=25770328064, Avail=6444023808, Load=75% ;"});
  EXPECT_EQ(RamReport(s, 2), Lines{"[RAM  monitor] : (25770328064, 6444023808, 75%)"});
  EXPECT_EQ(
      RamReport(s, 0),
      (Lines{"", "============  RAM Monitor  ============", "  Memory (Total) : 24576 MB (25770328064 B)",
             "  Memory (Avail) : 6146 MB (6444023808 B)", "================(75%)==================", ""}));
}

TEST_F(Reports, DiskFormsAndFailure) {
  info.disk = {5 * kGiB, 100 * kGiB, 6 * kGiB};
  EXPECT_EQ(DiskReport(info, 1),
            Lines{"[Disk monitor] : Available to user=5368709120, Total on disk=107374182400, "
                  "Free total on disk=6442450944 ;"});
  EXPECT_EQ(DiskReport(info, 3), Lines{"(5368709120, 107374182400, 6442450944)"});
  Lines block = DiskReport(info, 0);
  ASSERT_EQ(block.size(), 7u);
  EXPECT_EQ(block[2], "  Free avail (user) : 5120 MB (5368709120 B)");
  EXPECT_EQ(block[3], "  Disk total (user) : 102400 MB (107374182400 B)");
  info.disk_ok = false;
  for (int form = 0; form <= 3; ++form)
    EXPECT_EQ(DiskReport(info, form), Lines{"FL:Unable to retrieve disk space values"});
}

TEST_F(Reports, MemoryStatusBlock) {
  info.memory = {42, 16 * kGiB, 8 * kGiB, 20 * kGiB, 10 * kGiB, 128ull * 1024 * kGiB, 127ull * 1024 * kGiB};
  info.disk = {25 * kGiB, 100 * kGiB, 30 * kGiB};
  Lines l = MemoryStatusReport(info, "Mem");
  ASSERT_EQ(l.size(), 14u);
  EXPECT_EQ(l[1], "=================================  Memory status  =================================");
  EXPECT_EQ(l[2], "  Memory (Total)              : 16384 MB (17179869184 B)");
  EXPECT_EQ(l[3], "  Memory (Available)          : 8192 MB (8589934592 B)  => Memory load : 42 %");
  EXPECT_EQ(l[7], "  Virtual Memory (Total)      : 134217728 MB (140737488355328 B)");
  EXPECT_EQ(l[11], "  Current disk (Available)    : 25600 MB (26843545600 B)  => Free space : 25,00 % ");
  EXPECT_EQ(l[12], std::string(83, '='));
  EXPECT_EQ(l[13], "");
  info.disk.TotalToUser = 0;
  EXPECT_EQ(MemoryStatusReport(info, "mem"), (Lines{"mem", "#FLOSMemoryStatus"}));
}

TEST_F(Reports, CpuBlockPrintsAddressesWithAllDigits) {
  info.cpu.Architecture = 0;
  info.cpu.ActiveProcessorMask = 0xFF;
  info.cpu.NumberOfProcessors = 8;
  info.cpu.ProcessorType = 586;
  info.cpu.ProcessorLevel = 6;
  info.cpu.ProcessorRevision = (167 << 8) | 1;
  info.cpu.AllocationGranularity = 65536;
  info.cpu.PageSize = 4096;
  info.cpu.MinimumApplicationAddress = 0x10000;
  info.cpu.MaximumApplicationAddress = 0x7FFFFFFFEFFFull;
  info.SetText(kCentralProcessorKey, "VendorIdentifier", "GenuineIntel");
  info.SetNumber(kCentralProcessorKey, "~MHz", 2600);
  Lines l = CpuInfoReport(info, "CPUI");
  ASSERT_EQ(l.size(), 16u);
  EXPECT_EQ(l[1], "==================================  CPU info  =====================================");
  EXPECT_EQ(l[2], "  Architecture                : 0 (PROCESSOR_ARCHITECTURE_INTEL)");
  EXPECT_EQ(l[3], "  OEM ID (vendor)             : 0 (GenuineIntel)");
  EXPECT_EQ(l[4], "  Active processor mask       : 255");
  EXPECT_EQ(l[6], "  Processor type              : 586 (Intel Pentium)");
  EXPECT_EQ(l[7], "  Processor level             : 6 (x86 Family 6 Model 167 Stepping 1)");
  EXPECT_EQ(l[8], "  Speed (registry)            : 2600 MHz");
  EXPECT_EQ(l[9], "  VMem allocation granularity : 64 KB (65536 B)");
  EXPECT_EQ(l[10], "  ProcessorRevision           : 42753");
  EXPECT_EQ(l[11], "  Page size                   : 4 KB (4096 B)");
  EXPECT_EQ(l[12], "  Minimum application address : 0000000000010000");
  EXPECT_EQ(l[13], "  Maximum application address : 00007FFFFFFFEFFF");

  info.cpu.Architecture = 9;
  info.cpu.ProcessorLevel = 5;
  info.values.clear();
  l = CpuInfoReport(info, "CPUI");
  EXPECT_EQ(l[2], "  Architecture                : 9 (PROCESSOR_ARCHITECTURE_AMD64)");
  EXPECT_EQ(l[3], "  OEM ID (vendor)             : 9");
  EXPECT_EQ(l[7], "  Processor level             : 5 (Intel Pentium) ");
  EXPECT_EQ(l[8], "  Speed (registry)            : n/a");

  info.cpu_ok = false;
  l = CpuInfoReport(info, "CPUI");
  EXPECT_EQ(l[2], "  Architecture                : n/a");
  EXPECT_EQ(l[13], "  Maximum application address : n/a");
}

TEST_F(Reports, OsVersionBlockWithWindowsTablesAndWithNamesOfTheSource) {
  info.os = {5, 1, 0x0A280A28, 2, "Service Pack 2", "", ""};
  info.SetBytes(kProductOptionsKey, "ProductSuite", std::string("Terminal Server\0\0", 17));
  Lines l = OsVersionReport(info, "OSVI");
  ASSERT_EQ(l.size(), 7u);
  EXPECT_EQ(l[2], "  Platform  : Windows NT, Windows 2000, Windows XP, or Windows Server 2003 family.");
  EXPECT_EQ(l[3], "  OS Name   : Windows XP (Service Pack 2)( (Terminal Server))");
  EXPECT_EQ(l[4], "  (Major Version[ 5 ]  Minor Version[ 1 ] Build Number[ 2600 ]  Platform ID[ 2 ])");

  info.values.clear();
  info.os = {6,
             1,
             119,
             kv::platform::kPlatformIdLinux,
             "#1 SMP Debian",
             "Linux 6.1.0-28-amd64",
             "Debian GNU/Linux 12 (bookworm)"};
  l = OsVersionReport(info, "OSVI");
  EXPECT_EQ(l[2], "  Platform  : Linux 6.1.0-28-amd64");
  EXPECT_EQ(l[3], "  OS Name   : Debian GNU/Linux 12 (bookworm) (#1 SMP Debian)");
  EXPECT_EQ(l[4], "  (Major Version[ 6 ]  Minor Version[ 1 ] Build Number[ 119 ]  Platform ID[ 10 ])");

  info.os_ok = false;
  EXPECT_EQ(OsVersionReport(info, "osvi"), (Lines{"osvi", "#FLOSVersionInfo"}));
}

TEST_F(Reports, MachineValuesAsText) {
  info.SetNumber("K", "n", 2600);
  info.SetText("K", "s", "abc");
  info.SetBytes("K", "b", std::string("a\0b\0\0", 5));
  info.SetBytes("K", "empty", "");
  info.SetBytes("K", "one", "x");
  info.SetBytes("K", "zeros", std::string("\0\0\0", 3));
  EXPECT_EQ(ReadRegistryText(info, "K", "n"), "2600");
  EXPECT_EQ(ReadRegistryText(info, "K", "s"), "abc");
  EXPECT_EQ(ReadRegistryText(info, "K", "b"), " (a  b)");
  EXPECT_EQ(ReadRegistryText(info, "K", "empty"), "");
  EXPECT_EQ(ReadRegistryText(info, "K", "one"), "");
  EXPECT_EQ(ReadRegistryText(info, "K", "zeros"), "");
  EXPECT_EQ(ReadRegistryText(info, "K", "missing"), "");
  EXPECT_EQ(ReadRegistryText(info, "Other", "n"), "");
}

TEST_F(Reports, RulerLinesAndBoundedWidth) {
  TRuler ruler;
  Lines l = ruler.Report(true);
  ASSERT_EQ(l.size(), 2u);
  EXPECT_EQ(l[0].rfind("    5    10   15", 0), 0u);
  EXPECT_EQ(l[0].substr(l[0].size() - 5), "80   ");
  EXPECT_EQ(l[1], Repeat("....|....|", 8));
  EXPECT_EQ(ruler.Report(false), Lines{l[1]});
  ruler.SetRulerWidth(120);
  l = ruler.Report(true);
  EXPECT_NE(l[0].find("95  100  105  110  115  120  "), std::string::npos);
  EXPECT_EQ(l[1].size(), 120u);
  ruler.SetRulerWidth(1010);
  l = ruler.Report(true);
  EXPECT_NE(l[0].find("995  10001005 1010 "), std::string::npos);
  ruler.SetRulerWidth(int64_t{1} << 40);
  EXPECT_EQ(ruler.RulerWidth(), kMaxLayoutWidth);
  EXPECT_EQ(ruler.Report(false)[0].size(), static_cast<size_t>(kMaxLayoutWidth));
  ruler.SetRulerWidth(-5);
  EXPECT_EQ(ruler.Report(false), Lines{""});
}

TEST_F(Reports, TimerConversions) {
  info.SetNumber(kCentralProcessorKey, "~MHz", 2000);
  TQTimer t(info);
  ASSERT_TRUE(t.Calibrated());
  EXPECT_EQ(t.PerformanceOverhead(), 3);
  EXPECT_EQ(t.TimeStampOverhead(), 40);
  auto [v, unit] = t.BestUnit(TQTimer::kTimeStampCounter, 5);
  EXPECT_DOUBLE_EQ(v, 2.5);
  EXPECT_EQ(unit, TQTimer::kNanoseconds);
  // 99.95 ms is neither above 100 nor below 99.9: the next smaller unit is taken.
  auto [v2, unit2] = t.BestUnit(TQTimer::kTickCount, 99.95);
  EXPECT_EQ(unit2, TQTimer::kMicroseconds);
  EXPECT_DOUBLE_EQ(v2, 99950.0);
  EXPECT_DOUBLE_EQ(t.ToUnits(TQTimer::kMicroseconds, TQTimer::kPerformanceCounter, 20), 2.0);
  EXPECT_EQ(TQTimer::UnitName(TQTimer::kMicroseconds), "µs");
  EXPECT_EQ(PadLeft("abc", 6), "   abc ");
  EXPECT_EQ(PadLeft("abcdefgh", 6), "abcdefgh ");
}

TEST_F(Reports, TimersTableWithAllSources) {
  info.SetNumber(kCentralProcessorKey, "~MHz", 2000);
  Lines l = TimersReport(info, "Timers");
  ASSERT_EQ(l.size(), 15u);
  for (int i : {2, 3, 4, 5, 6, 7, 8})
    EXPECT_EQ(l[i].find('|'), 26u) << i;
  EXPECT_EQ(
      l[6],
      "  GetTickCount            |  16,---       :      n/s      :      n/s      |      0 ticks  : ms or s.");
  EXPECT_EQ(l[7], "  QueryPerformanceCounter |   0,000100000 :   0,100000000 : 100,000000000 |      3 units  "
                  ": µs (0,300000000)");
  EXPECT_EQ(l[8], "  ReaDTimeStampCounter    |   0,000000500 :   0,000500000 :   0,500000000 |     40 cycles "
                  ": ns (20,000000000)");
  EXPECT_EQ(l[9], std::string(108, '='));
  EXPECT_EQ(Utf8Length(l[4]), 107u);
  EXPECT_EQ(l[11], PadLeft("QueryPerformanceFrequency returned : 10000000 (native units)", 107));
  EXPECT_EQ(Utf8Length(l[11]), 108u);
}

TEST_F(Reports, TimersTableWithoutCounterOrProcessorSpeed) {
  info.perf_frequency = 0;
  Lines l = TimersReport(info, "Timers");
  ASSERT_EQ(l.size(), 15u);
  EXPECT_EQ(l[7],
            "  QueryPerformanceCounter |      n/s      :      n/s      :      n/s      |      n/a      : "
            "      n/a      ");
  EXPECT_EQ(l[8], "  ReaDTimeStampCounter    |      n/a      :      n/a      :      n/a      |: ");
  EXPECT_NE(l[11].find("returned : -1 (native units)"), std::string::npos);

  info.perf_frequency = 10000000;
  info.has_tsc = false; // not calibrated: counts are shown as they are
  info.SetNumber(kCentralProcessorKey, "~MHz", 2000);
  l = TimersReport(info, "Timers");
  EXPECT_EQ(l[8], "  ReaDTimeStampCounter    |   1,000000000 :   1,000000000 :   1,000000000 |      n/a      "
                  ":       n/a      ");
}

TEST_F(Reports, TimersFailureGivesTheMarker) {
  info.throw_on_tick = true;
  EXPECT_EQ(TimersReport(info, "timers"), (Lines{"timers", "#FLTimersResolution"}));
}
