#include "log/writer.h"

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <sys/resource.h>
#include <sys/wait.h>

#include "platform/system.h"
#include "test_support.h"

using namespace kv::logging;

namespace {

struct Other : kv::platform::MessageObject {
  explicit Other(bool *freed) : freed(freed) {}
  ~Other() override { *freed = true; }
  bool *freed;
};

// A writer for <path>/korvanlog with short turns.
void Configure(TFastLogWriter &w, const std::string &path, int count = 0) {
  w.SetTurnPause(std::chrono::milliseconds(1));
  w.FileDef().SetPath(path);
  w.FileDef().BaseName = "korvanlog";
  w.FileDef().SetBackupCount(count);
}

} // namespace

TEST(Writer, WritesTextsAsGivenAndLinesWithCrLfInOrder) {
  kvtest::TempDir dir;
  TFastLogWriter w;
  Configure(w, dir.path());
  w.Resume();
  ASSERT_TRUE(w.WaitUntilOpen());
  bool freed = false;
  EXPECT_TRUE(w.Post(WM_FL_WRITE_TEXT, 0, 0, std::make_unique<TFLStringMsg>("first")));
  EXPECT_TRUE(w.Post(WM_FL_WRITE_LINES, 0, 0,
                     std::make_unique<TFLStrings>(std::vector<std::string>{"a", "", "Grüße •"})));
  EXPECT_TRUE(w.Post(WM_FL_WRITE_TEXT, 0, 0, std::make_unique<TFLStringMsg>("bare LF\n")));
  EXPECT_TRUE(w.Post(WM_FL_CONTROL, 0, 0, std::make_unique<Other>(&freed))); // not for the writer: ignored
  EXPECT_TRUE(w.Post(WM_FL_WRITE_TEXT, 0, 0, std::make_unique<TFLStringMsg>("")));
  w.Shutdown();
  EXPECT_TRUE(freed);
  EXPECT_FALSE(w.Alive());
  EXPECT_EQ(kvtest::ReadFile(dir.file("korvanlog.log")), "first\r\na\r\n\r\nGrüße •\r\nbare LF\n\r\n");
  // Nothing is accepted after the end.
  EXPECT_FALSE(w.Post(WM_FL_WRITE_TEXT, 0, 0, std::make_unique<TFLStringMsg>("late")));
}

TEST(Writer, MessagesPostedBeforeTheFileOpensAreWritten) {
  kvtest::TempDir dir;
  TFastLogWriter w;
  Configure(w, dir.path(), 2);
  // Refused while suspended, accepted once the queue is open even before the thread runs.
  EXPECT_FALSE(w.Post(WM_FL_WRITE_TEXT, 0, 0, std::make_unique<TFLStringMsg>("dropped")));
  w.OpenQueue();
  EXPECT_TRUE(w.Post(WM_FL_WRITE_TEXT, 0, 0, std::make_unique<TFLStringMsg>("early")));
  w.Resume();
  EXPECT_TRUE(w.WaitUntilOpen());
  w.Shutdown();
  EXPECT_EQ(kvtest::ReadFile(dir.file("korvanlog.001")), "early\r\n");
}

TEST(Writer, AFileThatCannotBeCreatedEndsTheThread) {
  kvtest::TempDir dir;
  kvtest::WriteFile(dir.file("plain"), "not a folder");
  TFastLogWriter w;
  Configure(w, dir.file("plain/sub"));
  EXPECT_TRUE(w.Ready());
  w.Resume();
  EXPECT_FALSE(w.WaitUntilOpen());
  EXPECT_FALSE(w.Alive());
  EXPECT_FALSE(w.Ready());
  EXPECT_NE(w.LastError(), 0);
  EXPECT_FALSE(w.Post(WM_FL_WRITE_TEXT, 0, 0, std::make_unique<TFLStringMsg>("lost")));
  w.Shutdown(); // must not hang
}

