#include "platform/sysinfo.h"

#include <atomic>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <new>
#include <pthread.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

#include "platform/heap_count.h"
#include "test_support.h"

using namespace kv::platform;

namespace {

// A /proc of the test's own making.
struct FakeProc {
  kvtest::TempDir dir;
  FakeProc() {
    std::filesystem::create_directories(dir.file("self"));
    std::filesystem::create_directories(dir.file("sys/vm"));
  }
  void Write(const std::string &name, const std::string &text) { kvtest::WriteFile(dir.file(name), text); }
};

const char *kMeminfo = "MemTotal:       24682384 kB\n"
                       "MemFree:         1000000 kB\n"
                       "MemAvailable:    6170596 kB\n"
                       "CommitLimit:    12341192 kB\n"
                       "Committed_AS:    2341192 kB\n";

const char *kCpuinfo = "processor\t: 0\n"
                       "vendor_id\t: GenuineIntel\n"
                       "cpu family\t: 6\n"
                       "model\t\t: 167\n"
                       "stepping\t: 1\n"
                       "cpu MHz\t\t: 2611.998\n"
                       "\n"
                       "processor\t: 1\n"
                       "vendor_id\t: Other\n"
                       "cpu MHz\t\t: 800.000\n";

} // namespace

TEST(LinuxSystemInfo, MemoryFromMeminfoIn64Bit) {
  FakeProc proc;
  proc.Write("meminfo", kMeminfo);
  proc.Write("self/status", "Name:\tx\nVmSize:\t  1048576 kB\n");
  LinuxSystemInfo info(proc.dir.path());
  MemoryStatus m;
  ASSERT_TRUE(info.ReadMemoryStatus(m));
  EXPECT_EQ(m.TotalPhys, 24682384ull * 1024);
  EXPECT_EQ(m.AvailPhys, 6170596ull * 1024);
  EXPECT_EQ(m.MemoryLoad, 75u);
  EXPECT_EQ(m.TotalPageFile, 12341192ull * 1024);
  EXPECT_EQ(m.AvailPageFile, 10000000ull * 1024);
  EXPECT_GT(m.TotalVirtual, 1ull << 31);
  EXPECT_EQ(m.TotalVirtual - m.AvailVirtual, 1ull << 30);
}

TEST(LinuxSystemInfo, MissingOrBrokenValuesAreNotInvented) {
  FakeProc proc;
  LinuxSystemInfo info(proc.dir.path(), proc.dir.file("no-os-release"));
  MemoryStatus m;
  EXPECT_FALSE(info.ReadMemoryStatus(m)); // no meminfo at all
  proc.Write("meminfo", "MemTotal: kB\nMemAvailable: 5 kB\n");
  EXPECT_FALSE(info.ReadMemoryStatus(m));
  proc.Write("meminfo", "MemTotal: 0 kB\nMemAvailable: 0 kB\n");
  EXPECT_FALSE(info.ReadMemoryStatus(m));
  proc.Write("meminfo", "MemTotal: 100 kB\nMemFree: 40 kB\n"); // old kernels: no MemAvailable
  ASSERT_TRUE(info.ReadMemoryStatus(m));
  EXPECT_EQ(m.MemoryLoad, 60u);
  EXPECT_EQ(m.TotalPageFile, 0u);

  // No cpuinfo: no processor speed, no vendor; the processor block still has what uname gives.
  EXPECT_FALSE(info.ReadMachineValue(kCentralProcessorKey, "~MHz"));
  EXPECT_FALSE(info.ReadMachineValue(kCentralProcessorKey, "VendorIdentifier"));
  proc.Write("cpuinfo", "cpu MHz\t: \nvendor_id\t:\n");
  EXPECT_FALSE(info.ReadMachineValue(kCentralProcessorKey, "~MHz"));
  EXPECT_FALSE(info.ReadMachineValue(kCentralProcessorKey, "VendorIdentifier"));
  ProcessorInfo p;
  ASSERT_TRUE(info.ReadProcessorInfo(p));
  EXPECT_EQ(p.ProcessorRevision, 0);
  EXPECT_GE(p.NumberOfProcessors, 1u);
}

TEST(LinuxSystemInfo, ProcessorFiguresFromCpuinfo) {
  FakeProc proc;
  proc.Write("cpuinfo", kCpuinfo);
  proc.Write("sys/vm/mmap_min_addr", "65536\n");
  LinuxSystemInfo info(proc.dir.path());
  auto mhz = info.ReadMachineValue("HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", "~mhz");
  ASSERT_TRUE(mhz);
  EXPECT_EQ(mhz->Kind, MachineValue::Type::Number);
  EXPECT_EQ(mhz->Number, 2611u);
  auto vendor = info.ReadMachineValue(kCentralProcessorKey, "VendorIdentifier");
  ASSERT_TRUE(vendor);
  EXPECT_EQ(vendor->Text, "GenuineIntel");
  EXPECT_FALSE(info.ReadMachineValue(kProductOptionsKey, "ProductSuite"));
  ProcessorInfo p;
  ASSERT_TRUE(info.ReadProcessorInfo(p));
  EXPECT_EQ(p.ProcessorLevel, 6);
  EXPECT_EQ(p.ProcessorRevision, (167 << 8) | 1);
  EXPECT_EQ(p.MinimumApplicationAddress, 65536u);
  EXPECT_GT(p.MaximumApplicationAddress, p.MinimumApplicationAddress);
  EXPECT_GT(p.PageSize, 0u);
  EXPECT_NE(p.ActiveProcessorMask, 0u);
#if defined(__x86_64__)
  EXPECT_EQ(p.Architecture, 9u);
  EXPECT_EQ(p.MaximumApplicationAddress, 0x7FFFFFFFEFFFull);
#endif
}

