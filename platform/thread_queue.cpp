#include "platform/thread_queue.h"

namespace kv::platform {

bool ThreadQueue::Post(ThreadMessage msg) {
  {
    std::lock_guard lock(mutex_);
    if (!open_ || closed_) return false;
    queue_.push_back(std::move(msg));
  }
  cv_.notify_one();
  return true;
}

bool ThreadQueue::Peek(ThreadMessage &out) {
  std::lock_guard lock(mutex_);
  if (queue_.empty()) return false;
  out = std::move(queue_.front());
  queue_.pop_front();
  return true;
}

bool ThreadQueue::Wait(ThreadMessage &out, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  if (!cv_.wait_for(lock, timeout, [&] { return !queue_.empty() || closed_; })) return false;
  if (queue_.empty()) return false;
  out = std::move(queue_.front());
  queue_.pop_front();
  return true;
}

void ThreadQueue::Open() {
  std::lock_guard lock(mutex_);
  open_ = true;
}

void ThreadQueue::Close() {
  std::deque<ThreadMessage> dropped;
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
    dropped.swap(queue_);
  }
  cv_.notify_all();
  // `dropped` frees the objects outside the lock.
}

bool ThreadQueue::Accepting() const {
  std::lock_guard lock(mutex_);
  return open_ && !closed_;
}

size_t ThreadQueue::Size() const {
  std::lock_guard lock(mutex_);
  return queue_.size();
}

} // namespace kv::platform
