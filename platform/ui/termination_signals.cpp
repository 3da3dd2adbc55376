#include "platform/ui/termination_signals.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QWidget>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <unistd.h>

namespace kv::ui {

namespace {

constexpr int kSignals[3] = {SIGTERM, SIGINT, SIGHUP};
std::atomic<int> g_write_fd{-1};
std::atomic<int> g_read_fd{-1};
std::atomic<bool> g_stop_request{false};
std::atomic<int> g_stop_signal{0};
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free,
              "the signal handler may only touch lock-free atomics");

extern "C" void OnTerminationSignal(int signo) {
  int saved = errno;
  int none = 0;
  g_stop_signal.compare_exchange_strong(none, signo);
  g_stop_request.store(true);
  int fd = g_write_fd.load();
  if (fd >= 0) {
    unsigned char byte = static_cast<unsigned char>(signo);
    ssize_t ignored = ::write(fd, &byte, 1);
    (void)ignored;
  }
  errno = saved;
}

} // namespace

TerminationSignals::TerminationSignals(std::function<void(int)> on_signal, QObject *parent)
    : QObject(parent), on_signal_(std::move(on_signal)) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("pipe2 failed");
  read_fd_ = fds[0];
  write_fd_ = fds[1];
  int expected = -1;
  if (!g_write_fd.compare_exchange_strong(expected, write_fd_)) {
    ::close(read_fd_);
    ::close(write_fd_);
    throw std::logic_error("TerminationSignals installed twice");
  }
  g_read_fd.store(read_fd_);
  notifier_ = new QSocketNotifier(read_fd_, QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] { Drain(); });

  struct sigaction sa {};
  sa.sa_handler = OnTerminationSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  for (int i = 0; i < 3; ++i)
    ::sigaction(kSignals[i], &sa, &previous_[i]);
}

TerminationSignals::~TerminationSignals() {
  RestoreHandlers();
  g_write_fd.store(-1);
  g_read_fd.store(-1);
  g_stop_request.store(false);
  g_stop_signal.store(0);
  delete notifier_;
  ::close(read_fd_);
  ::close(write_fd_);
}

void TerminationSignals::RestoreHandlers() {
  if (restored_) return;
  restored_ = true;
  for (int i = 0; i < 3; ++i)
    ::sigaction(kSignals[i], &previous_[i], nullptr);
}

void TerminationSignals::Drain() {
  unsigned char buf[16];
  int first = 0;
  ssize_t n;
  while ((n = ::read(read_fd_, buf, sizeof buf)) > 0)
    if (!first) first = buf[0];
  if (!first || fired_) return;
  fired_ = true;
  RestoreHandlers();
  if (on_signal_) on_signal_(first);
}

const std::atomic<bool> &StopRequest() {
  return g_stop_request;
}

int StopSignal() {
  return g_stop_request.load() ? g_stop_signal.load() : 0;
}

bool PauseUnlessStopped(int ms) {
  using Clock = std::chrono::steady_clock;
  const auto end = Clock::now() + std::chrono::milliseconds(ms);
  while (!g_stop_request.load()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    if (left <= 0) return true;
    // The self-pipe turns readable with the signal (it is drained only by the event loop), so
    // the wait ends at once; without one the pause is looked at every 100 ms.
    const int fd = g_read_fd.load();
    pollfd pipe{fd, POLLIN, 0};
    ::poll(&pipe, fd >= 0 ? 1 : 0, static_cast<int>(fd >= 0 ? left : std::min<long long>(left, 100)));
  }
  return false;
}

void CloseLikeCloseBox(QWidget *window) {
  // A modal dialog would keep its own loop running; close it first, innermost first.
  for (int guard = 0; guard < 16; ++guard) {
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal || modal == window) break;
    modal->close();
  }
  if (window) window->close();
}

} // namespace kv::ui
