// The support units' start-up: tables, system facts, clock rate, colour arithmetic, counts.
#include <gtest/gtest.h>

#include <cmath>
#include <unistd.h>

#include "controls/edits/kc_file_utils.h"
#include "controls/edits/kc_graph_utils.h"
#include "controls/edits/kc_graphics.h"
#include "controls/edits/kc_strings.h"
#include "controls/edits/kc_sys_info.h"
#include "controls/edits/support_units.h"
#include "test_support.h"
#include "tests/log/fake_sysinfo.h"

namespace {

using namespace kv::edits;

TEST(KcStrings, TypeWordsAndCaseMapsOfTheCLocale) {
  const auto t = KcStrings::BuildCharTypes("C");
  using namespace KcStrings;
  EXPECT_EQ(t['A'], kCtUpper | kCtAlpha | kCtHexDigit);
  EXPECT_EQ(t['g'], kCtLower | kCtAlpha);
  EXPECT_EQ(t['7'], kCtDigit | kCtHexDigit);
  EXPECT_EQ(t[' '], kCtSpace | kCtBlank);
  EXPECT_EQ(t['\t'], kCtSpace | kCtBlank | kCtControl);
  EXPECT_EQ(t['\n'], kCtSpace | kCtControl);
  EXPECT_EQ(t['!'], kCtPunct);
  EXPECT_EQ(t[0xE4], 0); // not a character of the C locale
  // An unknown locale falls back to "C".
  EXPECT_EQ(KcStrings::BuildCharTypes("xx_NOPE.nothing"), t);

  const auto m = KcStrings::BuildCaseMap("C", t);
  EXPECT_EQ(m.Lower['Q'], 'q');
  EXPECT_EQ(m.Upper['q'], 'Q');
  EXPECT_EQ(m.Upper['5'], '5');
  EXPECT_EQ(m.Reflect['Q'], 'q');
  EXPECT_EQ(m.Reflect['q'], 'Q');
  EXPECT_EQ(m.Reflect['#'], '#');
  EXPECT_EQ(m.Reflect[0xE4], 0xE4);
}

TEST(KcSysInfo, ClassifiesTheThirteenVersions) {
  using V = KcSysInfo::WindowsVersion;
  using KcSysInfo::kPlatformNT;
  using KcSysInfo::kPlatformWindows;
  struct Row {
    uint32_t platform, major, minor;
    const char *service;
    std::optional<std::array<uint16_t, 2>> kernel;
    V expected;
  };
  const Row rows[] = {
      {kPlatformWindows, 4, 0, "", {}, V::Win95},
      {kPlatformWindows, 4, 0, " B ", {}, V::Win95OSR2},
      {kPlatformWindows, 4, 3, "C", {}, V::Win95OSR2},
      {kPlatformWindows, 4, 10, "", {}, V::Win98},
      {kPlatformWindows, 4, 10, "A", {}, V::Win98SE},
      {kPlatformWindows, 4, 10, "", std::array<uint16_t, 2>{4, 90}, V::WinME},
      {kPlatformWindows, 4, 90, "", {}, V::WinME},
      {kPlatformNT, 3, 10, "", {}, V::WinNT31},
      {kPlatformNT, 3, 50, "", {}, V::WinNT35},
      {kPlatformNT, 3, 51, "", {}, V::WinNT351},
      {kPlatformNT, 4, 0, "Service Pack 6", {}, V::WinNT4},
      {kPlatformNT, 5, 0, "", {}, V::Win2000},
      {kPlatformNT, 5, 1, "", {}, V::WinXP},
      {kPlatformNT, 5, 2, "", {}, V::Win2003},
      {kPlatformNT, 6, 1, "", {}, V::None},
      {kv::platform::kPlatformIdLinux, 6, 1, "#1 SMP", {}, V::None},
  };
  for (const auto &r : rows) {
    KcSysInfo::VersionInput in{r.platform, r.major, r.minor, r.service, r.kernel};
    EXPECT_EQ(KcSysInfo::ClassifyWindowsVersion(in), r.expected)
        << r.platform << " " << r.major << "." << r.minor;
  }
}

TEST(KcSysInfo, LinuxFactsReadNoneRecognisedWithExactlyOneFlag) {
  kvtest::FakeSystemInfo fake;
  fake.cpu.PageSize = 4096;
  fake.cpu.NumberOfProcessors = 6;
  fake.cpu.AllocationGranularity = 4096;
  fake.os.PlatformId = kv::platform::kPlatformIdLinux;
  fake.os.Major = 6;
  const auto f = KcSysInfo::ReadFacts(fake);
  EXPECT_EQ(f.PageSize, 4096u);
  EXPECT_EQ(f.NumberOfProcessors, 6u);
  EXPECT_EQ(f.AllocationGranularity, 4096u);
  EXPECT_FALSE(f.IsWinNT);
  EXPECT_FALSE(f.IsWinNT3);
  EXPECT_EQ(f.Version, KcSysInfo::WindowsVersion::None);
  EXPECT_EQ(std::count(f.VersionFlags.begin(), f.VersionFlags.end(), true), 1);
  EXPECT_TRUE(f.VersionFlags[0]);

  fake.os.PlatformId = KcSysInfo::kPlatformNT;
  fake.os.Major = 3;
  fake.os.Minor = 51;
  const auto nt = KcSysInfo::ReadFacts(fake);
  EXPECT_TRUE(nt.IsWinNT && nt.IsWinNT3);
  EXPECT_TRUE(nt.VersionFlags[static_cast<size_t>(KcSysInfo::WindowsVersion::WinNT351)]);
  EXPECT_EQ(std::count(nt.VersionFlags.begin(), nt.VersionFlags.end(), true), 1);
}

// A machine whose time-stamp counter runs at `mhz` against a nanosecond counter.
class ClockedSystem : public kvtest::FakeSystemInfo {
public:
  explicit ClockedSystem(double mhz) : mhz_(mhz) {
    perf_frequency = 1000000000;
    perf_step = 50;
  }
  uint64_t ReadTimeStampCounter() override {
    ++tsc_reads;
    return static_cast<uint64_t>(static_cast<double>(perf_counter) * mhz_ / 1000.0);
  }
  int64_t PerformanceCounter() override {
    ++perf_reads;
    return perf_counter += perf_step;
  }
  int tsc_reads = 0, perf_reads = 0;

private:
  double mhz_;
};

TEST(KcGraphUtils, ClockRateIsMeasuredAgainstTheCounterAndRoundedToACommonFraction) {
  ClockedSystem exact(2400.0);
  EXPECT_EQ(KcGraphUtils::MeasureClockRate(exact), 2400000000);
  // Three agreeing rounds suffice: 3 rounds of 200 us at 50 ns per read.
  EXPECT_LE(exact.perf_reads, 3 * (200000 / 50 + 2));

  ClockedSystem odd(2666.6);
  EXPECT_EQ(KcGraphUtils::MeasureClockRate(odd), 2666666667);

  // Rounds that never agree (every other one runs 3 MHz fast) stop after 20.
  struct Wobbly : ClockedSystem {
    Wobbly() : ClockedSystem(1000.0) {}
    uint64_t ReadTimeStampCounter() override {
      const uint64_t base = ClockedSystem::ReadTimeStampCounter();
      const bool round_end = tsc_reads % 2 == 0, odd_round = (tsc_reads / 2) % 2 == 1;
      return round_end && odd_round ? base + 600 : base;
    }
  } wobbly;
  EXPECT_GT(KcGraphUtils::MeasureClockRate(wobbly), 0);
  EXPECT_EQ(wobbly.tsc_reads, 40);

  kvtest::FakeSystemInfo no_tsc;
  no_tsc.has_tsc = false;
  EXPECT_EQ(KcGraphUtils::MeasureClockRate(no_tsc), -1);
  no_tsc.has_tsc = true;
  no_tsc.perf_frequency = 0;
  EXPECT_EQ(KcGraphUtils::MeasureClockRate(no_tsc), -1);

  EXPECT_DOUBLE_EQ(KcGraphUtils::RoundMegahertz(99.95), 100.0);
  EXPECT_DOUBLE_EQ(KcGraphUtils::RoundMegahertz(133.3), 133.0 + 1.0 / 3);
  EXPECT_DOUBLE_EQ(KcGraphUtils::RoundMegahertz(166.2), 166.0 + 1.0 / 6);
  EXPECT_DOUBLE_EQ(KcGraphUtils::RoundMegahertz(450.04), 450.0);
}

TEST(KcGraphUtils, VendorsAndTableNames) {
  using KcGraphUtils::CpuVendor;
  EXPECT_EQ(KcGraphUtils::VendorOf("GenuineIntel"), CpuVendor::Intel);
  EXPECT_EQ(KcGraphUtils::VendorOf("AuthenticAMD"), CpuVendor::AMD);
  EXPECT_EQ(KcGraphUtils::VendorOf("CyrixInstead"), CpuVendor::Cyrix);
  EXPECT_EQ(KcGraphUtils::VendorOf("GenuineTMx86"), CpuVendor::Transmeta);
  EXPECT_EQ(KcGraphUtils::VendorOf("HygonGenuine"), CpuVendor::Unknown);
  EXPECT_EQ(KcGraphUtils::TableModelName(CpuVendor::Intel, 4, 8), "Intel DX4 Processor");
  EXPECT_EQ(KcGraphUtils::TableModelName(CpuVendor::AMD, 5, 6), "AMD-K6");
  EXPECT_EQ(KcGraphUtils::TableModelName(CpuVendor::Cyrix, 5, 2), "Cyrix 6x86");
  EXPECT_EQ(KcGraphUtils::TableModelName(CpuVendor::Transmeta, 5, 4), "Crusoe");
  EXPECT_EQ(KcGraphUtils::TableModelName(CpuVendor::Intel, 6, 13), "");

  const auto cpu = KcGraphUtils::ReadCpuInfo();
#if defined(__x86_64__)
  EXPECT_TRUE(cpu.HasCpuId);
  EXPECT_NE(cpu.Family, 0u);
  EXPECT_NE(cpu.Features & KcGraphUtils::kFeatureTimeStampCounter, 0u);
  EXPECT_FALSE(cpu.ModelName.empty());
#endif
}

TEST(KcGraphUtils, CombineAndBlendFollowTheChannelArithmetic) {
  using namespace KcGraphUtils;
  const uint32_t f = 0x80FF4010, b = 0x20103070;
  EXPECT_EQ(CombineReg(f, b, 255), f);
  EXPECT_EQ(CombineReg(f, b, 0), b);
  // Each channel: (W*F + 128) div 256 + ((255-W)*B + 128) div 256, W = 128.
  auto ch = [](uint32_t fc, uint32_t bc, uint32_t w) {
    return (w * fc + 128) / 256 + ((255 - w) * bc + 128) / 256;
  };
  const uint32_t expected =
      ch(0x80, 0x20, 128) << 24 | ch(0xFF, 0x10, 128) << 16 | ch(0x40, 0x30, 128) << 8 | ch(0x10, 0x70, 128);
  EXPECT_EQ(CombineReg(f, b, 128), expected);
  // White over white never carries into the next channel.
  EXPECT_EQ(CombineReg(0xFFFFFFFF, 0xFFFFFFFF, 128), 0xFFFFFFFFu);
  EXPECT_EQ(CombineReg(0xFFFFFFFF, 0xFFFFFFFF, 1), 0xFEFEFEFEu); // 1 + 253 per channel

  EXPECT_EQ(BlendReg(f, b), CombineReg(f, b, 0x80));
  EXPECT_EQ(BlendRegEx(f, b, 128), CombineReg(f, b, (128 * 0x80) / 256));
  uint32_t m = b;
  BlendMemEx(f, m, 255);
  EXPECT_EQ(m, CombineReg(f, b, (255 * 0x80) / 256));
  m = b;
  CombineMem(f, m, 64);
  EXPECT_EQ(m, CombineReg(f, b, 64));

  const uint32_t src[3] = {0xFF0000FF, 0x00FFFFFF, 0x80FFFFFF};
  uint32_t dst[3] = {0x11223344, 0x11223344, 0x00000000};
  BlendLine(src, dst, 3);
  EXPECT_EQ(dst[0], 0xFF0000FFu);
  EXPECT_EQ(dst[1], 0x11223344u);
  EXPECT_EQ(dst[2], CombineReg(0x80FFFFFF, 0, 0x80));
  uint32_t dst2[1] = {0};
  BlendLineEx(src, dst2, 1, 0);
  EXPECT_EQ(dst2[0], 0u);
}

TEST(KcGraphics, GammaTableRoundsToNearest) {
  const auto g = KcGraphics::BuildGammaTable(0.7);
  EXPECT_EQ(g[0], 0);
  EXPECT_EQ(g[1], 5);
  EXPECT_EQ(g[2], 9);
  EXPECT_EQ(g[64], 97);
  EXPECT_EQ(g[128], 157);
  EXPECT_EQ(g[200], 215);
  EXPECT_EQ(g[254], 254);
  EXPECT_EQ(g[255], 255);
  for (int i = 1; i < 256; ++i)
    EXPECT_GE(g[i], g[i - 1]);
}

TEST(SupportUnits, StartRunsOnceAndEachUnitCountsItsStarts) {
  ASSERT_EQ(KcStrings::Starts(), 0);
  EXPECT_EQ(KcGraphics::Gamma()[128], 0); // nothing before the start
  {
    SupportUnitsScope outer;
    SupportUnitsScope inner;
    for (int n : {KcStrings::Starts(), KcFileUtils::Starts(), KcSysInfo::Starts(), KcGraphUtils::Starts(),
                  KcGraphics::Starts()})
      EXPECT_EQ(n, 2);
    EXPECT_TRUE(KcStrings::CaseMapLoaded());
    EXPECT_EQ(KcStrings::CharTypes()['A'] & KcStrings::kCtUpper, KcStrings::kCtUpper);
    EXPECT_EQ(KcGraphics::Gamma()[128], 157);
    EXPECT_EQ(KcGraphics::IdentityMatrix()[1][1], 1.0L);
    EXPECT_EQ(KcGraphics::IdentityMatrix()[0][1], 0.0L);
    EXPECT_EQ(KcSysInfo::Current().PageSize, static_cast<uint32_t>(sysconf(_SC_PAGESIZE)));
    EXPECT_GE(KcSysInfo::Current().NumberOfProcessors, 1u);
    EXPECT_EQ(KcSysInfo::Current().Version, KcSysInfo::WindowsVersion::None);
#if defined(__x86_64__)
    EXPECT_GT(KcGraphUtils::Current().ClockHz, 0);
#endif
  }
  for (int n : {KcStrings::Starts(), KcFileUtils::Starts(), KcSysInfo::Starts(), KcGraphUtils::Starts(),
                KcGraphics::Starts()})
    EXPECT_EQ(n, 0);
  EndSupportUnits(); // an end without a start does nothing
  EXPECT_EQ(KcGraphics::Starts(), 0);
}

TEST(KcFileUtils, ModulePathAndVersionRecord) {
  const std::string self = KcFileUtils::ModuleFileName();
  EXPECT_NE(self.find("edits_tests"), std::string::npos);
  // A missing file cannot be read; a file with a record anywhere in it gives its numbers.
  EXPECT_FALSE(KcFileUtils::FixedFileVersion("/nonexistent/korvan"));
  kvtest::TempDir dir;
  const char record[] = {'\xBD', '\x04', '\xEF', '\xFE', 'K', 'V', 'F', 'I',
                         '\xD5', '\x07', 1,      0,      2,   0,   27,  0};
  kvtest::WriteFile(dir.file("prog"), "padding" + std::string(record, sizeof record) + "tail");
  const auto version = KcFileUtils::FixedFileVersion(dir.file("prog"));
  ASSERT_TRUE(version);
  EXPECT_EQ(*version, (std::array<uint16_t, 4>{2005, 1, 2, 27}));
}

} // namespace
