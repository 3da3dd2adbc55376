#include "test_support.h"

#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

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
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

std::string TempDir::file(const std::string &name) const { return path_ + "/" + name; }

bool WaitUntil(const std::function<bool()> &condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (true) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return condition();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
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

ChildProcess::~ChildProcess() {
  if (pid_ > 0) Stop();
}

bool ChildProcess::Start(const std::vector<std::string> &argv, const std::string &log_file,
                         const std::vector<std::string> &extra_env) {
  if (argv.empty() || pid_ > 0) return false;
  std::vector<char *> args;
  for (const auto &a : argv) args.push_back(const_cast<char *>(a.c_str()));
  args.push_back(nullptr);
  std::vector<std::string> env_store;
  for (char **e = environ; *e; ++e) env_store.emplace_back(*e);
  for (const auto &e : extra_env) env_store.push_back(e);
  std::vector<char *> env;
  for (auto &e : env_store) env.push_back(e.data());
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
  pid_ = pid;
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
  if (pid_ <= 0) return status_;
  ::kill(pid_, sig);
  if (Wait(grace) == -1 && pid_ > 0) {
    ::kill(pid_, SIGKILL);
    int st = 0;
    waitpid(pid_, &st, 0);
    status_ = st;
    pid_ = -1;
  }
  return status_;
}

std::string FindProgram(const std::string &name, const std::vector<std::string> &extra_dirs) {
  if (name.find('/') != std::string::npos) return ::access(name.c_str(), X_OK) == 0 ? name : std::string();
  std::vector<std::string> dirs = extra_dirs;
  const char *path = std::getenv("PATH");
  std::stringstream ss(path ? path : "/usr/bin:/bin");
  for (std::string d; std::getline(ss, d, ':');) dirs.push_back(d);
  for (const char *d : {"/usr/sbin", "/sbin"}) dirs.emplace_back(d);
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

bool MakeTestCertificateAuthority(const std::string &ca_cert, const std::string &ca_key, const std::string &name,
                                  const std::string &log_file) {
  return RunOpenssl({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-days",
                     "2", "-subj", "/CN=" + name, "-addext", "basicConstraints=critical,CA:TRUE", "-addext",
                     "keyUsage=critical,keyCertSign,cRLSign", "-keyout", ca_key, "-out", ca_cert},
                    log_file);
}

bool MakeCertificateSignedBy(const std::string &ca_cert, const std::string &ca_key, const std::string &cert_file,
                             const std::string &key_file, const std::string &common_name,
                             const std::string &subject_alt_name, const std::string &log_file) {
  const std::string csr = cert_file + ".csr";
  const std::string ext = cert_file + ".ext";
  WriteFile(ext, "basicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\nsubjectAltName=" + subject_alt_name + "\n");
  return RunOpenssl({"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-subj",
                     "/CN=" + common_name, "-keyout", key_file, "-out", csr},
                    log_file) &&
         RunOpenssl({"x509", "-req", "-in", csr, "-CA", ca_cert, "-CAkey", ca_key, "-CAcreateserial", "-days", "2",
                     "-extfile", ext, "-out", cert_file},
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

int FreePort(bool udp) {
  int fd = ::socket(AF_INET, udp ? SOCK_DGRAM : SOCK_STREAM, 0);
  if (fd < 0) return -1;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = 0;
  int port = -1;
  socklen_t len = sizeof a;
  if (::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len) == 0)
    port = ntohs(a.sin_port);
  ::close(fd);
  return port;
}

} // namespace kvtest
