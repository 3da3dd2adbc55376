#include "platform/dispatcher.h"

namespace kv::platform {

bool ManualDispatcher::Post(std::function<void()> task) {
  std::lock_guard lock(mutex_);
  if (closed_) return false;
  queue_.push_back(std::move(task));
  return true;
}

int ManualDispatcher::RunPending() {
  int ran = 0;
  while (true) {
    std::function<void()> task;
    {
      std::lock_guard lock(mutex_);
      if (queue_.empty()) return ran;
      task = std::move(queue_.front());
      queue_.pop_front();
    }
    task();
    ++ran;
  }
}

size_t ManualDispatcher::Pending() const {
  std::lock_guard lock(mutex_);
  return queue_.size();
}

void ManualDispatcher::Close() {
  std::lock_guard lock(mutex_);
  closed_ = true;
}

} // namespace kv::platform
