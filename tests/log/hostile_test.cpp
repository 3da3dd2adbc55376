// The logger against hostile tags and fill characters, a file-size limit, and other writers.
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
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

namespace {

// What can be seen of a folder entry: kind, mode, owner, links, and its text or link target.
std::string Look(const std::string &name) {
  struct stat st {};
  if (lstat(name.c_str(), &st) != 0) return "(none)";
  std::string seen = "mode " + std::to_string(st.st_mode) + " uid " + std::to_string(st.st_uid) + " links " +
                     std::to_string(st.st_nlink);
  if (S_ISREG(st.st_mode)) seen += " text '" + kvtest::ReadFile(name) + "'";
  char target[4096];
  const ssize_t n = S_ISLNK(st.st_mode) ? readlink(name.c_str(), target, sizeof target) : 0;
  if (n > 0) seen += " to " + std::string(target, size_t(n));
  return seen;
}

enum class Planted { Fifo, Symlink, HardLink, OthersFile };

struct HostileCase {
  std::string place;    // the name something is planted at
  int count;            // numbered logs kept
  std::string expected; // the log the run writes: a name, or a start followed by six characters
};

// Plants `kind` at the case's place of a fresh 1777 folder, beside an earlier numbered log, runs
// the logger there as `runner`, and checks the run and what it left.
void RunBesidePlanted(const HostileCase &c, Planted kind, uid_t runner) {
  const uid_t other = runner == 0 ? 65534 : 1;
  kvtest::TempDir dir;
  const std::string logs = dir.file("logs"), victim = dir.file("victim");
  ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
  ASSERT_EQ(mkdir(logs.c_str(), 0777), 0);
  ASSERT_EQ(chmod(logs.c_str(), 01777), 0);
  // A file of the run's user: its second name must not make it the log.
  kvtest::WriteFile(victim, "victim", 0644);
  ASSERT_EQ(chown(victim.c_str(), runner, runner), 0);
  const std::string oldest = logs + "/korvanlog.001";
  kvtest::WriteFile(oldest, "an earlier run", 0644);
  ASSERT_EQ(chown(oldest.c_str(), runner, runner), 0);
  // The next numbered name is taken, so that a run falls back.
  if (c.place == "korvanlog.~og") {
    ASSERT_EQ(mkdir((logs + "/korvanlog.002").c_str(), 0755), 0);
  }

  const std::string at = logs + "/" + c.place;
  int held = -1; // a FIFO's other end, held open so that what reaches it can be seen
  if (kind == Planted::Fifo) {
    ASSERT_EQ(mkfifo(at.c_str(), 0644), 0);
    if (c.place != ".korvanlog.lock") held = open(at.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  } else if (kind == Planted::Symlink) {
    ASSERT_EQ(symlink(victim.c_str(), at.c_str()), 0);
  } else if (kind == Planted::HardLink) {
    ASSERT_EQ(link(victim.c_str(), at.c_str()), 0);
  } else {
    kvtest::WriteFile(at, "theirs", 0666);
  }
  if (kind == Planted::Fifo || kind == Planted::OthersFile) {
    ASSERT_EQ(lchown(at.c_str(), other, other), 0);
  }
  const std::string planted = Look(at), victim_was = Look(victim);

  const std::string gate = dir.file("gate"), out = dir.file("out");
  kvtest::WriteFile(gate, "");
  kvtest::ChildProcess run;
  ASSERT_TRUE(
      run.Start({KV_LOGGING_RUN, logs, std::to_string(c.count), "x", gate, std::to_string(runner)}, out));
  const int status = run.Wait(std::chrono::seconds(8));
  EXPECT_EQ(Look(at), planted);
  EXPECT_EQ(Look(victim), victim_was);
  char got[16];
  EXPECT_TRUE(held < 0 || read(held, got, sizeof got) < 0) << "the log went into the planted FIFO";
  if (held >= 0) close(held);
  ASSERT_TRUE(WIFEXITED(status)) << "the run did not end: " << kvtest::ReadFile(out);
  EXPECT_EQ(WEXITSTATUS(status), 0) << kvtest::ReadFile(out);

  // The log is a file of the run's user, with one name.
  const std::string said = kvtest::ReadFile(out), prefix = "opened " + logs + "/";
  ASSERT_EQ(said.rfind(prefix, 0), 0u) << said;
  const std::string name = said.substr(prefix.size(), said.size() - prefix.size() - 1);
  // Another user's numbered log is one of the folder's logs like any other.
  const bool numbered = kind == Planted::OthersFile && c.place == "korvanlog.002";
  const std::string expected = numbered ? "korvanlog.003" : c.expected;
  if (expected.back() == '-')
    EXPECT_TRUE(name.size() == expected.size() + 6 && name.rfind(expected, 0) == 0) << name;
  else
    EXPECT_EQ(name, expected);
  struct stat st {};
  ASSERT_EQ(lstat((logs + "/" + name).c_str(), &st), 0);
  ASSERT_TRUE(S_ISREG(st.st_mode) && st.st_nlink == 1 && st.st_uid == runner) << Look(logs + "/" + name);
  EXPECT_NE(kvtest::ReadFile(logs + "/" + name).find("run x line 5"), std::string::npos);
}

} // namespace

// Another user planted a FIFO, a symbolic link, a second name of a file of the run's user, or a
// file of their own at one of the names a run of the logger opens: the folder's lock file, the
// next numbered log, the fallback log, the plain log. A run (root's, and one of another user)
// ends in seconds, leaves what was planted as it was, and writes its log into a file of its own.
TEST(LogHostile, NothingPlantedInASharedLogFolderHangsARunOrGetsItsLog) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to plant other users' files and run as another user";
  const std::vector<HostileCase> cases = {
      {".korvanlog.lock", 3, "korvanlog.002"},
      {"korvanlog.002", 3, "korvanlog.~og"},
      {"korvanlog.~og", 3, "korvanlog.~og-"},
      {"korvanlog.log", 0, "korvanlog.~og"},
  };
  for (const uid_t runner : {uid_t(0), uid_t(65534)})
    for (const HostileCase &c : cases)
      for (const Planted kind : {Planted::Fifo, Planted::Symlink, Planted::HardLink, Planted::OthersFile}) {
        SCOPED_TRACE("run as " + std::to_string(runner) + ", " + c.place + " planted as " +
                     std::to_string(int(kind)));
        RunBesidePlanted(c, kind, runner);
      }
}

