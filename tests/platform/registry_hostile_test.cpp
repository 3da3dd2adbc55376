// The settings file against files, links and writers a user or an attacker may leave behind.
#include "platform/registry.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <dirent.h>
#include <functional>
#include <string>
#include <vector>

#include "test_support.h"

using kv::platform::TRegDataType;
using kv::platform::TRegistry;
namespace rf = kv::platform::registry_file;

namespace {

const std::string kKey = "\\Software\\Halvern\\Korvane";
const std::string kHeader = "[HKEY_CURRENT_USER\\Software\\Halvern\\Korvane]\n";

std::vector<std::string> Names(const std::string &dir) {
  std::vector<std::string> names;
  if (DIR *d = opendir(dir.c_str())) {
    while (dirent *e = readdir(d))
      if (e->d_name[0] != '.') names.push_back(e->d_name);
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

size_t CountContaining(const std::vector<std::string> &names, const std::string &part) {
  return static_cast<size_t>(std::count_if(
      names.begin(), names.end(), [&](const std::string &n) { return n.find(part) != std::string::npos; }));
}

class RegistryHostile : public ::testing::Test {
protected:
  kvtest::TempDir dir;
  std::string folder = dir.path() + "/korvane";
  std::string file = folder + "/registry.reg";
  void SetUp() override { mkdir(folder.c_str(), 0700); }
};

} // namespace

TEST_F(RegistryHostile, AValueCutAfterItsContinuationMarkNeverSwallowsALaterWrite) {
  for (const std::string tail :
       {"\"Blob\"=hex:01,02,\\", "\"Blob\"=hex:01,02,\\\n", "\"Blob\"=hex:01,02,\\\r\n\r\n",
        "\"Blob\"=hex:01,02,\\\n  \n\"Server\"=\"old\"\n"}) {
    SCOPED_TRACE(tail);
    for (const auto &name : Names(folder))
      unlink((folder + "/" + name).c_str());
    const std::string original = kHeader + "\"Kept\"=dword:00000007\n" + tail;
    kvtest::WriteFile(file, original, 0600);
    rf::Store store;
    std::string why;
    EXPECT_FALSE(rf::Parse(original, store, why));

    TRegistry reg(file);
    ASSERT_TRUE(reg.OpenKey(kKey, true));
    reg.WriteString("Server", "written");
    TRegistry check(file);
    ASSERT_TRUE(check.OpenKeyReadOnly(kKey));
    EXPECT_EQ(check.ReadString("Server"), "written");
    // The cut file is kept aside as it was.
    const auto names = Names(folder);
    ASSERT_EQ(CountContaining(names, ".unreadable-"), 1u);
    for (const auto &name : names) {
      if (name.find(".unreadable-") == std::string::npos) continue;
      EXPECT_EQ(kvtest::ReadFile(folder + "/" + name), original);
    }
  }
}

TEST_F(RegistryHostile, AFileCutAtAnyByteIsRefusedOrReadWithEveryValueItHoldsUnchanged) {
  {
    TRegistry reg(file);
    ASSERT_TRUE(reg.OpenKey(kKey, true));
    reg.WriteString("Server", "ntp.example.org");
    reg.WriteInteger("Timeout", 15);
    reg.WriteBool("UseRas", true);
    reg.WriteInteger("Connection", -1);
    reg.WriteString("Quote", "a \"b\"\n");
    ASSERT_TRUE(reg.OpenKey(kKey + "\\Auto", true));
    reg.WriteInteger("ALoggingCount", 5);
    reg.WriteString("ALoggingPath", "/var/log/korvane");
    reg.WriteInteger("ATimeout", 0x12345678);
    reg.WriteBool("ALogging", true);
    reg.WriteString("ASMTPServer", "mail.example.org");
  }
  const std::string whole = kvtest::ReadFile(file);
  rf::Store full;
  std::string why;
  ASSERT_TRUE(rf::Parse(whole, full, why)) << why;
  int refused = 0;
  for (size_t cut = 0; cut < whole.size(); ++cut) {
    rf::Store part;
    if (!rf::Parse(whole.substr(0, cut), part, why)) {
      ++refused;
      continue;
    }
    // Whatever is read is what was written; only values after the cut may be missing.
    for (const auto &key : part.keys) {
      const rf::Key *original = full.FindKey(key.path);
      ASSERT_NE(original, nullptr) << "cut at " << cut;
      for (const auto &value : key.values) {
        const rf::Value *v = rf::FindValue(*original, value.name);
        ASSERT_NE(v, nullptr) << "cut at " << cut;
        EXPECT_TRUE(v->type == value.type && v->text == value.text && v->dword == value.dword)
            << "cut at " << cut << " changed " << value.name;
      }
    }
  }
  EXPECT_GT(refused, 300);
  for (const std::string bad : {"\"T\"=dword:0000000", "\"T\"=dword:f", "\"T\"=dword:000000001"}) {
    rf::Store store;
    EXPECT_FALSE(rf::Parse(kHeader + bad + "\n", store, why)) << bad;
  }
}

TEST_F(RegistryHostile, WhatTheReaderAcceptsIsWrittenBackToTheSameKeysAndValues) {
  const std::string files[] = {
      kHeader + "\"A\"=\"x\"\n\"a\"=dword:0000000A\n",              // one name, two spellings
      kHeader + "\"Blob\"=hex:01,\\\r\n  02,\\\r\r\n\t03\r\r\n",    // carriage returns ending continuations
      kHeader + "\"Blob\"=hex:01,\\\n[HKEY_CURRENT_USER\\Other]\n", // a key line as continuation
      "\xEF\xBB\xBF" + kHeader + "@=\"default\"\n\"\"=\"empty name\"\n", // two names for the default value
      "[ spaced key ]\n\"Ctl\"=\"\\x01\\t\\r\\\\\"\n[SPACED KEY]\n\"x\"=-\n", // key names differing in case
      kHeader + "\"Wide\"=\"\xC3\xA4\xE2\x82\xAC\x7F\"\n",
  };
  for (const auto &text : files) {
    SCOPED_TRACE(text);
    rf::Store first, second;
    std::string why;
    ASSERT_TRUE(rf::Parse(text, first, why)) << why;
    const std::string written = rf::Format(first);
    ASSERT_TRUE(rf::Parse(written, second, why)) << why << "\n" << written;
    EXPECT_TRUE(first == second) << written;
  }
}

TEST_F(RegistryHostile, TemporaryFilesOfWritersThatNoLongerRunAreRemovedByTheNextWriter) {
  TRegistry(file).CreateKey(kKey);
  // One left by a process that has ended, one of a process that still runs (our parent).
  const pid_t dead = fork();
  ASSERT_GE(dead, 0);
  if (dead == 0) _exit(0);
  ASSERT_EQ(waitpid(dead, nullptr, 0), dead);
  const std::string stale = file + ".tmp-" + std::to_string(dead);
  const std::string live = file + ".tmp-" + std::to_string(getppid());
  const std::string foreign = file + ".tmp-notapid";
  for (const auto &f : {stale, live, foreign})
    kvtest::WriteFile(f, "copy with passwords", 0600);

  TRegistry reg(file);
  ASSERT_TRUE(reg.OpenKey(kKey, false));
  reg.WriteString("Server", "x");
  struct stat st {};
  EXPECT_NE(stat(stale.c_str(), &st), 0) << "a dead writer's copy stays";
  EXPECT_EQ(stat(live.c_str(), &st), 0) << "a running writer's copy is not ours to remove";
  EXPECT_EQ(stat(foreign.c_str(), &st), 0);
  unlink(live.c_str());
  unlink(foreign.c_str());

  // Writers killed at any moment leave nothing behind once another one has written.
  for (int i = 0; i < 10; ++i) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      TRegistry w(file);
      if (w.OpenKey(kKey, false))
        for (int n = 0;; ++n)
          w.WriteString("N", std::string(20000, 'a' + n % 26));
      _exit(1);
    }
    usleep(3000 + 1500 * i);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  reg.WriteString("After", "y");
  EXPECT_EQ(CountContaining(Names(folder), ".tmp-"), 0u);
}

TEST_F(RegistryHostile, ASettingsFileThatIsALinkIsReadAndReplacedThroughTheLink) {
  const std::string dotfiles = dir.path() + "/dotfiles";
  mkdir(dotfiles.c_str(), 0700);
  const std::string target = dotfiles + "/korvane.reg";
  kvtest::WriteFile(target, kHeader + "\"Server\"=\"linked\"\n", 0600);
  ASSERT_EQ(symlink("../dotfiles/korvane.reg", file.c_str()), 0); // relative, as dotfile managers make them

  TRegistry reg(file);
  ASSERT_TRUE(reg.OpenKeyReadOnly(kKey));
  EXPECT_EQ(reg.ReadString("Server"), "linked");
  TRegistry writer(file);
  ASSERT_TRUE(writer.OpenKey(kKey, false));
  writer.WriteInteger("Timeout", 9);

  struct stat st {};
  ASSERT_EQ(lstat(file.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link stays";
  EXPECT_NE(kvtest::ReadFile(target).find("\"Timeout\"=dword:00000009"), std::string::npos);
  EXPECT_NE(kvtest::ReadFile(target).find("\"Server\"=\"linked\""), std::string::npos);
  EXPECT_EQ(CountContaining(Names(folder), ".unreadable-"), 0u);
  EXPECT_EQ(CountContaining(Names(dotfiles), ".tmp-"), 0u);

  // A link whose target does not exist yet: the first write creates the target.
  unlink(target.c_str());
  TRegistry fresh(file);
  ASSERT_TRUE(fresh.OpenKey(kKey, true));
  fresh.WriteString("Server", "new");
  ASSERT_EQ(lstat(file.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_NE(kvtest::ReadFile(target).find("\"Server\"=\"new\""), std::string::npos);
}

TEST_F(RegistryHostile, ReadingGrowsLinearlyWithTheValuesOfOneKey) {
  auto file_of = [](int count) {
    rf::Store store;
    rf::Key &key = store.CreateKey("HKEY_CURRENT_USER\\Software\\Halvern\\Korvane");
    for (int i = 0; i < count; ++i)
      key.values.push_back({"Value" + std::to_string(i), TRegDataType::rdInteger, "", 1});
    return rf::Format(store);
  };
  // Processor time of this thread, so that a busy machine does not count.
  auto best_ms = [](const std::string &text) {
    double best = 1e9;
    for (int r = 0; r < 5; ++r) {
      const int64_t start = kvtest::ThreadCpuMicros();
      rf::Store store;
      std::string why;
      EXPECT_TRUE(rf::Parse(text, store, why));
      best = std::min(best, double(kvtest::ThreadCpuMicros() - start) / 1e3);
    }
    return best;
  };
  const double small = best_ms(file_of(2000)), large = best_ms(file_of(50000));
  // 25 times the values: about 25 times the time, up to three times that on a busy machine whose
  // caches other processes share (a lookup per value through all the others would make it 625).
  EXPECT_LT(large, 250 * std::max(small, 0.02)) << small << " ms, " << large << " ms";
}

namespace {

// What `action` reports when run in a child process, or "(waits)" when the child has not ended
// within a generous deadline (it is killed then): a regression fails instead of hanging the suite.
std::string InChild(const std::function<std::string()> &action) {
  int out[2];
  if (pipe(out) != 0) return "(no pipe)";
  const pid_t pid = fork();
  if (pid == 0) {
    close(out[0]);
    const std::string said = action();
    _exit(write(out[1], said.data(), said.size()) == static_cast<ssize_t>(said.size()) ? 0 : 1);
  }
  close(out[1]);
  int status = 0;
  const bool ended =
      kvtest::WaitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, std::chrono::seconds(20));
  if (!ended) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  std::string said;
  char buf[4096];
  for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;)
    said.append(buf, static_cast<size_t>(n));
  close(out[0]);
  return ended ? said : "(waits)";
}

std::string ReadKey(const std::string &file) {
  TRegistry reg(file);
  return reg.OpenKeyReadOnly(kKey) ? "Server=" + reg.ReadString("Server") : "defaults";
}

std::string WriteKey(const std::string &file) {
  return kvtest::FailureText<kv::platform::ERegistryException>([&] {
    TRegistry reg(file);
    reg.OpenKey(kKey, true);
    reg.WriteString("Server", "written");
  });
}

} // namespace

TEST_F(RegistryHostile, AFifoAtTheSettingsFileOrItsLockHoldsNoReadOrWrite) {
  // At the settings file: read as unreadable, then moved aside by the next write.
  ASSERT_EQ(mkfifo(file.c_str(), 0600), 0);
  EXPECT_EQ(InChild([&] { return ReadKey(file); }), "defaults");
  EXPECT_EQ(InChild([&] { return WriteKey(file); }), "(no failure)");
  EXPECT_EQ(InChild([&] { return ReadKey(file); }), "Server=written");
  const auto names = Names(folder);
  ASSERT_EQ(CountContaining(names, ".unreadable-"), 1u);
  for (const auto &name : names) {
    struct stat st {};
    if (name.find(".unreadable-") != std::string::npos) {
      EXPECT_TRUE(lstat((folder + "/" + name).c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
    }
  }

  // At the lock file: no write takes it for a lock, and says why; reads go on.
  const std::string lock = file + ".lock";
  for (const std::string kind : {"benannte Pipe (FIFO)", "symbolische Verknüpfung"}) {
    unlink(lock.c_str());
    ASSERT_EQ(kind[0] == 'b' ? mkfifo(lock.c_str(), 0600) : symlink("elsewhere", lock.c_str()), 0);
    const std::string said = InChild([&] { return WriteKey(file); });
    EXPECT_NE(said.find("Die Sperrdatei " + lock + " ist eine " + kind), std::string::npos) << said;
    EXPECT_EQ(InChild([&] { return ReadKey(file); }), "Server=written");
  }
  struct stat st {};
  EXPECT_NE(lstat((folder + "/elsewhere").c_str(), &st), 0) << "the link was followed";
}
