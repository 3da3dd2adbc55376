#include "net/ras_pppd.h"

#include "net/dial_up.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <deque>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "net/net_util.h"

extern char **environ;

namespace kv::net {

namespace {

using Clock = std::chrono::steady_clock;

// Most bytes of pppd's output the watcher reads before it looks at its other duties again.
constexpr std::size_t kReadBudget = 64 * 1024;

// pppd's exit statuses 0..19 (see the header) as errors.
constexpr std::array<int, 20> kExitErrors = {
    ERROR_SUCCESS,                  // 0
    ERROR_UNKNOWN,                  // 1
    ERROR_WRONG_INFO_SPECIFIED,     // 2
    ERROR_ACCESS_DENIED,            // 3
    ERROR_RASMAN_CANNOT_INITIALIZE, // 4
    ERROR_USER_DISCONNECTION,       // 5
    ERROR_PORT_ALREADY_OPEN,        // 6
    ERROR_PORT_NOT_AVAILABLE,       // 7
    ERROR_FROM_DEVICE,              // 8
    ERROR_FROM_DEVICE,              // 9
    ERROR_PPP_LCP_TERMINATED,       // 10
    ERROR_AUTHENTICATION_FAILURE,   // 11
    ERROR_DISCONNECTION,            // 12
    ERROR_DISCONNECTION,            // 13
    ERROR_DISCONNECTION,            // 14
    ERROR_REQUEST_TIMEOUT,          // 15
    ERROR_REMOTE_DISCONNECTION,     // 16
    ERROR_PPP_LCP_TERMINATED,       // 17
    ERROR_FROM_DEVICE,              // 18
    ERROR_AUTHENTICATION_FAILURE,   // 19
};

struct LineState {
  std::string_view start;
  int state;
};

constexpr LineState kLineStates[] = {
    {"Serial connection established", RASCS_DeviceConnected},
    {"PPP session is", RASCS_DeviceConnected},
    {"Connect: ", RASCS_AllDevicesConnected},
    {"sent [PAP AuthReq", RASCS_Authenticate},
    {"rcvd [CHAP Challenge", RASCS_Authenticate},
    {"rcvd [EAP Request", RASCS_Authenticate},
    {"local IP address", RASCS_Projected},
    {"local LL address", RASCS_Projected},
    {"remote IP address", RASCS_Connected},
    {"remote LL address", RASCS_Connected},
};

void CloseFd(int &fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// The program to run for `command`: itself when it holds a "/", else the first executable of
// that name in PATH or the system's sbin folders (which a user's PATH often lacks).
std::string ResolveCommand(const std::string &command) {
  if (command.find('/') != std::string::npos) return command;
  std::string dirs;
  if (const char *path = std::getenv("PATH")) dirs = path;
  dirs += ":/usr/local/sbin:/usr/sbin:/sbin";
  while (!dirs.empty()) {
    const std::string dir = CutToken(dirs, ":");
    if (dir.empty()) continue;
    const std::string candidate = dir + "/" + command;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return "";
}

int PidFdOpen(pid_t pid) {
#ifdef SYS_pidfd_open
  return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
  (void)pid;
  errno = ENOSYS;
  return -1;
#endif
}

} // namespace

// One pppd process, its watcher thread (reads the output, signals, reaps) and, for an
// asynchronous dial, its reporter thread (calls the notifier). The two are apart so that a
// notifier that blocks never delays a hang-up or the reaping of pppd.
class TPppdRasBackend::Session {
public:
  Session(pid_t pid, int outFd, int pidFd, int wakeFd, RasNotifier notifier, std::chrono::milliseconds grace)
      : pid_(pid), outFd_(outFd), pidFd_(pidFd), wakeFd_(wakeFd), notifier_(std::move(notifier)),
        grace_(grace) {}

  ~Session() {
    CloseFd(outFd_);
    CloseFd(pidFd_);
    CloseFd(wakeFd_);
  }

  void Start() {
    if (notifier_) {
      Report(RASCS_OpenPort);
      reporter_ = std::thread([this] { RunReporter(); });
    }
    watcher_ = std::thread([this] { Watch(); });
  }

  // Asks for pppd's end; returns at once.
  void RequestHangUp() {
    {
      std::lock_guard lock(mutex_);
      hangUp_ = true;
    }
    changed_.notify_all();
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof one);
  }

  // For a synchronous dial: waits until the line is up (0) or pppd has ended (its error).
  int WaitConnectedOrEnded() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return connected_ || ended_; });
    return connected_ ? ERROR_SUCCESS : endError_;
  }

  // Waits until pppd is reaped, at most `timeout`. Returns whether it is.
  bool WaitEnded(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return ended_; });
  }

  // Joins what has finished; with `all`, joins everything. Returns true when both threads are joined.
  bool Join(bool all) {
    bool ended, reported;
    {
      std::lock_guard lock(mutex_);
      ended = ended_;
      reported = reporterDone_;
    }
    if ((all || ended) && watcher_.joinable()) watcher_.join();
    if ((all || reported) && reporter_.joinable()) reporter_.join();
    return !watcher_.joinable() && !reporter_.joinable();
  }

