#pragma once
// Command lines that start the built programs as cron, a systemd timer or a fresh login would:
// no display, `home` as the home folder (settings under home/.config); and a fixture that runs
// "korvan /a" so against chronyd.

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "test_support.h"
#include "tests/peers/chronyd_peer.h"

namespace kvtest {

// "env" without any display and with `home`: put the program and its arguments after it.
inline std::vector<std::string> NoDisplayEnv(const std::string &home) {
  return {"env",
          "-u",
          "DISPLAY",
          "-u",
          "WAYLAND_DISPLAY",
          "-u",
          "QT_QPA_PLATFORM",
          "HOME=" + home,
          "XDG_CONFIG_HOME=" + home + "/.config",
          "XDG_RUNTIME_DIR=" + home};
}

// The built program `name` ("korvan", "kvnadm", "kvnsched").
inline std::string BuiltProgram(const std::string &name) {
  return std::string(std::getenv("KORVANE_BUILD_DIR")) + "/app/" + name;
}

// "korvan /a" without the right to set the clock.
inline std::vector<std::string> KorvanAutoCommand(const std::string &home) {
  std::vector<std::string> argv = {"setpriv", "--inh-caps=-sys_time", "--bounding-set=-sys_time"};
  for (const std::string &a : NoDisplayEnv(home))
    argv.push_back(a);
  argv.push_back(BuiltProgram("korvan"));
  argv.push_back("/a");
  return argv;
}

// chronyd on port 123 of a loopback address of its own (address_), so that other tests on this
// machine do not meet there; "korvan /a" run against it as root without the right to set the
// clock, with home_ as its home. log_ is a folder for its log.
class KorvanAutoAgainstChronyd : public ::testing::Test {
protected:
  void SetUp() override {
    KV_REQUIRE_PEER(::geteuid() == 0, "root: the time server must listen on port 123");
    KV_REQUIRE_PEER(!FindProgram("setpriv").empty(), "setpriv (util-linux)");
    KV_REQUIRE_PEER(chronyd_.Start(address_, 123), "chronyd on " + address_ + ":123: " + chronyd_.why());
  }

  // Runs "korvan /a" to its end; returns its exit status (-1 when it did not exit).
  int RunKorvan() {
    ChildProcess p;
    EXPECT_TRUE(p.Start(KorvanAutoCommand(home_.path()), home_.file("stderr")));
    const int status = p.Wait(std::chrono::seconds(60));
    EXPECT_TRUE(WIFEXITED(status)) << status << Stderr();
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string Stderr() const { return ReadFile(home_.file("stderr")); }

  // The text of the log files in log_.
  std::string LogText() const {
    std::string text;
    if (DIR *d = opendir(log_.path().c_str())) {
      while (dirent *e = readdir(d))
        if (std::string(e->d_name).rfind("korvanlog.", 0) == 0) text += ReadFile(log_.file(e->d_name));
      closedir(d);
    }
    return text;
  }

  TempDir home_, log_;
  AddressLease lease_;
  const std::string address_ = lease_.Address();
  ChronydPeer chronyd_;
};

} // namespace kvtest
