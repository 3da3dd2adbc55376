// The pppd backend against tests/peers/fake-pppd, a script that prints pppd-like lines and exits
// as its peer file says.

#include "net/ras_pppd.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <list>
#include <mutex>
#include <sys/stat.h>
#include <utility>
#include <vector>

#include "net/dial_up.h"
#include "test_support.h"

using namespace kv::net;
using namespace std::chrono_literals;
using Reports = std::vector<std::pair<int, int>>;

namespace {

std::string FakePppd() {
  if (const char *source = std::getenv("KORVANE_SOURCE_DIR"))
    return std::string(source) + "/tests/peers/fake-pppd";
  return std::filesystem::path(__FILE__).parent_path().parent_path() / "peers" / "fake-pppd";
}

// Reports of one dial, collected from the backend's thread.
struct Collector {
  std::mutex mutex;
  Reports reports;
  RasNotifier Notifier() {
    return [this](uint32_t msg, int state, int error) {
      EXPECT_EQ(msg, WM_RASDIALEVENT);
      std::lock_guard lock(mutex);
      reports.emplace_back(state, error);
    };
  }
  Reports Get() {
    std::lock_guard lock(mutex);
    return reports;
  }
  bool Has(std::size_t count) { return Get().size() >= count; }
};

bool Gone(pid_t pid) {
  return ::kill(pid, 0) != 0 && errno == ESRCH;
}

class PppdBackend : public ::testing::Test {
protected:
  void SetUp() override {
    ::mkdir(peers.c_str(), 0755);
    ::setenv("KV_FAKE_PPPD_PEERS", peers.c_str(), 1);
  }
  void Peer(const std::string &name, const std::string &commands) {
    kvtest::WriteFile(peers + "/" + name, commands);
  }
  RasDialParams Params(const std::string &name) {
    RasDialParams params;
    params.EntryName = name;
    return params;
  }
  pid_t PidOf(const std::string &file) {
    EXPECT_TRUE(kvtest::WaitUntil([&] { return !kvtest::ReadFile(file).empty(); }));
    return static_cast<pid_t>(std::atoi(kvtest::ReadFile(file).c_str()));
  }

  kvtest::TempDir dir;
  std::string peers = dir.file("peers");
};

const std::string kConnectingLines = "say Serial connection established.\n"
                                     "say Using interface ppp0\n"
                                     "say Connect: ppp0 <--> /dev/ttyUSB0\n"
                                     "say sent [PAP AuthReq id=0x1 user=\"me\"]\n"
                                     "say PAP authentication succeeded\n"
                                     "say local  IP address 10.64.64.64\n";

} // namespace

TEST(PppdLines, MapToStatesAndExitStatusesToErrors) {
  EXPECT_EQ(TPppdRasBackend::StateOfLine("Serial connection established."), RASCS_DeviceConnected);
  EXPECT_EQ(TPppdRasBackend::StateOfLine("PPP session is 4711"), RASCS_DeviceConnected);
  EXPECT_EQ(TPppdRasBackend::StateOfLine("Connect: ppp0 <--> /dev/ttyS0"), RASCS_AllDevicesConnected);
  EXPECT_EQ(TPppdRasBackend::StateOfLine("rcvd [CHAP Challenge id=0x1 <abc>, name = \"isp\"]"),
            RASCS_Authenticate);
  EXPECT_EQ(TPppdRasBackend::StateOfLine("CHAP authentication succeeded: Welcome"), RASCS_Authenticated);
  EXPECT_EQ(TPppdRasBackend::StateOfLine("local  IP address 10.0.0.2"), RASCS_Projected);
  EXPECT_EQ(TPppdRasBackend::StateOfLine("local\tLL address fe80::1"), RASCS_Projected);
  EXPECT_EQ(TPppdRasBackend::StateOfLine("remote IP address 10.0.0.1"), RASCS_Connected);
  for (const char *other :
       {"Connect time 2.5 minutes.", "Connect script failed", "CHAP authentication failed", "Modem hangup",
        "Terminating on signal 15", "", "remote message: Connect: x"})
    EXPECT_EQ(TPppdRasBackend::StateOfLine(other), -1) << other;

  auto exited = [](int code) { return code << 8; };
  EXPECT_EQ(TPppdRasBackend::ErrorOfExit(exited(0)), ERROR_SUCCESS);
  EXPECT_EQ(TPppdRasBackend::ErrorOfExit(exited(3)), ERROR_ACCESS_DENIED);
  EXPECT_EQ(TPppdRasBackend::ErrorOfExit(exited(6)), ERROR_PORT_ALREADY_OPEN);
  EXPECT_EQ(TPppdRasBackend::ErrorOfExit(exited(8)), ERROR_FROM_DEVICE);
  EXPECT_EQ(TPppdRasBackend::ErrorOfExit(exited(16)), ERROR_REMOTE_DISCONNECTION);
  EXPECT_EQ(TPppdRasBackend::ErrorOfExit(exited(19)), ERROR_AUTHENTICATION_FAILURE);
  EXPECT_EQ(TPppdRasBackend::ErrorOfExit(exited(20)), ERROR_UNKNOWN);
  EXPECT_EQ(TPppdRasBackend::ErrorOfExit(SIGKILL), ERROR_DISCONNECTION);
  for (int code = 1; code < 25; ++code)
    EXPECT_NE(RasErrorText(TPppdRasBackend::ErrorOfExit(exited(code))), nullptr);
}

