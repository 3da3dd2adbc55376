// The built program, started as a user or cron would start it.
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sys/wait.h>

#include "platform/registry.h"
#include "platform/system.h"
#include "test_support.h"
#include "tests/peers/korvan_auto.h"

namespace {

std::string Korvan() {
  return std::string(std::getenv("KORVANE_BUILD_DIR")) + "/app/korvan";
}

// True once the process catches `sig`: its handlers are in place.
bool Catches(int pid, int sig) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("SigCgt:", 0) == 0) return (std::stoull(line.substr(7), nullptr, 16) >> (sig - 1)) & 1;
  return false;
}

class KorvanTest : public ::testing::Test {
protected:
  // argv that starts korvan with a private home and only the given display variables.
  std::vector<std::string> Command(std::vector<std::string> display_env, std::vector<std::string> args = {}) {
    std::vector<std::string> argv = kvtest::NoDisplayEnv(home_.path());
    argv.insert(argv.end(), display_env.begin(), display_env.end());
    argv.push_back(Korvan());
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
  }
  std::string RegistryFile() const { return home_.path() + "/.config/korvane/registry.reg"; }

  kvtest::TempDir home_;
};

TEST_F(KorvanTest, EachStopSignalClosesTheWindowAndSavesTheInteractiveKey) {
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
    std::remove(RegistryFile().c_str());
    kvtest::ChildProcess korvan;
    ASSERT_TRUE(korvan.Start(Command({"QT_QPA_PLATFORM=offscreen"}), home_.file("log")));
    ASSERT_TRUE(kvtest::WaitUntil([&] { return Catches(korvan.pid(), sig); }))
        << kvtest::ReadFile(home_.file("log"));
    // Only the update window transfers anything; a start loads none of libcurl.
    EXPECT_EQ(kvtest::ReadFile("/proc/" + std::to_string(korvan.pid()) + "/maps").find("libcurl"),
              std::string::npos);
    int status = korvan.Stop(sig, std::chrono::seconds(10));
    ASSERT_TRUE(WIFEXITED(status)) << "signal " << sig << ", status " << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);

    kv::platform::TRegistry reg(RegistryFile());
    ASSERT_TRUE(reg.OpenKeyReadOnly("\\Software\\Halvern\\Korvane")) << "signal " << sig;
    EXPECT_EQ(reg.GetValueNames().size(), 10u);
    EXPECT_EQ(reg.ReadString("SocksPort"), "1080");
    EXPECT_TRUE(reg.ReadBool("UseRAS"));
    EXPECT_EQ(reg.ReadString("ProgramDirectory"), std::string(std::getenv("KORVANE_BUILD_DIR")) + "/app/");
  }
}

TEST_F(KorvanTest, WithoutADisplayTheWindowRefusesAndTheAutomaticModeRunsOffscreen) {
  kvtest::ChildProcess interactive;
  ASSERT_TRUE(interactive.Start(Command({}), home_.file("interactive")));
  int status = interactive.Wait(std::chrono::seconds(20));
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_EQ(kvtest::ReadFile(home_.file("interactive")).rfind("korvan: Es ist keine grafische Oberfläche", 0),
            0u);

  for (const char *arg : {"/a", "/A"}) {
    kvtest::ChildProcess automatic;
    ASSERT_TRUE(automatic.Start(Command({}, {arg}), home_.file("auto")));
    status = automatic.Wait(std::chrono::seconds(20));
    ASSERT_TRUE(WIFEXITED(status)) << arg << " " << status << kvtest::ReadFile(home_.file("auto"));
    // Without settings it would dial; without a phone-book entry it says so, ends, and reports
    // that the clock was not set.
    EXPECT_EQ(WEXITSTATUS(status), 1);
  }
  EXPECT_FALSE(std::ifstream(RegistryFile()).good()) << "the automatic mode saves no interactive settings";

  // A settings file it cannot read and the run's own message: a cron mail reads one style.
  ASSERT_EQ(kv::platform::MakeDirectories(home_.path() + "/.config/korvane"), 0);
  kvtest::WriteFile(RegistryFile(), "kein Registry-Export\n");
  kvtest::ChildProcess automatic;
  ASSERT_TRUE(automatic.Start(Command({}, {"/a"}), home_.file("unreadable")));
  ASSERT_TRUE(WIFEXITED(automatic.Wait(std::chrono::seconds(20))));
  const std::string said = kvtest::ReadFile(home_.file("unreadable"));
  EXPECT_EQ(said.rfind("korvan: Die Einstellungsdatei " + RegistryFile() + " ist nicht lesbar", 0), 0u)
      << said;
  EXPECT_NE(said.find("\nkorvan: Fehler: Bitte wählen Sie zuerst"), std::string::npos) << said;
}

TEST_F(KorvanTest, ADisplayThatDoesNotAnswerCountsAsNone) {
  // A DISPLAY left over in cron's or a service's environment, with no X server behind it.
  kvtest::ChildProcess interactive;
  ASSERT_TRUE(interactive.Start(Command({"DISPLAY=:7319"}), home_.file("interactive")));
  int status = interactive.Wait(std::chrono::seconds(20));
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_NE(kvtest::ReadFile(home_.file("interactive")).find("DISPLAY=:7319 ist gesetzt"), std::string::npos)
      << kvtest::ReadFile(home_.file("interactive"));

  kvtest::ChildProcess automatic;
  ASSERT_TRUE(automatic.Start(Command({"DISPLAY=:7319"}, {"/a"}), home_.file("auto")));
  status = automatic.Wait(std::chrono::seconds(20));
  ASSERT_TRUE(WIFEXITED(status)) << "Qt did not abort: " << status;
  EXPECT_EQ(WEXITSTATUS(status), 1);
  // The run went on offscreen; its one message is the run's own, in German, and nothing of Qt's.
  EXPECT_EQ(kvtest::ReadFile(home_.file("auto")),
            "korvan: Fehler: Bitte wählen Sie zuerst eine DFÜ-Verbindung aus oder legen Sie eine an.\n");
}

} // namespace
