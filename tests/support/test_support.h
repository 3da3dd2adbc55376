#pragma once
// Helpers shared by the tests: private temporary folders, waiting for a condition with a
// deadline, and child processes (test servers) that are stopped by process id.

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kvtest {

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it on destruction.
class TempDir {
public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;
  const std::string &path() const { return path_; }
  // path() + "/" + name
  std::string file(const std::string &name) const;

private:
  std::string path_;
};

// Sets an environment variable for the object's lifetime, then puts back the old value (or
// removes the variable when there was none).
class ScopedEnv {
public:
  ScopedEnv(const char *name, const std::string &value) : name_(name) {
    if (const char *old = std::getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_)
      setenv(name_, old_->c_str(), 1);
    else
      unsetenv(name_);
  }
  ScopedEnv(const ScopedEnv &) = delete;
  ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
  const char *name_;
  std::optional<std::string> old_;
};

// Polls `condition` every few milliseconds until it holds or `timeout` has passed.
// Returns the condition's last value.
bool WaitUntil(const std::function<bool()> &condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));

// Milliseconds since `start`.
inline int64_t ElapsedMs(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
      .count();
}

// Processor time this thread has used, in microseconds: for comparing costs on a busy machine.
int64_t ThreadCpuMicros();

// A test name made of `text`: letters and digits kept, every other run of characters one "_"
// ("<A href=\"x\">" gives "A_href_x"), never empty.
std::string TestNameOf(const std::string &text);

// Whole contents of a file, or "" when it cannot be read.
std::string ReadFile(const std::string &path);
// Writes (replaces) a file; throws std::runtime_error on failure.
void WriteFile(const std::string &path, const std::string &contents, unsigned mode = 0644);
// Sets or clears the append-only flag of a file; false where the file system or the rights do
// not allow it (it takes root).
bool SetAppendOnly(const std::string &path, bool on);

// A child process started with posix_spawnp (no shell) as the leader of its own process group.
// Its standard output and error go to the given log file (or /dev/null). Stop and the destructor
// signal the whole group: SIGTERM, up to 5 s for every member to end, then SIGKILL.
class ChildProcess {
public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess &) = delete;
  ChildProcess &operator=(const ChildProcess &) = delete;

  // Starts argv[0] (looked up in PATH). Returns false when it could not be started.
  bool Start(const std::vector<std::string> &argv, const std::string &log_file = "/dev/null",
             const std::vector<std::string> &extra_env = {});
  // Sends `sig` to the process group and waits until none of it is left (after `grace`, with
  // SIGKILL); returns the process's exit status as from waitpid (-1 if none).
  int Stop(int sig = 15, std::chrono::milliseconds grace = std::chrono::seconds(5));
  // Waits for the process to end by itself; returns the waitpid status or -1 on time-out.
  int Wait(std::chrono::milliseconds timeout);
  // True while the process has not exited.
  bool Running();
  int pid() const { return pid_; }

private:
  int pid_ = -1;
  int group_ = -1; // kept while members outlive the process
  int status_ = -1;
};

// True while a process of the group `group` runs (zombies do not count).
bool GroupAlive(int group);

// Finds a program in PATH or in the folders given (a name with a "/" is taken as it is);
// returns "" when absent.
std::string FindProgram(const std::string &name, const std::vector<std::string> &extra_dirs = {});

// The source tree (KORVANE_SOURCE_DIR, set by CTest; "." without it).
std::string SourceDir();
// Folder of the test servers unpacked by scripts/fetch-peers (KORVANE_PEERS_DIR, or
// <source>/build/peers).
std::string PeersDir();

// Makes a self-signed certificate and key with `common_name` and `subject_alt_name` (for
// example "DNS:localhost,IP:127.0.0.1"). Returns false when openssl is missing or fails; its
// output goes to `log_file`.
bool MakeSelfSignedCertificate(const std::string &cert_file, const std::string &key_file,
                               const std::string &common_name, const std::string &subject_alt_name,
                               const std::string &log_file);

// Makes a certificate authority for tests: a self-signed CA certificate and its key. False when
// openssl is missing or fails; its output goes to `log_file`.
bool MakeTestCertificateAuthority(const std::string &ca_cert, const std::string &ca_key,
                                  const std::string &name, const std::string &log_file);
// Makes a server certificate and key signed by that authority, for `common_name` and
// `subject_alt_name` (for example "DNS:localhost,IP:127.0.0.1").
bool MakeCertificateSignedBy(const std::string &ca_cert, const std::string &ca_key,
                             const std::string &cert_file, const std::string &key_file,
                             const std::string &common_name, const std::string &subject_alt_name,
                             const std::string &log_file);

// The text of the `Error` that `action` throws, or "(no failure)" when it throws none.
template <class Error, class Action> std::string FailureText(Action &&action) {
  try {
    action();
  } catch (const Error &e) {
    return e.what();
  }
  return "(no failure)";
}

// True under CI (CI=true): there a missing test peer is a failure, not a skip.
bool InCI();

// True when this process may bind ports below 1024: the system lets everybody (as containers
// often do), or it holds CAP_NET_BIND_SERVICE.
bool MayBindLowPorts();

// A port number that no other test on this machine is handed while the lease lives: for TCP
// and UDP alike, on every address. It comes from outside the range the system hands out for
// port 0, as `range_file` gives it (so no socket bound to port 0 gets it either), and nothing is
// bound to it when leased. The lease is an abstract Unix socket named after the port, so it ends
// with the process, however the process ends.
class PortLease {
public:
  // Throws std::runtime_error when no port is free.
  explicit PortLease(const std::string &range_file = "/proc/sys/net/ipv4/ip_local_port_range");
  ~PortLease();
  PortLease(const PortLease &) = delete;
  PortLease &operator=(const PortLease &) = delete;
  int Port() const { return port_; }

private:
  int fd_ = -1;
  int port_ = 0;
};

// The fixed port that address leases are for: NTP's.
constexpr int kLeasedAddressPort = 123;

// A loopback address of its own (in 127.77.0.0/16, or one of `candidates`) for a peer that must
// use a fixed port, NTP's 123: no other test on this machine is handed it while the lease lives,
// and nothing holds that port there when leased.
class AddressLease {
public:
  // Throws std::runtime_error when none is free.
  explicit AddressLease(const std::vector<std::string> &candidates = {});
  ~AddressLease();
  AddressLease(const AddressLease &) = delete;
  AddressLease &operator=(const AddressLease &) = delete;
  const std::string &Address() const { return address_; }

private:
  int fd_ = -1;
  std::string address_;
};

// A port where nobody listens, leased (see PortLease) until this process ends.
int FreePort();

// Who holds address:port (IPv4) with a listening TCP socket (or a bound UDP socket). Ours: only
// processes started by `pid` (its process group and its descendants) do.
enum class PortHolder { Nobody, Ours, Others };
PortHolder WhoHolds(const std::string &address, int port, bool udp, int pid);

} // namespace kvtest

// Skips the test when a peer program is missing, except under CI where that is a failure.
#define KV_REQUIRE_PEER(cond, what)                                                                          \
  do {                                                                                                       \
    if (!(cond)) {                                                                                           \
      if (::kvtest::InCI())                                                                                  \
        FAIL() << "test peer missing under CI: " << (what);                                                  \
      else                                                                                                   \
        GTEST_SKIP() << "test peer missing: " << (what);                                                     \
    }                                                                                                        \
  } while (0)
