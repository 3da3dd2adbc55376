// Runs of several users, one after another, in one log folder: with the sticky bit, where a run
// may rename only its own logs; a group folder without it; and a sticky folder the running user
// owns.
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "test_support.h"

namespace {

// Each log in `logs`, sorted: its name (a further fallback log's as "~og-?"), owner, the run
// whose lines it holds, and "cut" when they are not all there.
std::string Logs(const std::string &logs) {
  std::set<std::string> found;
  for (const auto &e : std::filesystem::directory_iterator(logs)) {
    const std::string file = e.path().filename();
    if (file[0] == '.') continue;
    const std::string name = file.rfind("korvanlog.~og-", 0) == 0 ? "~og-?" : file.substr(10);
    struct stat st {};
    lstat(e.path().c_str(), &st);
    const std::string text = kvtest::ReadFile(e.path());
    const size_t at = text.find("\nrun ");
    const std::string id =
        at == std::string::npos ? "none" : text.substr(at + 5, text.find(' ', at + 5) - at - 5);
    const bool whole = text.find("run " + id + " line 5") != std::string::npos &&
                       text.find("<<<< Stop") != std::string::npos;
    found.insert(name + " " + std::to_string(st.st_uid) + " run " + id + (whole ? "" : " cut"));
  }
  std::string listed;
  for (const std::string &log : found)
    listed += log + "; ";
  return listed;
}

} // namespace

// nobody, root, nobody, nobody, nobody keep three logs. In the sticky folder nobody's run may
// not renumber root's log: it leaves the series as it is and writes a new fallback log, so each
// user's newest logs are all there and none is emptied. Where every run may rename every log,
// one series serves all users, numbered as ever.
TEST(SharedFolder, EachUsersNewestLogsRemainWholeAndAFolderAllMayRenameKeepsOneSeries) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run as other users";
  struct Case {
    mode_t mode;
    uid_t owner;
    gid_t group;
    std::vector<std::string> users; // of the runs in turn: "<uid>" or "<uid>:<a group it is in>"
    std::string expected;
  };
  const std::vector<std::string> nobody_and_root = {"65534", "0", "65534", "65534", "65534"};
  for (const Case &c : {
           Case{01777, 0, 0, nobody_and_root,
                "001 65534 run 1; 002 0 run 2; 003 65534 run 3; ~og 65534 run 4; ~og-? 65534 run 5; "},
           Case{02770,
                0,
                65534,
                {"65534", "0", "1:65534", "65534", "1:65534"},
                "001 1 run 3; 002 65534 run 4; 003 1 run 5; "},
           Case{01777, 65534, 65534, nobody_and_root, "001 65534 run 3; 002 65534 run 4; 003 65534 run 5; "},
       }) {
    SCOPED_TRACE(c.expected);
    kvtest::TempDir dir;
    const std::string logs = dir.file("logs"), gate = dir.file("gate");
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(mkdir(logs.c_str(), 0700), 0);
    ASSERT_EQ(chown(logs.c_str(), c.owner, c.group), 0);
    ASSERT_EQ(chmod(logs.c_str(), c.mode), 0);
    kvtest::WriteFile(gate, "");
    for (size_t i = 0; i < c.users.size(); ++i) {
      const std::string id = std::to_string(i + 1), out = dir.file("out" + id);
      kvtest::ChildProcess run;
      ASSERT_TRUE(run.Start({KV_LOGGING_RUN, logs, "3", id, gate, c.users[i]}, out));
      const int status = run.Wait(std::chrono::seconds(60));
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << id << ": " << kvtest::ReadFile(out);
    }
    EXPECT_EQ(Logs(logs), c.expected);
  }
}
