#include "test_support.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <linux/fs.h>
#include <mutex>
#include <netinet/in.h>
#include <random>
#include <set>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <utility>

extern char **environ;

namespace kvtest {

TempDir::TempDir() {
  const char *base = std::getenv("TMPDIR");
  std::string tmpl = std::string(base && *base ? base : "/tmp") + "/korvane-test-XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed: " + std::string(strerror(errno)));
  path_ = buf.data();
}

TempDir::~TempDir() {
  std::error_code ec;
  // Make everything writable first so that tests on read-only folders still clean up.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
  }
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                               ec);
  std::filesystem::remove_all(path_, ec);
}

std::string TempDir::file(const std::string &name) const {
  return path_ + "/" + name;
}

bool WaitUntil(const std::function<bool()> &condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (true) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return condition();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

int64_t ThreadCpuMicros() {
  timespec t{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<int64_t>(t.tv_sec) * 1000000 + t.tv_nsec / 1000;
}

std::string TestNameOf(const std::string &text) {
  std::string name;
  bool gap = false;
  for (const unsigned char c : text) {
    if (std::isalnum(c) && c < 0x80) {
      if (gap && !name.empty()) name += '_';
      name += static_cast<char>(c);
      gap = false;
    } else {
      gap = true;
    }
  }
  return name.empty() ? "Empty" : name;
}

std::string ReadFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

bool SetAppendOnly(const std::string &path, bool on) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  int flags = 0;
  bool done = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  flags = on ? flags | FS_APPEND_FL : flags & ~FS_APPEND_FL;
  done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  if (fd >= 0) ::close(fd);
  return done;
}

void WriteFile(const std::string &path, const std::string &contents, unsigned mode) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  if (fd < 0) throw std::runtime_error("cannot write " + path + ": " + strerror(errno));
  size_t done = 0;
  while (done < contents.size()) {
    ssize_t n = ::write(fd, contents.data() + done, contents.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ::close(fd);
      throw std::runtime_error("write failed: " + path);
    }
    done += static_cast<size_t>(n);
  }
  ::fchmod(fd, mode);
  ::close(fd);
}

namespace {

struct ProcessEntry {
  int pid, parent, group;
  char state;
};

// Every process of this machine (of this PID namespace).
std::vector<ProcessEntry> ProcessTable() {
  std::vector<ProcessEntry> all;
  if (DIR *proc = ::opendir("/proc")) {
    while (const dirent *e = ::readdir(proc)) {
      if (!std::isdigit(static_cast<unsigned char>(e->d_name[0]))) continue;
      // "pid (name) state ppid pgrp ...": the name may hold anything, so read after its ')'.
      const std::string stat = ReadFile(std::string("/proc/") + e->d_name + "/stat");
      const auto close = stat.rfind(')');
      if (close == std::string::npos) continue;
      std::istringstream rest(stat.substr(close + 1));
      ProcessEntry p{std::atoi(e->d_name), 0, 0, 0};
      if (rest >> p.state >> p.parent >> p.group) all.push_back(p);
    }
    ::closedir(proc);
  }
  return all;
}

} // namespace

bool GroupAlive(int group) {
  for (const ProcessEntry &p : ProcessTable())
    if (p.group == group && p.state != 'Z' && p.state != 'X') return true;
  return false;
}

ChildProcess::~ChildProcess() {
  Stop();
}

bool ChildProcess::Start(const std::vector<std::string> &argv, const std::string &log_file,
                         const std::vector<std::string> &extra_env) {
  if (argv.empty() || pid_ > 0) return false;
  Stop(); // what an earlier run left behind
  std::vector<char *> args;
  for (const auto &a : argv)
    args.push_back(const_cast<char *>(a.c_str()));
  args.push_back(nullptr);
  std::vector<std::string> env_store;
  for (char **e = environ; *e; ++e)
    env_store.emplace_back(*e);
  for (const auto &e : extra_env)
    env_store.push_back(e);
  std::vector<char *> env;
  for (auto &e : env_store)
    env.push_back(e.data());
  env.push_back(nullptr);

  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 1, log_file.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&fa, 1, 2);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  // Own process group, so a stop reaches the whole server and not the test.
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attr, 0);
  pid_t pid = -1;
  int rc = posix_spawnp(&pid, args[0], &fa, &attr, args.data(), env.data());
  posix_spawn_file_actions_destroy(&fa);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) return false;
  pid_ = group_ = pid;
  status_ = -1;
  return true;
}

bool ChildProcess::Running() {
  if (pid_ <= 0) return false;
  int st = 0;
  pid_t r = waitpid(pid_, &st, WNOHANG);
  if (r == pid_) {
    status_ = st;
    pid_ = -1;
    // Helpers it left behind keep its group; without them the number may soon be another's.
    if (!GroupAlive(group_)) group_ = -1;
    return false;
  }
  return true;
}

