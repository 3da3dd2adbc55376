#pragma once
// A test server as a child process: its files in a private folder, its output in peer.log, on a
// port that no other test is handed, ready once it alone serves there, stopped with its whole
// process group.
// The concrete peers (chronyd, danted, microsocks, tinyproxy, openssl s_server, aiosmtpd,
// http.server) derive from it.

#include <chrono>
#include <cstdlib>
#include <deque>
#include <functional>
#include <string>
#include <unistd.h>
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
  void Stop() { child_.Stop(); }

protected:
  // The command line of a server for the port given as text.
  using Command = std::function<std::vector<std::string>(const std::string &port)>;

  // Starts the server on `address` and `port`, or (port 0) on a port leased for it (PortLease) so
  // that no other test meets it there: `prepare(port)` writes what the server needs for that port
  // and returns its command line (argv[0] looked up in PATH and in `dirs`). Ready within `timeout`
  // once the server alone holds address:port (TCP: listening; UDP: bound) and `ready` holds. When
  // another program holds a leased port, or the server ends first (a bind that failed), it starts
  // again on another. False, with the reason in why(), when it does not come up.
  bool LaunchOn(const std::string &address, int port, bool udp, const Command &prepare,
                const std::vector<std::string> &dirs, const std::function<bool()> &ready = {},
                std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    address_ = address;
    for (int attempt = 1;; ++attempt) {
      if (port == 0) leases_.emplace_back(); // the ports tried before stay leased: none comes again
      port_ = port != 0 ? port : leases_.back().Port();
      const Outcome outcome = Launch(prepare(PortText()), dirs, udp, ready, timeout);
      if (outcome == Outcome::Up) return true;
      if (outcome == Outcome::Failed || port != 0 || attempt == 3) return false;
    }
  }

  // Starts tests/peers/`script` with python3 on `host`, followed by `args`: a TCP server that
  // binds port 0 itself and writes the number it got into File("ready"), given with --ready.
  // Ready (within 15 s) once it alone listens there.
  bool LaunchPythonServer(const std::string &script, const std::string &host, std::vector<std::string> args) {
    if (::access("/usr/bin/python3", X_OK) != 0) return Fail("/usr/bin/python3 missing");
    address_ = host;
    port_ = 0;
    args.insert(args.begin(), {"/usr/bin/python3", SourceDir() + "/tests/peers/" + script, "--host", host,
                               "--ready", File("ready")});
    return Launch(args, {}, false, {}, std::chrono::seconds(15)) == Outcome::Up;
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
  // Retry: another port may do (another program holds it, or the server ended early, as after a
  // failed bind). Failed: not worth a second try.
  enum class Outcome { Up, Retry, Failed };

  // Starts `argv` and waits until it serves on address_:port_; with port_ 0, on the port it
  // writes into File("ready").
  Outcome Launch(std::vector<std::string> argv, const std::vector<std::string> &dirs, bool udp,
                 const std::function<bool()> &ready, std::chrono::milliseconds timeout) {
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
          if (port_ == 0) port_ = std::atoi(ReadFile(File("ready")).c_str());
          if (port_ == 0) return false;
          holder = WhoHolds(address_, port_, udp, child_.pid());
          up = holder == PortHolder::Ours && (!ready || ready());
          return up || holder == PortHolder::Others;
        },
        timeout);
    if (up) return Outcome::Up;
    if (!child_.Running()) {
      Fail(program + " ended before it served on " + address_ + ":" + PortText() + ": " + Log());
      return Outcome::Retry;
    }
    if (holder == PortHolder::Others) {
      Fail("another program holds " + address_ + ":" + PortText());
      return Outcome::Retry;
    }
    Fail(program + " did not serve on " + address_ + ":" + PortText() + " within " +
         std::to_string(timeout.count()) + " ms: " + Log());
    return Outcome::Failed;
  }

  std::deque<PortLease> leases_;
};

} // namespace kvtest
