#include "platform/registry.h"
#include "platform/shell.h"
#include "platform/system.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "test_support.h"

using namespace kv::platform;

TEST(System, ProgramDirectoryIsTheFolderOfTheRunningProgram) {
  char exe[PATH_MAX] = {};
  ASSERT_GT(readlink("/proc/self/exe", exe, sizeof exe - 1), 0);
  std::string expected(exe);
  expected = expected.substr(0, expected.rfind('/') + 1);
  EXPECT_EQ(ProgramDirectory(), expected);
}

TEST(System, ComputerNameIsTheHostNameCutAtTheFirstDotAndTo15Characters) {
  EXPECT_EQ(ShortComputerName("pc1.example.org"), "pc1");
  EXPECT_EQ(ShortComputerName("averyveryverylonghostname"), "averyveryverylo");
  EXPECT_EQ(ShortComputerName("exactly15chars_.lan"), "exactly15chars_");
  EXPECT_EQ(ShortComputerName(""), "");
  char host[256] = {};
  ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
  EXPECT_EQ(ComputerName(), ShortComputerName(host));
}

namespace {

// A program that writes its working directory and each argument on a line of `out`.
std::string ArgumentRecorder(const kvtest::TempDir &dir, const std::string &out) {
  std::string script = dir.file("record");
  kvtest::WriteFile(script,
                    "#!/bin/sh\npwd > '" + out + "'\nfor a in \"$@\"; do printf '%s\\n' \"$a\" >> '" + out +
                        "'; done\nexit ${KV_EXIT:-0}\n",
                    0755);
  return script;
}

} // namespace

TEST(Shell, SpawnPassesArgumentsVerbatimWithoutAShell) {
  kvtest::TempDir dir;
  std::string out = dir.file("args");
  std::string recorder = ArgumentRecorder(dir, out);
  ShellResult r =
      ShellSpawn(recorder, {"two words", "$HOME", "; rm -rf x", "'q'"}, "/tmp", std::chrono::seconds(10));
  EXPECT_EQ(r.error, 0);
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_TRUE(r.Succeeded());
  EXPECT_EQ(kvtest::ReadFile(out), "/tmp\ntwo words\n$HOME\n; rm -rf x\n'q'\n");
}

TEST(Shell, FailuresAreReturnedNotHidden) {
  ShellResult missing = ShellSpawn("/nonexistent/program", {});
  EXPECT_EQ(missing.error, ENOENT);
  EXPECT_FALSE(missing.Succeeded());

  ShellResult failing = ShellSpawn("false", {}, "", std::chrono::seconds(10));
  EXPECT_EQ(failing.exit_code, 1);
  EXPECT_FALSE(failing.Succeeded());
  EXPECT_EQ(failing.Describe(), "exit code 1");

  // Still running when the wait is over: reported as started.
  const auto before = std::chrono::steady_clock::now();
  ShellResult running = ShellSpawn("sleep", {"1"}, "", std::chrono::milliseconds(50));
  EXPECT_LT(kvtest::ElapsedMs(before), 900);
  EXPECT_EQ(running.exit_code, -1);
  EXPECT_TRUE(running.Succeeded());
}

TEST(Shell, OpenHandsTheTargetToXdgOpen) {
  kvtest::TempDir dir;
  std::string out = dir.file("args");
  std::string recorder = ArgumentRecorder(dir, out);
  ASSERT_EQ(symlink(recorder.c_str(), dir.file("xdg-open").c_str()), 0);
  std::string path = getenv("PATH") ? getenv("PATH") : "";
  setenv("PATH", (dir.path() + ":" + path).c_str(), 1);
  ShellResult r = ShellOpen("/opt/korvane/korvan.hlp", std::chrono::seconds(10));
  setenv("KV_EXIT", "4", 1);
  ShellResult failed = ShellOpen("https://example.invalid/", std::chrono::seconds(10));
  unsetenv("KV_EXIT");
  setenv("PATH", path.c_str(), 1);
  EXPECT_TRUE(r.Succeeded());
  EXPECT_EQ(failed.exit_code, 4);
  EXPECT_NE(kvtest::ReadFile(out).find("https://example.invalid/\n"), std::string::npos);
}

TEST(System, HomeDirectoryIsHomeOrElseTheUserDatabasesEntry) {
  const char *saved = std::getenv("HOME");
  const std::string home = saved ? saved : "";
  const char *savedConfig = std::getenv("XDG_CONFIG_HOME");
  const std::string config = savedConfig ? savedConfig : "";
  setenv("HOME", "/srv/somewhere", 1);
  EXPECT_EQ(HomeDirectory(), "/srv/somewhere");
  // A service started without User= has no HOME: the settings are still the user's own.
  for (bool empty : {false, true}) {
    if (empty)
      setenv("HOME", "", 1);
    else
      unsetenv("HOME");
    const passwd *entry = getpwuid(getuid());
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(HomeDirectory(), entry->pw_dir);
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(kv::platform::TRegistry::DefaultFileName(),
              std::string(entry->pw_dir) + "/.config/korvane/registry.reg");
  }
  if (saved)
    setenv("HOME", home.c_str(), 1);
  else
    unsetenv("HOME");
  if (savedConfig) setenv("XDG_CONFIG_HOME", config.c_str(), 1);
}
