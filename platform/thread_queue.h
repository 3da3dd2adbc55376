#pragma once
// A message queue owned by one thread, in place of the platform's thread message queues.
// The queue exists as soon as its thread object does; it refuses posts until it is opened and
// again once it is closed, so a refused post is the only way a message can be lost, and the
// sender learns of it.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

namespace kv::platform {

// Base of every object that travels in a message. The receiver owns (and frees) it once the
// post succeeded; when the post is refused the message, and with it the object, is freed at once.
struct MessageObject {
  virtual ~MessageObject() = default;
};

struct ThreadMessage {
  uint32_t Message = 0;
  int64_t WParam = 0;
  int64_t LParam = 0;
  std::unique_ptr<MessageObject> Object;
};

class ThreadQueue {
public:
  ThreadQueue() = default;
  ThreadQueue(const ThreadQueue &) = delete;
  ThreadQueue &operator=(const ThreadQueue &) = delete;

  // Appends `msg`. Returns false (and frees the message) while the queue is not open.
  bool Post(ThreadMessage msg);
  // Takes the oldest message without waiting. Returns false when there is none.
  bool Peek(ThreadMessage &out);
  // Takes the oldest message, waiting up to `timeout` for one. Returns false on time-out or
  // when the queue is closed while waiting.
  bool Wait(ThreadMessage &out, std::chrono::milliseconds timeout);

  // From now on posts are accepted (a closed queue stays closed).
  void Open();
  // From now on posts are refused; every queued message is freed.
  void Close();
  bool Accepting() const;
  size_t Size() const;

private:
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<ThreadMessage> queue_;
  bool open_ = false;
  bool closed_ = false;
};

} // namespace kv::platform