private:
  struct Pending {
    int state;
    int error;
  };

  // Queues a report unless a hang-up was asked for. Only the watcher (and Start) call it.
  void Report(int state, int error = ERROR_SUCCESS) {
    {
      std::lock_guard lock(mutex_);
      if (hangUp_ || !notifier_) return;
      queue_.push_back({state, error});
    }
    changed_.notify_all();
  }

  void RunReporter() {
    while (true) {
      Pending next{};
      {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return hangUp_ || !queue_.empty() || ended_; });
        if (hangUp_ || queue_.empty()) break;
        next = queue_.front();
        queue_.pop_front();
      }
      notifier_(WM_RASDIALEVENT, next.state, next.error);
    }
    std::lock_guard lock(mutex_);
    reporterDone_ = true;
  }

  void HandleLine(std::string_view line) {
    const int state = StateOfLine(line);
    if (state < 0 || connected_ || state == lastState_) return;
    lastState_ = state;
    if (state == RASCS_Connected) {
      std::lock_guard lock(mutex_);
      connected_ = true;
    }
    Report(state);
    if (state == RASCS_Connected) changed_.notify_all();
  }

  // Reads what pppd printed, at most kReadBudget bytes, so that a flood of output cannot keep
  // the watcher from a hang-up or from reaping pppd. Returns false at end of output.
  bool ReadOutput() {
    const auto onLine = [this](std::string_view line) { HandleLine(line); };
    char buffer[4096];
    for (std::size_t budget = kReadBudget; budget > 0;) {
      const ssize_t n = ::read(outFd_, buffer, std::min(sizeof buffer, budget));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK;
      if (n == 0) {
        output_.Finish(onLine);
        return false;
      }
      output_.Feed(std::string_view(buffer, static_cast<std::size_t>(n)), onLine);
      budget -= static_cast<std::size_t>(n);
    }
    return true;
  }

  void Signal(int sig, bool group) {
    // Only this thread reaps pppd, so its pid (and group id) cannot be reused before this runs.
    if (group) ::kill(-pid_, sig);
    ::kill(pid_, sig);
  }

  void Watch() {
    bool outOpen = true, termSent = false, killSent = false;
    Clock::time_point killAt{};
    int status = 0;
    while (true) {
      pollfd fds[3];
      nfds_t count = 0;
      fds[count++] = {wakeFd_, POLLIN, 0};
      if (pidFd_ >= 0) fds[count++] = {pidFd_, POLLIN, 0};
      const nfds_t outIndex = count;
      if (outOpen) fds[count++] = {outFd_, POLLIN, 0};

      int timeout = pidFd_ >= 0 ? -1 : 50; // without a pidfd the exit is polled
      if (termSent && !killSent) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(killAt - Clock::now()).count();
        const int wait = static_cast<int>(std::clamp<long long>(left, 0, 60000));
        timeout = timeout < 0 ? wait : std::min(timeout, wait);
      }
      ::poll(fds, count, timeout); // EINTR: just another pass

      if (fds[0].revents & POLLIN) {
        uint64_t value;
        [[maybe_unused]] ssize_t n = ::read(wakeFd_, &value, sizeof value);
      }
      bool hangUp;
      {
        std::lock_guard lock(mutex_);
        hangUp = hangUp_;
      }
      if (hangUp && !termSent) {
        Signal(SIGTERM, false); // pppd ends its own scripts and closes the link
        termSent = true;
        killAt = Clock::now() + grace_;
      }
      if (termSent && !killSent && Clock::now() >= killAt) {
        Signal(SIGKILL, true);
        killSent = true;
      }
      if (outOpen && outIndex < count && (fds[outIndex].revents & (POLLIN | POLLHUP | POLLERR)))
        outOpen = ReadOutput();

      const pid_t reaped = ::waitpid(pid_, &status, WNOHANG);
      if (reaped == pid_ || (reaped < 0 && errno == ECHILD)) break;
    }
    // What pppd printed before it ended still counts; a helper that keeps the pipe open does not
    // hold us up (the descriptor is non-blocking and the read bounded).
    if (outOpen) ReadOutput();
    output_.Finish([this](std::string_view line) { HandleLine(line); });
    Finish(status);
  }

  void Finish(int status) {
    const int error = ErrorOfExit(status);
    {
      std::lock_guard lock(mutex_);
      endError_ = error != ERROR_SUCCESS ? error : ERROR_DISCONNECTION;
      if (!hangUp_ && notifier_) {
        if (connected_)
          queue_.push_back({RASCS_Disconnected, error});
        else
          queue_.push_back({lastState_, endError_});
      }
      ended_ = true;
    }
    changed_.notify_all();
  }

  const pid_t pid_;
  int outFd_, pidFd_, wakeFd_;
  const RasNotifier notifier_;
  const std::chrono::milliseconds grace_;
  std::thread watcher_, reporter_;

  // Watcher only.
  TPppdOutputLines output_;
  int lastState_ = RASCS_OpenPort;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Pending> queue_;
  bool hangUp_ = false;
  bool connected_ = false; // written by the watcher under the lock
  bool ended_ = false;
  bool reporterDone_ = false;
  int endError_ = ERROR_SUCCESS;
};