TEST(LinuxSystemInfo, OsVersionFromUnameAndOsRelease) {
  FakeProc proc;
  proc.Write("os-release", "NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n");
  LinuxSystemInfo info(proc.dir.path(), proc.dir.file("os-release"));
  OsVersion v;
  ASSERT_TRUE(info.ReadOsVersion(v));
  EXPECT_EQ(v.OsName, "Debian GNU/Linux 12 (bookworm)");
  EXPECT_EQ(v.PlatformId, kPlatformIdLinux);
  EXPECT_EQ(v.PlatformName.rfind("Linux ", 0), 0u);
  EXPECT_GE(v.Major, 2u);
  LinuxSystemInfo bare(proc.dir.path(), proc.dir.file("none"));
  ASSERT_TRUE(bare.ReadOsVersion(v));
  EXPECT_EQ(v.OsName, "Linux");
  // A file without end is read only so far, and holds no name.
  LinuxSystemInfo endless(proc.dir.path(), "/dev/zero");
  ASSERT_TRUE(endless.ReadOsVersion(v));
  EXPECT_EQ(v.OsName, "Linux");
}

TEST(LinuxSystemInfo, ThisMachine) {
  LinuxSystemInfo info;
  DiskSpace d;
  ASSERT_TRUE(info.ReadDiskSpace("", d));
  EXPECT_GT(d.TotalToUser, 0u);
  EXPECT_LE(d.FreeToUser, d.TotalFree);
  EXPECT_FALSE(info.ReadDiskSpace("/no/such/folder", d));
  MemoryStatus m;
  ASSERT_TRUE(info.ReadMemoryStatus(m));
  EXPECT_GT(m.TotalPhys, 0u);
  EXPECT_LE(m.AvailPhys, m.TotalPhys);
  // The tick count and the counter move forward.
  uint64_t t0 = info.TickCount();
  EXPECT_TRUE(kvtest::WaitUntil([&] { return info.TickCount() > t0; }));
  EXPECT_EQ(info.PerformanceFrequency(), 1000000000);
  int64_t c0 = info.PerformanceCounter();
  EXPECT_TRUE(kvtest::WaitUntil([&] { return info.PerformanceCounter() > c0; }));
  if (info.HasTimeStampCounter()) {
    uint64_t s0 = info.ReadTimeStampCounter();
    EXPECT_TRUE(kvtest::WaitUntil([&] { return info.ReadTimeStampCounter() != s0; }));
  }
}

TEST(LinuxSystemInfo, TheHeapFiguresAreTheLiveBlocksOfEveryFormAndTheirBytes) {
  LinuxSystemInfo info;
  HeapStatus before, during, after;
  if (!KV_COUNTED_HEAP) {
    EXPECT_FALSE(info.ReadHeapStatus(before)) << "a sanitizer's operators serve this build";
    return;
  }
  // Single, array, nothrow and over-aligned blocks, freed sized and unsized.
  struct alignas(64) Wide {
    char c[64];
  };
  constexpr size_t kN = 25000;
  std::vector<std::unique_ptr<int>> singles;
  std::vector<std::unique_ptr<char[]>> arrays, nothrows;
  std::vector<std::unique_ptr<Wide>> wides;
  for (auto *v : {&arrays, &nothrows})
    v->reserve(kN);
  singles.reserve(kN);
  wides.reserve(kN);
  ASSERT_TRUE(info.ReadHeapStatus(before));
  for (size_t i = 0; i < kN; ++i) {
    singles.push_back(std::make_unique<int>(int(i)));
    arrays.emplace_back(new char[40]);
    nothrows.emplace_back(new (std::nothrow) char[40]);
    wides.push_back(std::make_unique<Wide>());
  }
  ASSERT_TRUE(info.ReadHeapStatus(during));
  EXPECT_EQ(during.Blocks, before.Blocks + 4 * kN);
  EXPECT_GE(during.Bytes, before.Bytes + kN * (sizeof(int) + 40 + 40 + 64));
  EXPECT_LE(during.Bytes, before.Bytes + kN * (24 + 40 + 40 + 64 + 3 * 16));
  singles.clear();
  arrays.clear();
  nothrows.clear();
  wides.clear();
  ASSERT_TRUE(info.ReadHeapStatus(after));
  EXPECT_EQ(after.Blocks, before.Blocks);
  EXPECT_EQ(after.Bytes, before.Bytes);

  // Blocks made on other threads and freed on this one.
  arrays.resize(kN);
  std::thread([&] {
    for (auto &block : arrays)
      block.reset(new char[40]);
  }).join();
  ASSERT_TRUE(info.ReadHeapStatus(during));
  EXPECT_EQ(during.Blocks, before.Blocks + kN);
  arrays.clear();
  ASSERT_TRUE(info.ReadHeapStatus(after));
  EXPECT_EQ(after.Blocks, before.Blocks);
  EXPECT_EQ(after.Bytes, before.Bytes);
}

