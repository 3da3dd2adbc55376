#pragma once
// A test server as a child process: its files in a private folder, its output in peer.log,
// ready once a condition holds, stopped by process id. The concrete peers (chronyd, danted,
// microsocks, tinyproxy, openssl s_server, aiosmtpd) derive from it.

#include <chrono>
#include <functional>
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
  // Starts `argv` (argv[0] looked up in PATH and in `dirs`) and waits up to `timeout` until
  // `ready` holds. False, with the reason in why(), when it cannot start or ends before that.
  bool Launch(std::vector<std::string> argv, const std::vector<std::string> &dirs,
              const std::function<bool()> &ready, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const std::string program = FindProgram(argv[0], dirs);
    if (program.empty()) return Fail(argv[0] + " not found (scripts/fetch-peers unpacks it into build/peers)");
    argv[0] = program;
    if (!child_.Start(argv, File("peer.log"))) return Fail("cannot start " + program);
    const bool up = WaitUntil([&] { return !child_.Running() || ready(); }, timeout);
    if (!up || !child_.Running()) return Fail(program + " did not start: " + Log());
    return true;
  }
  bool Fail(const std::string &why) {
    why_ = why;
    Stop();
    return false;
  }

  TempDir dir_;
  ChildProcess child_;
  int port_ = 0;
  std::string why_;
};

} // namespace kvtest