TEST(PppdLines, OutputIsCutIntoLinesWhateverTheChunksAndOverlongLinesStayApart) {
  TPppdOutputLines output;
  std::vector<std::string> lines;
  const auto collect = [&](std::string_view line) { lines.emplace_back(line); };
  output.Feed("Serial conn", collect);
  output.Feed("ection established.\r\n\nConnect: ppp0", collect);
  EXPECT_EQ(lines, (std::vector<std::string>{"Serial connection established.", ""}));

  // A runaway line is judged by its first MaxLine bytes; the rest of it, however it arrives,
  // is skipped, and the line after it arrives whole even when it is split across reads.
  lines.clear();
  const std::string longLine = "remote IP address " + std::string(2 * TPppdOutputLines::MaxLine, 'x');
  output.Feed(" <--> /dev/ttyS0\n" + longLine.substr(0, 5000), collect);
  output.Feed(longLine.substr(5000), collect);
  output.Feed("\nlocal  IP add", collect);
  output.Feed("ress 10.0.0.2\n", collect);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "Connect: ppp0 <--> /dev/ttyS0");
  EXPECT_EQ(lines[1], longLine.substr(0, TPppdOutputLines::MaxLine));
  EXPECT_EQ(lines[2], "local  IP address 10.0.0.2");

  // The end of output completes a last line without line end, but not a skipped one.
  lines.clear();
  output.Feed("no line end", collect);
  output.Finish(collect);
  output.Feed(std::string(TPppdOutputLines::MaxLine + 1, 'y'), collect);
  output.Finish(collect);
  output.Finish(collect);
  EXPECT_EQ(lines, (std::vector<std::string>{"no line end", std::string(TPppdOutputLines::MaxLine, 'y')}));
}

TEST_F(PppdBackend, PhoneBookListsPeerFilesSortedWithoutHiddenAndBackupFiles) {
  for (const char *name : {"t-online", "Arcor", "isp", ".hidden", "isp~", "isp.bak", "isp.orig",
                           "isp.dpkg-old", "isp.dpkg-dist", "provider"})
    Peer(name, "exit 0\n");
  ::mkdir((peers + "/folder").c_str(), 0755);
  ::symlink((peers + "/isp").c_str(), (peers + "/linked").c_str());
  TPppdRasBackend backend(peers, FakePppd());
  std::vector<std::string> entries{"stale"};
  EXPECT_EQ(backend.EnumEntries(entries), ERROR_SUCCESS);
  EXPECT_EQ(entries, (std::vector<std::string>{"Arcor", "isp", "linked", "provider", "t-online"}));

  bool saved = true;
  RasDialParams params = Params("isp");
  EXPECT_EQ(backend.GetEntryDialParams(params, saved), ERROR_SUCCESS);
  EXPECT_FALSE(saved);
  for (const char *name : {"isp.bak", ".hidden", "folder", "../peers/isp", "", "nobody"}) {
    params = Params(name);
    EXPECT_EQ(backend.GetEntryDialParams(params, saved), ERROR_CANNOT_FIND_PHONEBOOK_ENTRY) << name;
  }
}

