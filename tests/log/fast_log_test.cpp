#include "log/fast_log.h"

#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "fake_sysinfo.h"
#include "test_support.h"

using namespace kv::logging;
using namespace std::chrono_literals;

namespace {

// The file's lines, split at CR LF; fails the test on a line end that is not CR LF.
std::vector<std::string> CrLfLines(const std::string &bytes) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find("\r\n", start);
    EXPECT_NE(end, std::string::npos) << "last line without CR LF";
    if (end == std::string::npos) break;
    std::string line = bytes.substr(start, end - start);
    EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << "stray line break in: " << line;
    lines.push_back(line);
    start = end + 2;
  }
  return lines;
}

void PointAt(TFastLog &log, const std::string &dir, int count = 0) {
  log.SetTurnPause(1ms);
  log.Writer().FileDef().SetPath(dir);
  log.Writer().FileDef().SetBackupCount(count);
  log.Writer().FileDef().BaseName = "korvanlog";
}

// A system whose heap figures are held up until released: a parser turn that does not end.
class HeldHeap : public kvtest::FakeSystemInfo {
public:
  std::atomic<bool> held{false}, release{false};
  bool ReadHeapStatus(kv::platform::HeapStatus &out) override {
    held = true;
    kvtest::WaitUntil([&] { return release.load(); }, 60s);
    return FakeSystemInfo::ReadHeapStatus(out);
  }
};

// A thread whose turns fail on request.
class Failing : public TFastLogThread {
public:
  Failing() : TFastLogThread("test") {}
  ~Failing() override { Shutdown(); }
  std::atomic<int> handled{0};

protected:
  void HandleMessage(ThreadMessage &msg) override {
    if (msg.Message == 999) throw std::runtime_error("broken turn");
    ++handled;
  }
};

} // namespace

TEST(FastLog, FourThreadsLoseNoLineAndKeepTheirOrder) {
  kvtest::TempDir dir;
  {
    TFastLog log;
    PointAt(log, dir.path(), 3);
    ASSERT_TRUE(log.StartLogging());
    EXPECT_TRUE(log.Started());
    log.AddStrings(log.Header());
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
      threads.emplace_back([&log, t] {
        for (int i = 0; i < 25; ++i)
          log.Add("thread " + std::to_string(t) + " line " + std::to_string(i));
      });
    for (auto &th : threads)
      th.join();
    log.AddStrings(log.Footer());
  } // destruction drains both queues
  std::vector<std::string> lines = CrLfLines(kvtest::ReadFile(dir.file("korvanlog.001")));
  ASSERT_EQ(lines.size(), 6u + 100u + 4u);
  EXPECT_EQ(lines[1], std::string(80, '*'));
  EXPECT_EQ(lines[2].rfind(">>>> Start log_tests  v ", 0), 0u);
  EXPECT_EQ(lines[2].size(), 80u);
  std::vector<int> next(4, 0);
  for (size_t k = 6; k < 106; ++k) {
    int t = -1, i = -1;
    ASSERT_EQ(sscanf(lines[k].c_str(), "thread %d line %d", &t, &i), 2) << lines[k];
    ASSERT_TRUE(t >= 0 && t < 4);
    EXPECT_EQ(i, next[t]++) << "thread " << t << " out of order";
  }
  EXPECT_EQ(next, (std::vector<int>{25, 25, 25, 25}));
  EXPECT_EQ(lines[107].rfind("<<<< Stop  log_tests", 0), 0u);
  EXPECT_EQ(lines[108], std::string(80, '*'));
  EXPECT_EQ(lines[109], "");
}