int ChildProcess::Wait(std::chrono::milliseconds timeout) {
  if (pid_ <= 0) return status_;
  WaitUntil([this] { return !Running(); }, timeout);
  return pid_ <= 0 ? status_ : -1;
}

int ChildProcess::Stop(int sig, std::chrono::milliseconds grace) {
  // Never kill() with a number below 1: 0 and -1 would reach this test's own group or everyone.
  const int group = group_;
  if (group <= 0 || (pid_ <= 0 && !GroupAlive(group))) {
    group_ = -1;
    return status_;
  }
  // The whole group: a server's helpers may outlive the process that started them.
  ::kill(-group, sig);
  if (!WaitUntil([&] { return !Running() && !GroupAlive(group); }, grace)) {
    ::kill(-group, SIGKILL);
    if (pid_ > 0) {
      int st = 0;
      waitpid(pid_, &st, 0);
      status_ = st;
      pid_ = -1;
    }
    WaitUntil([&] { return !GroupAlive(group); }, std::chrono::seconds(5));
  }
  group_ = -1;
  return status_;
}

std::string FindProgram(const std::string &name, const std::vector<std::string> &extra_dirs) {
  if (name.find('/') != std::string::npos) return ::access(name.c_str(), X_OK) == 0 ? name : std::string();
  std::vector<std::string> dirs = extra_dirs;
  const char *path = std::getenv("PATH");
  std::stringstream ss(path ? path : "/usr/bin:/bin");
  for (std::string d; std::getline(ss, d, ':');)
    dirs.push_back(d);
  for (const char *d : {"/usr/sbin", "/sbin"})
    dirs.emplace_back(d);
  for (const auto &d : dirs) {
    std::string p = d + "/" + name;
    if (::access(p.c_str(), X_OK) == 0) return p;
  }
  return {};
}

std::string SourceDir() {
  const char *src = std::getenv("KORVANE_SOURCE_DIR");
  return src && *src ? src : ".";
}

std::string PeersDir() {
  const char *dir = std::getenv("KORVANE_PEERS_DIR");
  return dir && *dir ? dir : SourceDir() + "/build/peers";
}

namespace {

// Runs openssl with `args`; true when it ends with status 0 within a minute.
bool RunOpenssl(const std::vector<std::string> &args, const std::string &log_file) {
  const std::string openssl = FindProgram("openssl");
  if (openssl.empty()) return false;
  std::vector<std::string> argv{openssl};
  argv.insert(argv.end(), args.begin(), args.end());
  ChildProcess p;
  return p.Start(argv, log_file) && p.Wait(std::chrono::seconds(60)) == 0;
}

} // namespace

bool MakeTestCertificateAuthority(const std::string &ca_cert, const std::string &ca_key,
                                  const std::string &name, const std::string &log_file) {
  return RunOpenssl({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                     "-days", "2", "-subj", "/CN=" + name, "-addext", "basicConstraints=critical,CA:TRUE",
                     "-addext", "keyUsage=critical,keyCertSign,cRLSign", "-keyout", ca_key, "-out", ca_cert},
                    log_file);
}

bool MakeCertificateSignedBy(const std::string &ca_cert, const std::string &ca_key,
                             const std::string &cert_file, const std::string &key_file,
                             const std::string &common_name, const std::string &subject_alt_name,
                             const std::string &log_file) {
  const std::string csr = cert_file + ".csr";
  const std::string ext = cert_file + ".ext";
  WriteFile(ext, "basicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\nsubjectAltName=" +
                     subject_alt_name + "\n");
  return RunOpenssl({"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-subj",
                     "/CN=" + common_name, "-keyout", key_file, "-out", csr},
                    log_file) &&
         RunOpenssl({"x509", "-req", "-in", csr, "-CA", ca_cert, "-CAkey", ca_key, "-CAcreateserial", "-days",
                     "2", "-extfile", ext, "-out", cert_file},
                    log_file);
}

bool MakeSelfSignedCertificate(const std::string &cert_file, const std::string &key_file,
                               const std::string &common_name, const std::string &subject_alt_name,
                               const std::string &log_file) {
  const std::string openssl = FindProgram("openssl");
  if (openssl.empty()) return false;
  ChildProcess req;
  if (!req.Start({openssl, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                  "/CN=" + common_name, "-addext", "subjectAltName=" + subject_alt_name, "-keyout", key_file,
                  "-out", cert_file},
                 log_file))
    return false;
  return req.Wait(std::chrono::seconds(60)) == 0;
}