TEST_F(PppdBackend, MissingFolderIsAnEmptyPhoneBookAndAnUnreadableOneAnError) {
  std::vector<std::string> entries{"stale"};
  EXPECT_EQ(TPppdRasBackend(dir.file("none"), FakePppd()).EnumEntries(entries), ERROR_SUCCESS);
  EXPECT_TRUE(entries.empty());
  kvtest::WriteFile(dir.file("plain"), "");
  entries = {"stale"};
  EXPECT_EQ(TPppdRasBackend(dir.file("plain"), FakePppd()).EnumEntries(entries), ERROR_CANNOT_OPEN_PHONEBOOK);
  EXPECT_TRUE(entries.empty());
}

TEST_F(PppdBackend, AsyncDialReportsProgressUntilConnectedAndHangUpEndsAndReapsPppd) {
  Peer("isp",
       "pidfile " + dir.file("pid") + "\n" + kConnectingLines + "say remote IP address 10.0.0.1\nhold\n");
  Collector collector; // outlives the backend, whose threads report into it
  TPppdRasBackend backend(peers, FakePppd());
  RasConnHandle handle = 0;
  ASSERT_EQ(backend.Dial(Params("isp"), collector.Notifier(), handle), ERROR_SUCCESS);
  EXPECT_NE(handle, 0u);
  ASSERT_TRUE(kvtest::WaitUntil([&] { return collector.Has(7); }));
  EXPECT_EQ(collector.Get(), (Reports{{RASCS_OpenPort, 0},
                                      {RASCS_DeviceConnected, 0},
                                      {RASCS_AllDevicesConnected, 0},
                                      {RASCS_Authenticate, 0},
                                      {RASCS_Authenticated, 0},
                                      {RASCS_Projected, 0},
                                      {RASCS_Connected, 0}}));
  const pid_t pid = PidOf(dir.file("pid"));
  EXPECT_EQ(backend.HangUp(handle), ERROR_SUCCESS);
  EXPECT_TRUE(kvtest::WaitUntil([&] { return Gone(pid); }));
  EXPECT_EQ(backend.HangUp(handle), ERROR_INVALID_HANDLE);
  EXPECT_EQ(collector.Get().back(), std::make_pair(RASCS_Connected, 0)); // nothing after the hang-up
}

TEST_F(PppdBackend, FailuresAndEndsArriveAsOneErrorReport) {
  struct Case {
    std::string commands;
    Reports expected;
  } cases[] = {
      {"exit 8\n", {{RASCS_OpenPort, 0}, {RASCS_OpenPort, ERROR_FROM_DEVICE}}},
      {"say Serial connection established.\nsay CHAP authentication failed\nexit 19\n",
       {{RASCS_OpenPort, 0},
        {RASCS_DeviceConnected, 0},
        {RASCS_DeviceConnected, ERROR_AUTHENTICATION_FAILURE}}},
      {"say Serial connection established.\nexit 0\n",
       {{RASCS_OpenPort, 0}, {RASCS_DeviceConnected, 0}, {RASCS_DeviceConnected, ERROR_DISCONNECTION}}},
      {"say remote IP address 10.0.0.1\nsay Modem hangup\nexit 16\n",
       {{RASCS_OpenPort, 0}, {RASCS_Connected, 0}, {RASCS_Disconnected, ERROR_REMOTE_DISCONNECTION}}},
      {"say remote IP address 10.0.0.1\nexit 0\n",
       {{RASCS_OpenPort, 0}, {RASCS_Connected, 0}, {RASCS_Disconnected, 0}}},
      {"say Serial connection established.\nsay Serial connection established.\nsay Using interface ppp0",
       {{RASCS_OpenPort, 0}, {RASCS_DeviceConnected, 0}, {RASCS_DeviceConnected, ERROR_DISCONNECTION}}},
  };
  std::list<Collector> collectors;
  TPppdRasBackend backend(peers, FakePppd());
  for (const auto &c : cases) {
    Peer("isp", c.commands);
    Collector &collector = collectors.emplace_back();
    RasConnHandle handle = 0;
    ASSERT_EQ(backend.Dial(Params("isp"), collector.Notifier(), handle), ERROR_SUCCESS);
    EXPECT_TRUE(kvtest::WaitUntil([&] { return collector.Has(c.expected.size()); })) << c.commands;
    EXPECT_EQ(collector.Get(), c.expected) << c.commands;
    EXPECT_EQ(backend.HangUp(handle), ERROR_SUCCESS); // the handle lives until hung up
  }
}

