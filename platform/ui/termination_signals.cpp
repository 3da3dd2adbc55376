#include "platform/ui/termination_signals.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QWidget>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

namespace kv::ui {

namespace {

constexpr int kSignals[3] = {SIGTERM, SIGINT, SIGHUP};
std::atomic<int> g_write_fd{-1};

extern "C" void OnTerminationSignal(int signo) {
  int saved = errno;
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
  notifier_ = new QSocketNotifier(read_fd_, QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] { Drain(); });

  struct sigaction sa {};
  sa.sa_handler = OnTerminationSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  for (int i = 0; i < 3; ++i) ::sigaction(kSignals[i], &sa, &previous_[i]);
}

TerminationSignals::~TerminationSignals() {
  RestoreHandlers();
  g_write_fd.store(-1);
  delete notifier_;
  ::close(read_fd_);
  ::close(write_fd_);
}

void TerminationSignals::RestoreHandlers() {
  if (restored_) return;
  restored_ = true;
  for (int i = 0; i < 3; ++i) ::sigaction(kSignals[i], &previous_[i], nullptr);
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
