#include "log/fast_log.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>

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