TEST_F(PppdBackend, SyncDialWaitsForTheLineOrTheFailure) {
  Peer("up",
       "pidfile " + dir.file("pid") + "\n" + kConnectingLines + "say remote IP address 10.0.0.1\nhold\n");
  Peer("locked", "say Device ttyS0 is locked by pid 99\nexit 6\n");
  TPppdRasBackend backend(peers, FakePppd());
  RasConnHandle handle = 0;
  EXPECT_EQ(backend.Dial(Params("up"), nullptr, handle), ERROR_SUCCESS);
  const pid_t pid = PidOf(dir.file("pid"));
  EXPECT_FALSE(Gone(pid));
  EXPECT_EQ(backend.HangUp(handle), ERROR_SUCCESS);
  EXPECT_TRUE(kvtest::WaitUntil([&] { return Gone(pid); }));

  EXPECT_EQ(backend.Dial(Params("locked"), nullptr, handle), ERROR_PORT_ALREADY_OPEN);
  EXPECT_NE(handle, 0u);
  EXPECT_EQ(backend.HangUp(handle), ERROR_SUCCESS);
}

TEST_F(PppdBackend, PppdIgnoringSigtermIsKilledAfterTheGraceAndTheNextDialWaitsForIt) {
  Peer("stubborn",
       "ignore-term\npidfile " + dir.file("pid") + "\nsay Serial connection established.\nhold\n");
  Peer("isp", "say Serial connection established.\nhold\n");
  Collector collector, second;
  TPppdRasBackend backend(peers, FakePppd(), 300ms);
  RasConnHandle handle = 0;
  ASSERT_EQ(backend.Dial(Params("stubborn"), collector.Notifier(), handle), ERROR_SUCCESS);
  ASSERT_TRUE(kvtest::WaitUntil([&] { return collector.Has(2); }));
  const pid_t pid = PidOf(dir.file("pid"));
  const auto hungUp = std::chrono::steady_clock::now();
  EXPECT_EQ(backend.HangUp(handle), ERROR_SUCCESS);
  EXPECT_FALSE(Gone(pid)); // HangUp does not wait for the line to close

  // The port stays locked until the old pppd is gone, so the next dial waits for that.
  RasConnHandle next = 0;
  EXPECT_EQ(backend.Dial(Params("isp"), second.Notifier(), next), ERROR_SUCCESS);
  const auto waited =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - hungUp);
  EXPECT_TRUE(Gone(pid)) << "pid " << pid;
  EXPECT_GE(waited, 300ms) << "pppd ended before its SIGKILL";
  EXPECT_EQ(collector.Get().size(), 2u);
}

TEST_F(PppdBackend, FloodingOutputHoldsUpNeitherTheHangUpNorTheEndOfTheDial) {
  // A "pppd" whose helper floods the shared output pipe and keeps it open, while pppd holds the
  // line (first dial) or ends by itself (second dial).
  const std::string script = dir.file("flooding-pppd");
  kvtest::WriteFile(script, "#!/bin/sh\nd='" + dir.path() + "'\n" + R"(echo $$ > "$d/pid-$2"
printf 'Serial connection established.\n'
yes 'flood of output' &
echo $! > "$d/flooder-$2"
[ "$2" = ending ] && exit 8
while :; do sleep 0.05; done
)",
                    0755);
  Peer("holding", "");
  Peer("ending", "");
  std::vector<pid_t> flooders;
  {
    Collector holding, ending;
    TPppdRasBackend backend(peers, script);
    RasConnHandle handle = 0;
    ASSERT_EQ(backend.Dial(Params("holding"), holding.Notifier(), handle), ERROR_SUCCESS);
    flooders.push_back(PidOf(dir.file("flooder-holding")));
    const pid_t pid = PidOf(dir.file("pid-holding"));
    EXPECT_TRUE(kvtest::WaitUntil([&] { return holding.Has(2); }));
    EXPECT_EQ(backend.HangUp(handle), ERROR_SUCCESS);
    EXPECT_TRUE(kvtest::WaitUntil([&] { return Gone(pid); }));

    ASSERT_EQ(backend.Dial(Params("ending"), ending.Notifier(), handle), ERROR_SUCCESS);
    flooders.push_back(PidOf(dir.file("flooder-ending")));
    EXPECT_TRUE(kvtest::WaitUntil([&] { return ending.Has(3); }));
    EXPECT_EQ(ending.Get(), (Reports{{RASCS_OpenPort, 0},
                                     {RASCS_DeviceConnected, 0},
                                     {RASCS_DeviceConnected, ERROR_FROM_DEVICE}}));
    EXPECT_EQ(holding.Get(), (Reports{{RASCS_OpenPort, 0}, {RASCS_DeviceConnected, 0}}));
  }
  // Normally gone with the closed pipe; a flooder still running is stopped here.
  for (pid_t flooder : flooders)
    if (flooder > 0 && kvtest::ReadFile("/proc/" + std::to_string(flooder) + "/comm") == "yes\n")
      ::kill(flooder, SIGKILL);
}