// In a folder the run may not write, the plain log there, another user's file that the run could
// write, is not the run's: the run goes on without a log, and the file stays as it was.
TEST(LogHostile, AnotherUsersPlainLogInAFolderThatIsNotOursGivesNoLog) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run as another user";
  kvtest::TempDir dir;
  ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
  const std::string theirs = dir.file("korvanlog.log");
  kvtest::WriteFile(theirs, "root's log", 0666);
  const std::string before = Look(theirs);
  kvtest::WriteFile(dir.file("gate"), "");
  kvtest::ChildProcess run;
  ASSERT_TRUE(run.Start({KV_LOGGING_RUN, dir.path(), "0", "x", dir.file("gate"), "65534"}, dir.file("out")));
  const int status = run.Wait(std::chrono::seconds(8));
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 2) << kvtest::ReadFile(dir.file("out"));
  EXPECT_EQ(Look(theirs), before);
}

// A plain log of the run's own that cannot be opened (append-only) is an error, not a refusal:
// the run gets no log, and no fallback log is made.
TEST(LogHostile, AnOwnPlainLogThatCannotBeOpenedIsAnErrorNotARefusal) {
  kvtest::TempDir dir;
  const std::string kept = dir.file("korvanlog.log");
  kvtest::WriteFile(kept, "kept");
  if (!kvtest::SetAppendOnly(kept, true)) GTEST_SKIP() << "no append-only files here (it takes root)";
  TFLFileDef def;
  def.SetPath(dir.path());
  def.BaseName = "korvanlog";
  EXPECT_LT(def.CreateLogFile(), 0);
  EXPECT_EQ(errno, EPERM);
  kvtest::SetAppendOnly(kept, false);
  EXPECT_EQ(kvtest::ReadFile(kept), "kept");
  EXPECT_FALSE(std::filesystem::exists(dir.file("korvanlog.~og")));
}
