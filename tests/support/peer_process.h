#pragma once
// A test server as a child process: its files in a private folder, its output in peer.log, on a
// port that no other test is handed, ready once it alone serves there, stopped by process id.
// The concrete peers (chronyd, danted, microsocks, tinyproxy, openssl s_server, aiosmtpd,
// http.server) derive from it.

#include <chrono>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "test_support.h"

namespace kvtest {

class PeerProcess {
public:
  PeerProcess() = default;
  PeerProcess(const PeerProcess &) = delete;
  PeerProcess &operator=(const PeerProcess &) = delete;
  virtual ~PeerProcess() { Stop(); }

  // Where the server listens: connect here, not to a name that may lead elsewhere.
  const std::string &Address() const { return address_; }
  int Port() const { return port_; }
  std::string PortText() const { return std::to_string(port_); }
  // Why the last start failed.
  const std::string &why() const { return why_; }
  // What the server wrote to its standard output and error.
  std::string Log() const { return ReadFile(dir_.file("peer.log")); }
  // The server's private folder, and a file in it.
  const std::string &Dir() const { return dir_.path(); }
  std::string File(const std::string &name) const { return dir_.file(name); }
  void Stop() {
    if (child_.pid() > 0 && child_.Running()) child_.Stop();
  }

protected:
  // Starts the server on `address` and a port leased for it (PortLease), so that no other test
  // meets it there: `prepare(port)` writes what the server needs for that port and returns its
  // command line (argv[0] looked up in PATH and in `dirs`). Ready within `timeout` once the
  // server alone holds address:port (TCP: listening; UDP: bound) and `ready` holds. When another
  // program holds the port, or the server ends first (a bind that failed), it starts again on
  // another port. False, with the reason in why(), when it does not come up.
  bool LaunchOnLeasedPort(const std::string &address, bool udp,
                          const std::function<std::vector<std::string>(const std::string &port)> &prepare,
                          const std::vector<std::string> &dirs, const std::function<bool()> &ready = {},
                          std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    address_ = address;
    for (int attempt = 1;; ++attempt) {
      lease_ = PortLease();
      port_ = lease_->Port();
      const Outcome outcome = Launch(prepare(PortText()), dirs, udp, "", ready, timeout);
      if (outcome == Outcome::Up) return true;
      if (outcome == Outcome::Failed || attempt == 3) return false;
    }
  }

  // Starts the server on `address`:`port`, which the test chose; ready as above, no second try.
  bool LaunchOnPort(const std::string &address, int port, bool udp, const std::vector<std::string> &argv,
                    const std::vector<std::string> &dirs, const std::function<bool()> &ready = {},
                    std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    address_ = address;
    port_ = port;
    return Launch(argv, dirs, udp, "", ready, timeout) == Outcome::Up;
  }

  // Starts a TCP server that binds port 0 of `address` itself and writes the number it got into
  // `port_file`; ready once the server alone listens there.
  bool LaunchReportingPort(const std::string &address, const std::vector<std::string> &argv,
                           const std::string &port_file, std::chrono::milliseconds timeout) {
    address_ = address;
    port_ = 0;
    return Launch(argv, {}, false, port_file, {}, timeout) == Outcome::Up;
  }

  bool Fail(const std::string &why) {
    why_ = why;
    Stop();
    return false;
  }

  TempDir dir_;
  ChildProcess child_;
  std::string address_;
  int port_ = 0;
  std::string why_;

private:
  // Failed: not worth a second try.
  enum class Outcome { Up, Ended, PortTaken, Failed };

  Outcome Launch(std::vector<std::string> argv, const std::vector<std::string> &dirs, bool udp,
                 const std::string &port_file, const std::function<bool()> &ready,
                 std::chrono::milliseconds timeout) {
    const std::string program = FindProgram(argv[0], dirs);
    if (program.empty()) {
      Fail(argv[0] + " not found (scripts/fetch-peers unpacks it into build/peers)");
      return Outcome::Failed;
    }
    argv[0] = program;
    if (!child_.Start(argv, File("peer.log"))) {
      Fail("cannot start " + program);
      return Outcome::Failed;
    }
    PortHolder holder = PortHolder::Nobody;
    bool up = false;
    WaitUntil(
        [&] {
          if (!child_.Running()) return true;
          if (port_ == 0) port_ = std::atoi(ReadFile(port_file).c_str());
          if (port_ == 0) return false;
          holder = WhoHolds(address_, port_, udp, child_.pid());
          up = holder == PortHolder::Ours && (!ready || ready());
          return up || holder == PortHolder::Others;
        },
        timeout);
    if (up) return Outcome::Up;
    if (!child_.Running()) {
      Fail(program + " ended before it served on " + address_ + ":" + PortText() + ": " + Log());
      return Outcome::Ended;
    }
    if (holder == PortHolder::Others) {
      Fail("another program holds " + address_ + ":" + PortText());
      return Outcome::PortTaken;
    }
    Fail(program + " did not serve on " + address_ + ":" + PortText() + " within " +
         std::to_string(timeout.count()) + " ms: " + Log());
    return Outcome::Failed;
  }

  std::optional<PortLease> lease_;
};

} // namespace kvtest