bool InCI() {
  const char *ci = std::getenv("CI");
  return ci && std::string(ci) == "true";
}

namespace {

// Holds the abstract Unix socket `name` (in this network namespace, like the ports); -1 when
// another process holds it.
int HoldName(const std::string &name) {
  sockaddr_un a{};
  if (name.size() + 1 > sizeof a.sun_path) return -1;
  a.sun_family = AF_UNIX;
  std::memcpy(a.sun_path + 1, name.data(), name.size()); // sun_path[0] == 0: abstract
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const auto len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
  if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr *>(&a), len) == 0) return fd;
  if (fd >= 0) ::close(fd);
  return -1;
}

// Walks the numbers [0, count) from a random start, so that tests starting together seldom try
// the same ones, until `take` accepts one. False when none is accepted.
bool TakeOne(int count, const std::function<bool(int)> &take) {
  static std::mutex mutex;
  static std::mt19937 random(std::random_device{}() ^ static_cast<unsigned>(::getpid()));
  int start = 0;
  {
    std::lock_guard<std::mutex> lock(mutex);
    start = std::uniform_int_distribution<int>(0, count - 1)(random);
  }
  for (int i = 0; i < count; ++i)
    if (take((start + i) % count)) return true;
  return false;
}

// Defined with the other readers of /proc below.
std::vector<unsigned long> BoundSockets(const std::string &address, int port, bool udp);

// The ports leases come from, [first, end): the largest stretch outside the system's range for
// port 0 (read from `range_file`), so that no socket bound to port 0 and no outgoing connection
// gets a leased port. Below the range it starts at 1024 and spans at most 16384 ports, clear of
// the many services at low numbers; ports 512 to 1023 count where this process may bind them,
// since a range of 1024 to 65535 leaves no other. With no port outside the range at all, the
// range itself: then only the checks at lease time and a peer's new start elsewhere help.
std::pair<int, int> LeasedPorts(const std::string &range_file) {
  int low = 32768, high = 60999;
  std::ifstream(range_file) >> low >> high;
  std::vector<std::pair<int, int>> stretches{{std::max(1024, low - 16384), low}, {high + 1, 65536}};
  if (MayBindLowPorts()) stretches.emplace_back(512, std::min(1024, low));
  const auto size = [](const std::pair<int, int> &s) { return s.second - s.first; };
  const auto largest = *std::max_element(stretches.begin(), stretches.end(),
                                         [&](const auto &a, const auto &b) { return size(a) < size(b); });
  return size(largest) > 0 ? largest : std::pair<int, int>{1024, 65536};
}

// True when a socket of `family` and `type` can bind `port` on the family's any-address. Without
// SO_REUSEADDR a port in TIME_WAIT counts as bound. A machine without IPv6 binds nothing there.
bool Binds(int family, int type, int port) {
  const int fd = ::socket(family, type | SOCK_CLOEXEC, 0);
  if (fd < 0) return family == AF_INET6;
  sockaddr_in a4{}; // INADDR_ANY
  a4.sin_family = AF_INET;
  a4.sin_port = htons(static_cast<uint16_t>(port));
  sockaddr_in6 a6{}; // in6addr_any
  a6.sin6_family = AF_INET6;
  a6.sin6_port = a4.sin_port;
  const int one = 1;
  if (family == AF_INET6) ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
  const bool bound = family == AF_INET ? ::bind(fd, reinterpret_cast<sockaddr *>(&a4), sizeof a4) == 0
                                       : ::bind(fd, reinterpret_cast<sockaddr *>(&a6), sizeof a6) == 0;
  ::close(fd);
  return bound;
}

// True when nothing is bound to `port` on any address, TCP or UDP, IPv4 or IPv6.
bool Unbound(int port) {
  for (const int family : {AF_INET, AF_INET6})
    for (const int type : {SOCK_STREAM, SOCK_DGRAM})
      if (!Binds(family, type, port)) return false;
  return true;
}

} // namespace

bool MayBindLowPorts() {
  int start = 1024;
  std::ifstream("/proc/sys/net/ipv4/ip_unprivileged_port_start") >> start;
  if (start <= 512) return true;
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("CapEff:", 0) == 0) return (std::stoull(line.substr(7), nullptr, 16) >> 10 & 1) != 0;
  return false;
}

PortLease::PortLease(const std::string &range_file) {
  const auto [first, end] = LeasedPorts(range_file);
  const bool taken = TakeOne(end - first, [this, first = first](int i) {
    const int port = first + i;
    const int fd = HoldName("korvane-test-port-" + std::to_string(port));
    if (fd < 0) return false;
    if (!Unbound(port)) {
      ::close(fd);
      return false;
    }
    fd_ = fd;
    port_ = port;
    return true;
  });
  if (!taken) throw std::runtime_error("no free port to lease");
}