void TPppdOutputLines::Feed(std::string_view bytes, const LineFn &line) {
  while (!bytes.empty()) {
    const std::size_t eol = bytes.find('\n');
    const std::string_view piece = bytes.substr(0, eol);
    if (!skipping_) {
      const std::size_t room = MaxLine - partial_.size();
      partial_.append(piece.substr(0, room));
      if (piece.size() > room) { // too long: judged now, the rest of it skipped
        Emit(line);
        skipping_ = true;
      }
    }
    if (eol == std::string_view::npos) return;
    if (!skipping_) Emit(line);
    skipping_ = false;
    bytes.remove_prefix(eol + 1);
  }
}

void TPppdOutputLines::Finish(const LineFn &line) {
  if (!skipping_ && !partial_.empty()) Emit(line);
  partial_.clear();
  skipping_ = false;
}

void TPppdOutputLines::Emit(const LineFn &line) {
  std::string_view text = partial_;
  if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  line(text);
  partial_.clear();
}

TPppdRasBackend::TPppdRasBackend(std::string peersDirectory, std::string pppdCommand,
                                 std::chrono::milliseconds killGrace)
    : phoneBook_(std::move(peersDirectory)), pppdCommand_(std::move(pppdCommand)), killGrace_(killGrace) {}

TPppdRasBackend::~TPppdRasBackend() {
  std::vector<std::shared_ptr<Session>> all;
  {
    std::lock_guard lock(mutex_);
    for (auto &[handle, session] : active_)
      all.push_back(session);
    active_.clear();
    all.insert(all.end(), ended_.begin(), ended_.end());
    ended_.clear();
  }
  for (auto &session : all)
    session->RequestHangUp();
  for (auto &session : all)
    session->Join(true);
}

int TPppdRasBackend::EnumEntries(std::vector<std::string> &entries) {
  return phoneBook_.List(entries);
}

int TPppdRasBackend::GetEntryDialParams(RasDialParams &params, bool &passwordSaved) {
  passwordSaved = false; // the secrets stay with pppd
  return phoneBook_.Contains(params.EntryName) ? ERROR_SUCCESS : ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
}

void TPppdRasBackend::CollectEnded(bool waitForProcesses) {
  std::vector<std::shared_ptr<Session>> ended;
  {
    std::lock_guard lock(mutex_);
    ended = ended_;
  }
  // SIGKILL follows the grace period, so a hung-up pppd is gone soon after it.
  if (waitForProcesses)
    for (auto &session : ended)
      session->WaitEnded(killGrace_ + std::chrono::seconds(5));
  std::lock_guard lock(mutex_);
  std::erase_if(ended_, [](const std::shared_ptr<Session> &session) { return session->Join(false); });
}

