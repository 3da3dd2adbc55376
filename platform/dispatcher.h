#pragma once
// Hand-over of work to the main (GUI) thread. The programs use a Qt implementation
// (platform/ui); tests use ManualDispatcher and run the queue themselves.

#include <deque>
#include <functional>
#include <mutex>

namespace kv::platform {

class Dispatcher {
public:
  virtual ~Dispatcher() = default;
  // Queues `task` to run on the main thread. Callable from any thread. Returns false when the
  // dispatcher no longer accepts work (it is shutting down); the task is then dropped.
  virtual bool Post(std::function<void()> task) = 0;
};

// A dispatcher whose queue is run explicitly, by the thread that calls RunPending().
class ManualDispatcher : public Dispatcher {
public:
  bool Post(std::function<void()> task) override;
  // Runs every task queued so far, in order, including tasks those tasks queue. Returns how many ran.
  int RunPending();
  // Number of queued tasks.
  size_t Pending() const;
  // From now on Post() refuses work (returns false).
  void Close();

private:
  mutable std::mutex mutex_;
  std::deque<std::function<void()>> queue_;
  bool closed_ = false;
};

} // namespace kv::platform