TEST(Writer, AWriteFailureEndsTheThreadAndLaterLinesAreRefused) {
  kvtest::TempDir dir;
  TFastLogWriter w;
  Configure(w, dir.path());
  w.Resume();
  ASSERT_TRUE(w.WaitUntilOpen());
  // Renumbered by another run while open: the message names the file as it is called now.
  std::filesystem::rename(dir.file("korvanlog.log"), dir.file("korvanlog.007"));
  int said_pipe[2]; // not a file: the size limit would cut what is said
  ASSERT_EQ(pipe2(said_pipe, O_NONBLOCK), 0);
  // A file size limit makes writes past 16 bytes fail (EFBIG) for this process only, set after
  // the last ASSERT so that a failed one does not leave it to the tests after this one.
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = 16;
  EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  auto old_handler = signal(SIGXFSZ, SIG_IGN);
  const int saved_stderr = dup(STDERR_FILENO);
  dup2(said_pipe[1], STDERR_FILENO);
  EXPECT_TRUE(w.Post(WM_FL_WRITE_TEXT, 0, 0, std::make_unique<TFLStringMsg>("0123456789")));
  EXPECT_TRUE(w.Post(WM_FL_WRITE_TEXT, 0, 0, std::make_unique<TFLStringMsg>("too much for the limit")));
  bool ended = kvtest::WaitUntil([&] { return !w.Alive(); });
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, old_handler);
  dup2(saved_stderr, STDERR_FILENO);
  close(saved_stderr);
  char buffer[4096];
  const ssize_t got = read(said_pipe[0], buffer, sizeof buffer);
  close(said_pipe[0]);
  close(said_pipe[1]);
  const std::string said(buffer, size_t(std::max<ssize_t>(got, 0)));
  EXPECT_EQ(said.rfind(kv::platform::ProgramName() + ": Die Protokolldatei " + dir.file("korvanlog.007") +
                           " kann nicht",
                       0),
            0u)
      << said;
  EXPECT_TRUE(ended);
  EXPECT_FALSE(w.Ready());
  EXPECT_EQ(w.LastError(), EFBIG);
  EXPECT_FALSE(w.Post(WM_FL_WRITE_TEXT, 0, 0, std::make_unique<TFLStringMsg>("late")));
  w.Shutdown();
  EXPECT_EQ(kvtest::ReadFile(dir.file("korvanlog.007")).substr(0, 12), "0123456789\r\n");
}

