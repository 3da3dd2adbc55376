#pragma once
// Acting on a modal dialog (or message box) while its own loop runs.

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>
#include <functional>

namespace kvtest {

// While a modal dialog runs, calls `step` with it every few milliseconds until `step` returns
// true. A dialog still open after 10 s is rejected, so a failing test never hangs.
class ModalDriver {
public:
  explicit ModalDriver(std::function<bool(QDialog &)> step) : step_(std::move(step)) {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
    timer_.start();
    deadline_.start();
  }
  bool TimedOut() const { return timed_out_; }

private:
  void Tick() {
    auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
    if (!dialog || finished_) return;
    if (deadline_.hasExpired(10000)) {
      timed_out_ = finished_ = true;
      dialog->reject();
      return;
    }
    if (step_(*dialog)) finished_ = true;
  }

  std::function<bool(QDialog &)> step_;
  QTimer timer_;
  QElapsedTimer deadline_;
  bool finished_ = false, timed_out_ = false;
};

} // namespace kvtest
