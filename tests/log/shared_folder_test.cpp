// Runs of several users, one after another, in one log folder: with the sticky bit, where a run
// may rename only its own logs; a group folder without it; and a sticky folder the running user
// owns.
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "test_support.h"

namespace fs = std::filesystem;

namespace {

struct FolderCase {
  std::string name;
  mode_t mode;
  uid_t owner;
  gid_t group;
  std::vector<std::string> users; // of the runs in turn: "<uid>" or "<uid>:<gid of a group it is in>"
  std::map<std::string, std::string> expected; // Logs() afterwards
};

// Each log the folder shows: its name (a further fallback's as "korvanlog.~og-?") and its
// owner, the run whose lines it holds, and "cut" when they are not all there.
std::map<std::string, std::string> Logs(const std::string &logs) {
  std::map<std::string, std::string> found;
  for (const auto &e : fs::directory_iterator(logs)) {
    std::string name = e.path().filename();
    if (name[0] == '.') continue;
    if (name.rfind("korvanlog.~og-", 0) == 0) name = "korvanlog.~og-?";
    struct stat st {};
    lstat(e.path().c_str(), &st);
    const std::string text = kvtest::ReadFile(e.path());
    const size_t at = text.find("\nrun ");
    std::string seen = std::to_string(st.st_uid);
    if (at == std::string::npos) {
      seen += " empty";
    } else {
      const std::string id = text.substr(at + 5, text.find(' ', at + 5) - at - 5);
      seen += " run " + id;
      if (text.find("run " + id + " line 5") == std::string::npos ||
          text.find("<<<< Stop") == std::string::npos)
        seen += " cut";
    }
    EXPECT_EQ(found.count(name), 0u) << "a second " << name;
    found[name] = seen;
  }
  return found;
}

} // namespace

// nobody, root, nobody, nobody, nobody keep three logs. In the sticky folder nobody's run may
// not renumber root's log: it leaves the series as it is and writes a new fallback log, so each
// user's newest logs are all there and none is emptied. Where every run may rename every log,
// one series serves all users, numbered as ever.
TEST(SharedFolder, EachUsersNewestLogsRemainWholeAndAFolderAllMayRenameKeepsOneSeries) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run as other users";
  const std::vector<FolderCase> cases = {
      {"sticky",
       01777,
       0,
       0,
       {"65534", "0", "65534", "65534", "65534"},
       {{"korvanlog.001", "65534 run 1"},
        {"korvanlog.002", "0 run 2"},
        {"korvanlog.003", "65534 run 3"},
        {"korvanlog.~og", "65534 run 4"},
        {"korvanlog.~og-?", "65534 run 5"}}},
      {"group without sticky bit",
       02770,
       0,
       65534,
       {"65534", "0", "1:65534", "65534", "1:65534"},
       {{"korvanlog.001", "1 run 3"}, {"korvanlog.002", "65534 run 4"}, {"korvanlog.003", "1 run 5"}}},
      {"sticky, owned by the running user",
       01777,
       65534,
       65534,
       {"65534", "0", "65534", "65534", "65534"},
       {{"korvanlog.001", "65534 run 3"},
        {"korvanlog.002", "65534 run 4"},
        {"korvanlog.003", "65534 run 5"}}},
  };
  for (const FolderCase &c : cases) {
    SCOPED_TRACE(c.name);
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
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
          << "run " << id << ": " << kvtest::ReadFile(out);
    }
    EXPECT_EQ(Logs(logs), c.expected);
  }
}