PortLease::~PortLease() {
  if (fd_ >= 0) ::close(fd_);
}

AddressLease::AddressLease(const std::vector<std::string> &candidates) {
  const int count = candidates.empty() ? 256 * 254 : static_cast<int>(candidates.size());
  const bool taken = TakeOne(count, [&](int i) {
    const std::string address = candidates.empty()
                                    ? "127.77." + std::to_string(i / 254) + "." + std::to_string(i % 254 + 1)
                                    : candidates[static_cast<size_t>(i)];
    const int fd = HoldName("korvane-test-address-" + address);
    if (fd < 0) return false;
    // A server left behind (by a test that was killed) may still hold the port there.
    if (!BoundSockets(address, kLeasedAddressPort, true).empty() ||
        !BoundSockets(address, kLeasedAddressPort, false).empty()) {
      ::close(fd);
      return false;
    }
    fd_ = fd;
    address_ = address;
    return true;
  });
  if (!taken) throw std::runtime_error("no free loopback address to lease");
}

AddressLease::~AddressLease() {
  if (fd_ >= 0) ::close(fd_);
}

int FreePort() {
  static std::mutex mutex;
  static auto *held = new std::deque<PortLease>; // kept until the process ends
  std::lock_guard<std::mutex> lock(mutex);
  held->emplace_back();
  return held->back().Port();
}

namespace {

// The inodes of the sockets in /proc/net/tcp (listening) or /proc/net/udp bound to address:port.
// Sockets on 0.0.0.0 do not count: the system hands a connection or a datagram to the socket
// bound to the address itself.
std::vector<unsigned long> BoundSockets(const std::string &address, int port, bool udp) {
  in_addr want{};
  ::inet_pton(AF_INET, address.c_str(), &want);
  std::vector<unsigned long> found;
  std::ifstream in(udp ? "/proc/net/udp" : "/proc/net/tcp");
  std::string line;
  std::getline(in, line); // the header
  while (std::getline(in, line)) {
    // sl local_address rem_address st tx:rx tr:when retrnsmt uid timeout inode ...
    std::istringstream fields(line);
    std::string sl, local, remote, state, skip;
    unsigned long inode = 0;
    fields >> sl >> local >> remote >> state >> skip >> skip >> skip >> skip >> skip >> inode;
    if (!fields || local.size() != 13 || local[8] != ':') continue;
    if (!udp && state != "0A") continue; // TCP_LISTEN
    // The address as the kernel keeps it (network order), printed as a number of this machine.
    const auto raw = static_cast<uint32_t>(std::stoul(local.substr(0, 8), nullptr, 16));
    if (std::stoi(local.substr(9), nullptr, 16) != port) continue;
    if (raw == want.s_addr) found.push_back(inode);
  }
  return found;
}

// The processes started by `pid`: its process group and its descendants.
std::set<int> ProcessesOf(int pid) {
  const std::vector<ProcessEntry> all = ProcessTable();
  std::set<int> ours{pid};
  for (bool grew = true; grew;) {
    grew = false;
    for (const ProcessEntry &p : all)
      if (!ours.count(p.pid) && (p.group == pid || ours.count(p.parent))) {
        ours.insert(p.pid);
        grew = true;
      }
  }
  return ours;
}

// The socket inodes among the open files of `pids`.
std::set<unsigned long> SocketsOf(const std::set<int> &pids) {
  std::set<unsigned long> inodes;
  for (const int pid : pids) {
    const std::string dir = "/proc/" + std::to_string(pid) + "/fd";
    DIR *fds = ::opendir(dir.c_str());
    if (!fds) continue;
    while (const dirent *e = ::readdir(fds)) {
      char target[64];
      const ssize_t n = ::readlink((dir + "/" + e->d_name).c_str(), target, sizeof target - 1);
      if (n <= 0) continue;
      target[n] = '\0';
      unsigned long inode = 0;
      if (std::sscanf(target, "socket:[%lu]", &inode) == 1) inodes.insert(inode);
    }
    ::closedir(fds);
  }
  return inodes;
}

} // namespace

PortHolder WhoHolds(const std::string &address, int port, bool udp, int pid) {
  const std::vector<unsigned long> bound = BoundSockets(address, port, udp);
  if (bound.empty()) return PortHolder::Nobody;
  const std::set<unsigned long> ours = SocketsOf(ProcessesOf(pid));
  for (const unsigned long inode : bound)
    if (!ours.count(inode)) return PortHolder::Others;
  return PortHolder::Ours;
}

} // namespace kvtest
