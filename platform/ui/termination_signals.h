#pragma once
// SIGTERM, SIGINT and SIGHUP turned into a call on the GUI thread (self-pipe and
// QSocketNotifier), so a program asked to stop closes its main window the way its close box
// does and saves what it would save then. The first signal also raises the process's stop
// request at once, from the handler: work that blocks the GUI thread (a socket wait, a pause)
// looks at it and ends early, so the call on the GUI thread comes within a second.

#include <QObject>
#include <atomic>
#include <csignal>
#include <functional>

class QSocketNotifier;
class QWidget;

namespace kv::ui {

class TerminationSignals : public QObject {
public:
  // Installs the handlers; `on_signal` runs on the GUI thread with the signal's number, once.
  // After the first signal the default actions are back, so a second one ends the process at
  // once. Only one instance may exist at a time.
  explicit TerminationSignals(std::function<void(int)> on_signal, QObject *parent = nullptr);
  // Restores the handlers that were there before.
  ~TerminationSignals() override;

private:
  void Drain();
  void RestoreHandlers();

  std::function<void(int)> on_signal_;
  int read_fd_ = -1;
  int write_fd_ = -1;
  bool fired_ = false;
  bool restored_ = false;
  struct sigaction previous_[3] = {};
  QSocketNotifier *notifier_ = nullptr;
};

// The stop request: set by the first stop signal while a TerminationSignals lives, and cleared
// only when that instance goes. Hand it to a socket as its StopSource.
const std::atomic<bool> &StopRequest();
// The number of the signal that raised the stop request; 0 while there is none.
int StopSignal();
// Waits `ms` milliseconds, or less when the stop request is raised meanwhile. Returns false
// when stopped.
bool PauseUnlessStopped(int ms);

// Closes `window` as its close box would, after closing any modal dialog open above it.
void CloseLikeCloseBox(QWidget *window);

} // namespace kv::ui
