#pragma once
// Hand-over to the GUI thread through Qt's queued invocation.

#include <QObject>
#include <memory>
#include <mutex>

#include "platform/dispatcher.h"

namespace kv::ui {

class QtDispatcher : public platform::Dispatcher {
public:
  // Create on the GUI thread, after the QApplication.
  QtDispatcher();
  // Refuses further work; tasks not yet run are dropped.
  ~QtDispatcher() override;
  QtDispatcher(const QtDispatcher &) = delete;
  QtDispatcher &operator=(const QtDispatcher &) = delete;

  bool Post(std::function<void()> task) override;
  // From now on Post() refuses work.
  void Close();

private:
  std::mutex mutex_;
  bool closed_ = false;
  std::unique_ptr<QObject> receiver_; // lives on the GUI thread; its queued calls run there
};

} // namespace kv::ui