int TPppdRasBackend::Dial(const RasDialParams &params, RasNotifier notifier, RasConnHandle &handle) {
  handle = 0;
  if (!phoneBook_.Contains(params.EntryName)) return ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
  CollectEnded(true);

  const std::string program = ResolveCommand(pppdCommand_);
  if (program.empty()) return ERROR_RASMAN_CANNOT_INITIALIZE;

  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return ERROR_UNKNOWN;
  int readFd = pipeFds[0], writeFd = pipeFds[1];
  if (writeFd <= STDERR_FILENO) { // keep it clear of the descriptors it is copied to
    const int moved = ::fcntl(writeFd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    ::close(writeFd);
    writeFd = moved;
  }
  int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (writeFd < 0 || wakeFd < 0) {
    CloseFd(readFd);
    CloseFd(writeFd);
    CloseFd(wakeFd);
    return ERROR_UNKNOWN;
  }

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, writeFd, STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, writeFd, STDERR_FILENO);

  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  // Its own process group, so a late SIGKILL also reaches its scripts; signals as at a fresh
  // start, so the SIGTERM of a hang-up is not blocked or ignored by what this process does.
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (int sig : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE, SIGCHLD, SIGALRM, SIGUSR1, SIGUSR2})
    sigaddset(&defaults, sig);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  posix_spawnattr_setpgroup(&attr, 0);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &defaults);

  std::vector<std::string> args = {program, "call", params.EntryName, "nodetach"};
  std::vector<char *> argv;
  for (auto &arg : args)
    argv.push_back(arg.data());
  argv.push_back(nullptr);

  pid_t pid = -1;
  const int spawnError = ::posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  CloseFd(writeFd);
  if (spawnError != 0) {
    CloseFd(readFd);
    CloseFd(wakeFd);
    return spawnError == EACCES || spawnError == EPERM ? ERROR_ACCESS_DENIED : ERROR_RASMAN_CANNOT_INITIALIZE;
  }
  ::fcntl(readFd, F_SETFL, ::fcntl(readFd, F_GETFL) | O_NONBLOCK);
  const int pidFd = PidFdOpen(pid); // -1 on old kernels: the watcher then polls

  const bool async = static_cast<bool>(notifier);
  auto session = std::make_shared<Session>(pid, readFd, pidFd, wakeFd, std::move(notifier), killGrace_);
  {
    std::lock_guard lock(mutex_);
    handle = nextHandle_++;
    if (nextHandle_ == 0) nextHandle_ = 1;
    active_[handle] = session;
  }
  session->Start();
  return async ? ERROR_SUCCESS : session->WaitConnectedOrEnded();
}

int TPppdRasBackend::HangUp(RasConnHandle handle) {
  std::shared_ptr<Session> session;
  {
    std::lock_guard lock(mutex_);
    auto found = active_.find(handle);
    if (found == active_.end()) return ERROR_INVALID_HANDLE;
    session = found->second;
    active_.erase(found);
    ended_.push_back(session);
  }
  session->RequestHangUp();
  return ERROR_SUCCESS;
}

int TPppdRasBackend::StateOfLine(std::string_view line) {
  // Runs of blanks count as one: pppd aligns "local  IP address" with "remote IP address".
  std::string text;
  text.reserve(line.size());
  for (char c : line) {
    if (c == '\t') c = ' ';
    if (c == ' ' && (text.empty() || text.back() == ' ')) continue;
    text.push_back(c);
  }
  for (const auto &[start, state] : kLineStates)
    if (std::string_view(text).starts_with(start)) return state;
  if (text.find("authentication succeeded") != std::string::npos) return RASCS_Authenticated;
  return -1;
}

int TPppdRasBackend::ErrorOfExit(int waitStatus) {
  if (WIFSIGNALED(waitStatus)) return ERROR_DISCONNECTION;
  if (!WIFEXITED(waitStatus)) return ERROR_UNKNOWN;
  const int code = WEXITSTATUS(waitStatus);
  return code < static_cast<int>(kExitErrors.size()) ? kExitErrors[static_cast<std::size_t>(code)]
                                                     : ERROR_UNKNOWN;
}

// The component's default backend is this one. Its constructor lives here, so that a program
// that only lists a phone book through its own backend does not carry the dialler.
TDialUp::TDialUp(platform::Dispatcher &dispatcher)
    : TDialUp(dispatcher, std::make_unique<TPppdRasBackend>()) {}

} // namespace kv::net