TEST(Writer, ShutdownOfASuspendedWriterTouchesNoFile) {
  kvtest::TempDir dir;
  {
    TFastLogWriter w;
    w.FileDef().SetPath(dir.path());
    w.FileDef().BaseName = "korvanlog";
    EXPECT_FALSE(w.WaitUntilOpen()); // does not wait for a thread that never runs
    w.Shutdown();
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

// The logs in `logs`, without hidden files, sorted.
static std::vector<std::string> LogNames(const std::string &logs) {
  std::vector<std::string> names;
  for (const auto &e : std::filesystem::directory_iterator(logs))
    if (e.path().filename().string()[0] != '.') names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// Twenty runs share one folder that keeps three numbered logs. All of them hold their logs open
// at once and then end in any order: each had a file and a number of its own, and the three
// newest logs remain, complete and numbered without gaps. With a uid the runs are that user.
static void RunTwentyInOneFolder(const kvtest::TempDir &dir, const std::string &logs,
                                 const std::string &uid = {}) {
  const std::string gate = dir.file("gate");
  constexpr int kRuns = 20;
  std::vector<kvtest::ChildProcess> runs(kRuns);
  auto out = [&](int i) { return kvtest::ReadFile(dir.file("out" + std::to_string(i))); };
  for (int i = 0; i < kRuns; ++i) {
    std::vector<std::string> args{KV_LOGGING_RUN, logs, "3", std::to_string(i), gate};
    if (!uid.empty()) args.push_back(uid);
    ASSERT_TRUE(runs[i].Start(args, dir.file("out" + std::to_string(i))));
  }
  ASSERT_TRUE(kvtest::WaitUntil(
      [&] {
        for (int i = 0; i < kRuns; ++i)
          if (out(i).empty()) return false;
        return true;
      },
      std::chrono::seconds(60)));
  kvtest::WriteFile(gate, "");
  std::map<std::string, int> run_of; // number of the log each run created -> run
  for (int i = 0; i < kRuns; ++i) {
    const int status = runs[i].Wait(std::chrono::seconds(60));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out(i);
    const std::string opened = "opened " + logs + "/korvanlog.";
    if (out(i).rfind(opened, 0) == 0) run_of[out(i).substr(opened.size(), 3)] = i;
  }
  ASSERT_EQ(run_of.size(), size_t{kRuns});
  EXPECT_EQ(run_of.begin()->first, "001");
  EXPECT_EQ(run_of.rbegin()->first, "020");

  EXPECT_EQ(LogNames(logs), (std::vector<std::string>{"korvanlog.001", "korvanlog.002", "korvanlog.003"}));
  for (int k = 1; k <= 3; ++k) {
    char newest[8]; // the runs that created 018 to 020 now have 001 to 003
    std::snprintf(newest, sizeof newest, "%03d", kRuns - 3 + k);
    const std::string id = std::to_string(run_of[newest]);
    const std::string text = kvtest::ReadFile(logs + "/korvanlog.00" + std::to_string(k));
    std::string lines, expected = "run " + id + " opened|";
    for (size_t at = text.find("\nrun "); at != std::string::npos; at = text.find("\nrun ", at + 1))
      lines += text.substr(at + 1, text.find('\r', at) - at - 1) + "|";
    for (int i = 1; i <= 5; ++i)
      expected += "run " + id + " line " + std::to_string(i) + "|";
    EXPECT_EQ(lines, expected) << k;
    EXPECT_NE(text.find(">>>> Start logging_run"), std::string::npos) << k;
    EXPECT_NE(text.find("<<<< Stop  logging_run"), std::string::npos) << k;
  }
}

TEST(Writer, RunsSharingAFolderKeepTheNewestLogsWholeAndNumberedWithoutGaps) {
  kvtest::TempDir dir;
  std::filesystem::create_directory(dir.file("logs"));
  RunTwentyInOneFolder(dir, dir.file("logs"));
}

// root's scheduled run made the folder's lock file and wrote its oldest log; runs of another user
// still take turns on the lock, and root's log, not in use, is trimmed like their own.
TEST(Writer, RunsOfAnotherUserShareTheLockFileRootMade) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run as another user";
  kvtest::TempDir dir;
  const std::string logs = dir.file("logs");
  std::filesystem::create_directory(logs);
  kvtest::WriteFile(logs + "/.korvanlog.lock", "");
  using std::filesystem::perms;
  std::filesystem::permissions(dir.path(), perms::all & ~perms::group_write & ~perms::others_write);
  std::filesystem::permissions(logs, perms::all);
  const perms root_only = perms::owner_read | perms::owner_write | perms::group_read | perms::others_read;
  std::filesystem::permissions(logs + "/.korvanlog.lock", root_only);
  RunTwentyInOneFolder(dir, logs, "65534");

  const std::string oldest = logs + "/korvanlog.001";
  ASSERT_EQ(chown(oldest.c_str(), 0, 0), 0);
  std::filesystem::permissions(oldest, root_only);
  kvtest::ChildProcess last;
  ASSERT_TRUE(last.Start({KV_LOGGING_RUN, logs, "3", "last", dir.file("gate"), "65534"}, dir.file("out")));
  const int status = last.Wait(std::chrono::seconds(60));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << kvtest::ReadFile(dir.file("out"));
  EXPECT_EQ(LogNames(logs), (std::vector<std::string>{"korvanlog.001", "korvanlog.002", "korvanlog.003"}));
  EXPECT_NE(kvtest::ReadFile(logs + "/korvanlog.003").find("run last line 5"), std::string::npos);
}
