#pragma once
// A synchronisation run's hold on "Synchronisieren" and on the pointer.

#include <QPointer>

class QToolButton;

namespace kv::app {

// The button is greyed from the run's start to its end, and then put back as the run found it.
// A dial-up run ends only after its hang-up or its failure, long after NTPSync has returned, so
// the window keeps its run as a member until then.
class TBlockingRun {
public:
  explicit TBlockingRun(QToolButton *button);
  ~TBlockingRun();
  TBlockingRun(const TBlockingRun &) = delete;
  TBlockingRun &operator=(const TBlockingRun &) = delete;

  // While the run blocks the GUI thread: the wait cursor, and the greyed button on the screen
  // before the wait begins (the blocked thread draws nothing more). Boxes shown meanwhile have
  // the usual pointer (see ShowMessage).
  class TWait {
  public:
    explicit TWait(QToolButton *button);
    ~TWait();
    TWait(const TWait &) = delete;
    TWait &operator=(const TWait &) = delete;
  };

private:
  QPointer<QToolButton> button_;
  bool wasEnabled_;
};

} // namespace kv::app