// Each thread counts for itself: what a thread counted outlives it, a block comes off on whichever
// thread frees it, and so do blocks a thread makes or frees in its last moments (a key's
// destructor), while another thread reads the figures.
TEST(LinuxSystemInfo, TheHeapFiguresStayExactWhenThreadsFreeEachOthersBlocksAndEnd) {
  if (!KV_COUNTED_HEAP) GTEST_SKIP() << "a sanitizer's operators serve this build";
  constexpr int kThreads = 8, kRounds = 12, kN = 500;
  LinuxSystemInfo info;
  std::vector<std::vector<std::unique_ptr<char[]>>> made(kThreads);
  for (auto &blocks : made)
    blocks.reserve(kN);
  std::vector<std::unique_ptr<char[]>> last(kThreads);
  pthread_key_t at_end;
  ASSERT_EQ(
      pthread_key_create(
          &at_end, [](void *block) { static_cast<std::unique_ptr<char[]> *>(block)->reset(new char[200]); }),
      0);
  HeapStatus before, during, after;
  ASSERT_TRUE(info.ReadHeapStatus(before));
  std::atomic<bool> stop{false};
  std::thread reader([&] {
    HeapStatus any;
    while (!stop.load())
      info.ReadHeapStatus(any);
  });
  for (int round = 0; round < kRounds; ++round) {
    // Thread i frees what the last round's thread i + 1 made, then makes blocks that outlive it.
    std::atomic<int> freed{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
      threads.emplace_back([&, i] {
        made[(i + 1) % kThreads].clear();
        ++freed;
        while (freed.load() < kThreads)
          std::this_thread::yield();
        for (int n = 0; n < kN; ++n)
          made[i].emplace_back(new char[16 + n % 100]);
        pthread_setspecific(at_end, &last[i]);
      });
    for (auto &thread : threads)
      thread.join();
  }
  stop = true;
  reader.join();
  ASSERT_TRUE(info.ReadHeapStatus(during));
  for (auto &blocks : made)
    blocks.clear();
  last.clear();
  ASSERT_TRUE(info.ReadHeapStatus(after));
  pthread_key_delete(at_end);
  EXPECT_EQ(during.Blocks, before.Blocks + kThreads * (kN + 1));
  EXPECT_EQ(after.Blocks, before.Blocks);
  EXPECT_EQ(after.Bytes, before.Bytes);
}

// A child of fork has only the forking thread, so the figures' lock, which other threads take,
// must not be left held in it. A reader on another thread holds the lock nearly all the time, so
// among many forks some surely come while it holds it.
TEST(LinuxSystemInfo, AForkedChildReadsTheHeapFiguresWhileAnotherThreadReadsThem) {
  if (!KV_COUNTED_HEAP) GTEST_SKIP() << "a sanitizer's operators serve this build";
  LinuxSystemInfo info;
  std::atomic<bool> stop{false}, reading{false};
  std::thread reader([&] {
    HeapStatus any;
    while (!stop.load()) {
      info.ReadHeapStatus(any);
      reading = true;
    }
  });
  while (!reading.load())
    std::this_thread::yield();
  constexpr int kForks = 100;
  std::vector<pid_t> children;
  for (int i = 0; i < kForks; ++i) {
    const pid_t pid = fork();
    if (pid == 0) {
      HeapStatus now;
      _exit(info.ReadHeapStatus(now) && now.Blocks > 0 ? 0 : 1);
    }
    if (pid > 0) children.push_back(pid);
  }
  stop = true;
  reader.join();
  int ended = 0, failed = 0;
  kvtest::WaitUntil([&] {
    for (pid_t &pid : children) {
      int status = 0;
      if (pid > 0 && waitpid(pid, &status, WNOHANG) == pid) {
        failed += !WIFEXITED(status) || WEXITSTATUS(status) != 0;
        ++ended;
        pid = 0;
      }
    }
    return ended == static_cast<int>(children.size());
  });
  for (pid_t pid : children)
    if (pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  EXPECT_EQ(children.size(), size_t(kForks));
  EXPECT_EQ(ended, kForks) << "children hang on the lock";
  EXPECT_EQ(failed, 0);
}

TEST(LinuxSystemInfo, TheCurrentSourceCanBeReplaced) {
  LinuxSystemInfo other("/nonexistent");
  SystemInfo &machine = CurrentSystemInfo();
  SetCurrentSystemInfo(&other);
  EXPECT_EQ(&CurrentSystemInfo(), &other);
  SetCurrentSystemInfo(nullptr);
  EXPECT_EQ(&CurrentSystemInfo(), &machine);
}