TEST_F(PppdBackend, PppdThatCannotRunIsReportedAtOnce) {
  Peer("isp", "exit 0\n");
  RasConnHandle handle = 5;
  Collector collector;
  EXPECT_EQ(TPppdRasBackend(peers, dir.file("no-pppd")).Dial(Params("isp"), collector.Notifier(), handle),
            ERROR_RASMAN_CANNOT_INITIALIZE);
  EXPECT_EQ(handle, 0u);
  kvtest::WriteFile(dir.file("not-executable"), "#!/bin/sh\n", 0644);
  EXPECT_EQ(TPppdRasBackend(peers, dir.file("not-executable")).Dial(Params("isp"), nullptr, handle),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(TPppdRasBackend(peers, "korvane-no-such-pppd").Dial(Params("isp"), nullptr, handle),
            ERROR_RASMAN_CANNOT_INITIALIZE);
  EXPECT_EQ(TPppdRasBackend(peers, FakePppd()).Dial(Params("absent"), nullptr, handle),
            ERROR_CANNOT_FIND_PHONEBOOK_ENTRY);
  EXPECT_TRUE(collector.Get().empty());
}

TEST_F(PppdBackend, APppdNamedWithoutAFolderIsFoundThroughPath) {
  Peer("locked", "exit 6\n");
  const std::string old_path = std::getenv("PATH") ? std::getenv("PATH") : "";
  const std::string folder = std::filesystem::path(FakePppd()).parent_path();
  ::setenv("PATH", ("/korvane-no-such-folder::" + folder + ":" + old_path).c_str(), 1);
  RasConnHandle handle = 0;
  const int result = TPppdRasBackend(peers, "fake-pppd").Dial(Params("locked"), nullptr, handle);
  ::setenv("PATH", old_path.c_str(), 1);
  EXPECT_EQ(result, ERROR_PORT_ALREADY_OPEN);
}

TEST_F(PppdBackend, ComponentOverPppdFollowsTheDialAndEndsPppdWhenDestroyed) {
  Peer("isp",
       "pidfile " + dir.file("pid") + "\n" + kConnectingLines + "say remote IP address 10.0.0.1\nhold\n");
  kv::platform::ManualDispatcher gui;
  std::vector<std::string> texts;
  auto dialUp = std::make_unique<TDialUp>(gui, std::make_unique<TPppdRasBackend>(peers, FakePppd()));
  dialUp->OnAsyncEvent = [&](TDialUp *, int, int, const std::string &text) { texts.push_back(text); };
  ASSERT_EQ(dialUp->GetEntries(), ERROR_SUCCESS);
  ASSERT_EQ(dialUp->Entries(), std::vector<std::string>{"isp"});
  dialUp->Entry = "isp";
  ASSERT_EQ(dialUp->Dial(), ERROR_SUCCESS);
  EXPECT_TRUE(kvtest::WaitUntil([&] {
    gui.RunPending();
    return dialUp->ConnectionState == RASCS_Connected && texts.size() == 7;
  }));
  EXPECT_EQ(texts.front(), "Opening port");
  EXPECT_EQ(texts.back(), "Connected");
  const pid_t pid = PidOf(dir.file("pid"));
  dialUp.reset();
  EXPECT_TRUE(Gone(pid));
}
