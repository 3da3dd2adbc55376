// The logger against hostile tags and fill characters, a file-size limit, and other writers.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "fake_sysinfo.h"
#include "log/const_array.h"
#include "log/fast_log.h"
#include "log/file_def.h"
#include "log/parser.h"
#include "log/text_util.h"
#include "platform/sysinfo.h"
#include "test_support.h"

using namespace kv::logging;
using namespace std::chrono_literals;

namespace {

size_t Bytes(const Lines &lines) {
  size_t n = 0;
  for (const auto &l : lines)
    n += l.size();
  return n;
}

size_t Count(const std::string &text, const std::string &part) {
  size_t n = 0;
  for (size_t p = text.find(part); p != std::string::npos; p = text.find(part, p + 1))
    ++n;
  return n;
}

} // namespace

TEST(LogHostile, ABrokenUtf8ByteIsACharacterOfItsOwnAndNoCharacterIsLongerThanFourBytes) {
  EXPECT_EQ(Utf8Length("\x80"), 1u);
  EXPECT_EQ(Utf8Length("a\xC3\xA4\x80\xE2\x82"), 5u); // a, ä, stray, cut three-byte character
  EXPECT_EQ(Utf8Last("ab\xC3"), "\xC3");
  EXPECT_EQ(Utf8Last("a\xC3\xA4"), "\xC3\xA4");
  EXPECT_EQ(Utf8Last("x\xC3" + std::string(4000, '\x80')), "\x80");
  EXPECT_EQ(Utf8Offset("\x80\x80z", 2), 2u);
  EXPECT_EQ(Utf8Take("\xF0\x9F\x98\x80!", 1), "\xF0\x9F\x98\x80");

  // A 4 KB fill "character" once widened a line to 40 MB.
  kvtest::FakeSystemInfo info;
  TFastLogParser parser(&info);
  const std::string tag = "{*10000\xC3" + std::string(4000, '\x80') + "}";
  for (const std::string &text : {tag, "abc" + tag + tag, "{@10000@}" + std::string(4000, '\x80')}) {
    const Lines lines = parser.ParseText(text);
    EXPECT_LE(Bytes(lines), text.size() + 2 * static_cast<size_t>(kMaxLayoutBytes));
  }
}

// Run in a child with two seconds: the old fill loop never ended (the fill line's length in
// characters was 0) and grew until memory ran out.
[[noreturn]] void FillWithAStrayByte() {
  alarm(2);
  TFLErrorSettings s;
  s.SetErrorFillChar("\x80");
  s.SetErrorTitle("abc");
  const bool ended = s.FillLine == "\x80\x80\x80" && s.LongFillLine.size() >= 80;
  // Only the first character of a longer text is the fill character.
  s.SetErrorFillChar("\xE2\x80\xA2 and more");
  std::exit(ended && s.FillChar == "\xE2\x80\xA2" && s.FillLine.size() == 9 ? 0 : 3);
}

TEST(LogHostile, AFillCharacterWithoutACodePointStillEndsTheErrorTitle) {
  EXPECT_EXIT(FillWithAStrayByte(), testing::ExitedWithCode(0), "");
}

TEST(LogHostile, AReportThatCannotBeHadGivesItsMarkerAndTheTextStays) {
  // A failed live reading is the report's failure marker, not zeros.
  kvtest::FakeSystemInfo info;
  info.heap_ok = false;
  info.memory_ok = false;
  TFastLogParser parser(&info);
  EXPECT_EQ(parser.ParseText("a {Heap-} b"), Lines{"a #FLHeap b"});
  EXPECT_EQ(parser.ParseText("{Ram--}"), Lines{"#FLRam"});
  EXPECT_EQ(parser.ParseText("{Heap}"), Lines{"#FLHeap"});
  // A report that cannot be had at all: the text stays, "#FLMem" follows.
  info.throw_on_heap = true;
  EXPECT_EQ(parser.ParseText("a {Heap-} b"), Lines{"a  b#FLMem"});
}

// The system's own figures reach the report line (how they are counted is the system
// information's test): the live blocks, or the marker where a sanitizer's operators serve.
TEST(LogHostile, TheHeapReportShowsTheAllocatorsLiveFigures) {
  kv::platform::LinuxSystemInfo info;
  TFastLogParser parser(&info);
  kv::platform::HeapStatus now;
  const bool counted = info.ReadHeapStatus(now);
  const Lines report = parser.ParseText("{Heap-}");
  if (!counted) {
    EXPECT_EQ(report, Lines{"#FLHeap"});
    return;
  }
  ASSERT_EQ(report.size(), 1u);
  unsigned long long blocks = 0, bytes = 0;
  ASSERT_EQ(std::sscanf(report[0].c_str(), "[Heap monitor] : Blocks=%llu, Bytes=%llu ;", &blocks, &bytes), 2)
      << report[0];
  EXPECT_NEAR(double(blocks), double(now.Blocks), 100.0); // the parse's own few blocks aside
  EXPECT_GT(bytes, 0u);
}

TEST(LogHostile, AFileSizeLimitEndsTheLogButNotTheProgramAndIsSaidOnce) {
  kvtest::TempDir dir;
  const std::string err_file = dir.file("stderr.txt");
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const int fd = open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, 2);
    signal(SIGXFSZ, SIG_DFL); // as a program started from cron has it
    rlimit limit{4096, 4096};
    setrlimit(RLIMIT_FSIZE, &limit);
    {
      TFastLog log;
      log.SetTurnPause(0ms);
      log.Writer().FileDef().SetPath(dir.path());
      log.Writer().FileDef().BaseName = "korvanlog";
      if (!log.StartLogging()) _exit(4);
      log.AddStrings(log.Header());
      for (int i = 0; i < 200; ++i)
        log.Add("line " + std::to_string(i) + std::string(60, '.'));
      log.AddStrings(log.Footer());
    }
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  const std::string said = kvtest::ReadFile(err_file);
  EXPECT_EQ(Count(said, "Protokolldatei"), 1u) << said;
  EXPECT_NE(said.find("Größenbegrenzung"), std::string::npos) << said;
  EXPECT_NE(said.find(dir.file("korvanlog.log")), std::string::npos) << said;
}

TEST(LogHostile, ANewNumberedLogNeverTakesOverAFileThatAppearedAfterTheRotation) {
  kvtest::TempDir dir;
  TFLFileDef def;
  def.SetPath(dir.path());
  def.BaseName = "korvanlog";
  def.SetBackupCount(3);
  ASSERT_EQ(def.GetFileName(), dir.file("korvanlog.001"));
  // Another instance creates the chosen name between the rotation and the creation.
  kvtest::WriteFile(dir.file("korvanlog.001"), "the other run's log");
  const int fd = def.CreateLogFile();
  ASSERT_GE(fd, 0);
  close(fd);
  EXPECT_EQ(kvtest::ReadFile(dir.file("korvanlog.001")), "the other run's log");
  EXPECT_EQ(def.FullName(), dir.file("korvanlog.~og"));
}