TEST(FastLog, LinesAddedBeforeTheStartAreDroppedAndANeverStartedLogTouchesNoFile) {
  kvtest::TempDir dir;
  {
    TFastLog log;
    PointAt(log, dir.path());
    log.Add("too early");
    log.AddStrings(log.Footer());
    EXPECT_EQ(log.Parser().Pending(), 0u);
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
  {
    TFastLog log;
    PointAt(log, dir.path());
    log.Add("too early");
    ASSERT_TRUE(log.StartLogging());
    log.Add("");
    log.Add("first");
  }
  EXPECT_EQ(kvtest::ReadFile(dir.file("korvanlog.log")), "\r\nfirst\r\n");
}

TEST(FastLog, StartOnAnUnwritableDirectoryIsReported) {
  kvtest::TempDir dir;
  kvtest::WriteFile(dir.file("file"), "x");
  TFastLog log;
  PointAt(log, dir.file("file/logs"));
  EXPECT_FALSE(log.StartLogging());
  EXPECT_TRUE(log.Started());
  EXPECT_FALSE(log.Writer().Alive());
  log.Add("goes nowhere");
  EXPECT_FALSE(log.StartLogging()); // a second start resumes nothing and reports the same
}

TEST(FastLog, SecondStartResumesNothing) {
  kvtest::TempDir dir;
  TFastLog log;
  PointAt(log, dir.path(), 5);
  ASSERT_TRUE(log.StartLogging());
  ASSERT_TRUE(log.StartLogging());
  log.Add("x");
  std::vector<std::string> names;
  for (auto &e : std::filesystem::directory_iterator(dir.path()))
    if (e.path().filename() != ".korvanlog.lock") names.push_back(e.path().filename());
  EXPECT_EQ(names, std::vector<std::string>{"korvanlog.001"});
}

TEST(FastLog, WithTheRealPacingEveryLineIsWrittenBeforeTheEnd) {
  kvtest::TempDir dir;
  const auto start = std::chrono::steady_clock::now();
  {
    TFastLog log;
    log.Writer().FileDef().SetPath(dir.path());
    log.Writer().FileDef().BaseName = "korvanlog";
    ASSERT_TRUE(log.StartLogging());
    for (int i = 1; i <= 23; ++i)
      log.Add("line " + std::to_string(i));
  }
  const int64_t elapsed = kvtest::ElapsedMs(start);
  std::vector<std::string> lines = CrLfLines(kvtest::ReadFile(dir.file("korvanlog.log")));
  ASSERT_EQ(lines.size(), 23u);
  for (int i = 1; i <= 23; ++i)
    EXPECT_EQ(lines[i - 1], "line " + std::to_string(i));
  // One message per 50 ms turn: the 23 requests need at least 23 turns of the parser.
  EXPECT_GE(elapsed, 23 * kTurnPause.count());
}

TEST(FastLog, PlainTextAndControlRequestsThroughTheQueue) {
  kvtest::TempDir dir;
  {
    TFastLog log;
    PointAt(log, dir.path());
    ASSERT_TRUE(log.StartLogging());
    TFastLogParser &p = log.Parser();
    p.SetPendingLineNumbers({true, 3, 1});
    p.Post(WM_FL_CONTROL, hcApplyNumbering, 0);
    p.Post(WM_FL_PARSE, hrPlainText, 0, std::make_unique<TFLStringMsg>("plain {dte}"));
    p.Post(WM_FL_PARSE, hrBlankLines, 2);
    p.Post(WM_FL_CONTROL, hcPushHeapSnapshot, 0, std::make_unique<TFLSnapshotMsg>(THeapMRec{1, 2, 0, "!"}));
    p.Post(WM_FL_PARSE, hrTaggedText, 0, std::make_unique<TFLStringMsg>("{Heap---}"));
    p.Post(WM_FL_CONTROL, hcRulerWidth, 10);
    p.Post(WM_FL_PARSE, hrTaggedText, 0, std::make_unique<TFLStringMsg>("{Ruler}"));
    p.Post(WM_FL_PARSE, 77, 0, std::make_unique<TFLStringMsg>("unknown kind"));
    p.Post(4711, 0, 0);
    auto request = std::make_unique<TFLErrorRequest>();
    request->Code = 5;
    p.Post(WM_FL_PARSE, hrErrorBlock, 0, std::move(request));
  }
  std::vector<std::string> lines = CrLfLines(kvtest::ReadFile(dir.file("korvanlog.log")));
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[0], "  1 plain {dte}");
  EXPECT_EQ(lines[1], "  2 ");
  EXPECT_EQ(lines[3], "  4 (1, 2!)");
  EXPECT_EQ(lines[4], "  5 ....|....|");
  EXPECT_EQ(lines[5], "  6 ");
  EXPECT_EQ(lines[6], "  7 •••    E R R O R    ••• (5) ");
}

TEST(FastLog, AFailedTurnEndsTheThreadAndShutdownDoesNotHang) {
  Failing t;
  t.SetTurnPause(1ms);
  EXPECT_TRUE(t.Alive());
  EXPECT_FALSE(t.Post(1, 0)); // suspended: refused
  t.Resume();
  EXPECT_TRUE(t.Post(1, 0));
  EXPECT_TRUE(t.Post(999, 0));
  ASSERT_TRUE(kvtest::WaitUntil([&] { return !t.Alive(); }));
  EXPECT_EQ(t.handled, 1);
  EXPECT_FALSE(t.Post(1, 0));
  t.Shutdown();
}

TEST(FastLog, GlobalLogIsCreatedAndDestroyedExplicitly) {
  EXPECT_EQ(GlobalLog(), nullptr);
  {
    GlobalLogScope scope;
    ASSERT_NE(GlobalLog(), nullptr);
    TFastLog *first = GlobalLog();
    CreateGlobalLog();
    EXPECT_EQ(GlobalLog(), first);
    GlobalLog()->Add("dropped: not started");
  }
  EXPECT_EQ(GlobalLog(), nullptr);
  DestroyGlobalLog(); // harmless twice
}

// The plain log is a FIFO the user put there, which nobody reads and which is full: the end of
// the run gives the writer up once it has written nothing for the stall limit, while the run's
// lines still queue. A reader that comes later lets the same logger finish every line.
TEST(FastLog, AWriteThatNeverReturnsIsGivenUpAtTheEndAndALateReaderLetsItFinish) {
  kvtest::TempDir dir;
  const std::string fifo = dir.file("korvanlog.log");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const int held = open(fifo.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(held, 0);
  const std::string block(4096, 'x');
  size_t filled = 0;
  for (ssize_t n; (n = write(held, block.data(), block.size())) > 0;)
    filled += size_t(n);
  TFastLog log;
  PointAt(log, dir.path());
  ASSERT_TRUE(log.StartLogging());
  for (int i = 1; i <= 5; ++i)
    log.Add("line " + std::to_string(i));
  EXPECT_FALSE(log.Finish(300ms));
  EXPECT_EQ(log.Stalled().part, TLogStall::Write);
  EXPECT_TRUE(log.Writer().Alive());

  std::string read_back;
  std::atomic<bool> done{false};
  std::thread reader([&] {
    char buf[4096];
    for (;;) {
      // Once the writer has ended, what it wrote last may still wait in the pipe: read it all.
      const bool writer_ended = done.load();
      if (const ssize_t n = read(held, buf, sizeof buf); n > 0)
        read_back.append(buf, size_t(n));
      else if (writer_ended)
        break;
      else
        std::this_thread::sleep_for(1ms);
    }
  });
  const bool finished = log.Finish(10s);
  done = true;
  reader.join();
  close(held);
  EXPECT_TRUE(finished);
  EXPECT_FALSE(log.Writer().Alive());
  ASSERT_GE(read_back.size(), filled);
  EXPECT_EQ(read_back.substr(filled), "line 1\r\nline 2\r\nline 3\r\nline 4\r\nline 5\r\n");
}

// Asked to stop, the run waits neither the ten seconds for a folder lock another run holds nor
// the turns' pauses for what is queued: 200 lines at 50 ms a turn would take ten seconds.
TEST(FastLog, AStopRequestEndsTheWaitForTheFolderLockAndDrainsWithoutPauses) {
  kvtest::TempDir dir;
  kvtest::WriteFile(dir.file(".korvanlog.lock"), "");
  const int other_run = open(dir.file(".korvanlog.lock").c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_EQ(flock(other_run, LOCK_EX), 0);
  std::atomic<bool> stop{true};
  const auto start = std::chrono::steady_clock::now();
  {
    TFastLog log;
    log.Writer().FileDef().SetPath(dir.path());
    log.Writer().FileDef().SetBackupCount(2);
    log.Writer().FileDef().BaseName = "korvanlog";
    log.SetStopSource(&stop);
    ASSERT_TRUE(log.StartLogging());
    for (int i = 1; i <= 200; ++i)
      log.Add("line " + std::to_string(i));
    EXPECT_TRUE(log.Finish());
  }
  EXPECT_LT(kvtest::ElapsedMs(start), 10000);
  close(other_run);
  const std::vector<std::string> lines = CrLfLines(kvtest::ReadFile(dir.file("korvanlog.001")));
  ASSERT_EQ(lines.size(), 200u);
  EXPECT_EQ(lines.back(), "line 200");
}

// A writer held in opening the file (a hung disk; played by the hook) keeps StartLogging only a
// moment once the stop request is raised.
TEST(FastLog, AStopRequestEndsTheWaitForAWriterHeldInTheOpen) {
  kvtest::TempDir dir;
  std::atomic<bool> stop{false}, held{false}, release{false};
  TFastLog log;
  PointAt(log, dir.path(), 2);
  log.SetStopSource(&stop);
  log.Writer().FileDef().OnNewLogNamed = [&] {
    held = true;
    kvtest::WaitUntil([&] { return release.load(); }, 15s);
  };
  std::thread stopper([&] {
    kvtest::WaitUntil([&] { return held.load(); });
    stop = true;
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(log.StartLogging());
  EXPECT_LT(kvtest::ElapsedMs(start), 15000);
  stopper.join();
  release = true;
}

// The end of a run is bounded in whole, and says which part held it up: the parser, or closing
// the log and tidying its folder, which get the folder lock's wait and the stall limit in all
// (played by hooks that hold them until released).
TEST(FastLog, TheEndOfARunGivesUpAStalledParserOrAHungCloseAndSaysWhich) {
  {
    kvtest::TempDir dir;
    HeldHeap system;
    TFastLog log(&system);
    PointAt(log, dir.path());
    ASSERT_TRUE(log.StartLogging());
    log.Add("{Heap-}");
    ASSERT_TRUE(kvtest::WaitUntil([&] { return system.held.load(); }));
    EXPECT_FALSE(log.Finish(300ms));
    EXPECT_EQ(log.Stalled().part, TLogStall::Parser);
    EXPECT_EQ(log.Stalled().limit, 300ms);
    system.release = true;
  }
  kvtest::TempDir dir;
  std::atomic<bool> release{false};
  TFastLog log;
  PointAt(log, dir.path(), 2);
  log.Writer().FileDef().FolderLockWait = 200ms;
  log.Writer().FileDef().OnClosing = [&] { kvtest::WaitUntil([&] { return release.load(); }, 60s); };
  ASSERT_TRUE(log.StartLogging());
  log.Add("line");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(log.Finish(2s)); // the loops do not stall for that long on a loaded machine
  EXPECT_LT(kvtest::ElapsedMs(start), 30000);
  EXPECT_EQ(log.Stalled().part, TLogStall::Close);
  EXPECT_EQ(log.Stalled().limit, 2200ms);
  release = true;
  EXPECT_TRUE(log.Finish(10s));
  EXPECT_EQ(CrLfLines(kvtest::ReadFile(dir.file("korvanlog.001"))), std::vector<std::string>{"line"});
}
