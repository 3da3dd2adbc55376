#include "log/log_thread.h"

#include <optional>
#include <pthread.h>

namespace kv::logging {

TFLStringMsg::TFLStringMsg(std::string text) : Text(std::move(text)) {
  if (Text.empty() || (Text.back() != '\r' && Text.back() != '\n')) Text += "\r\n";
}

TFastLogThread::TFastLogThread(std::string name) : name_(std::move(name)) {}

TFastLogThread::~TFastLogThread() {
  Shutdown();
}

bool TFastLogThread::Post(uint32_t message, int64_t wparam, int64_t lparam,
                          std::unique_ptr<MessageObject> object) {
  return queue_.Post(ThreadMessage{message, wparam, lparam, std::move(object)});
}

void TFastLogThread::Resume() {
  if (resumed_.exchange(true)) return;
  queue_.Open();
  thread_ = std::thread([this] { Execute(); });
}

void TFastLogThread::Shutdown() {
  if (resumed_ && thread_.joinable()) {
    // WM_QUIT queues behind every earlier message, so all of them are handled first. If it
    // cannot be queued, the loop has ended or is ending; the flag makes sure it does.
    if (!Post(WM_QUIT, 0, 0)) stop_requested_ = true;
    thread_.join();
  }
  queue_.Close();
}

TFastLogThread::TPhase TFastLogThread::ShutdownUnlessStalled(std::chrono::milliseconds stall,
                                                             std::chrono::milliseconds after_loop,
                                                             const std::function<void()> &each_poll) {
  if (!resumed_ || !thread_.joinable()) {
    Shutdown();
    return TPhase::Ended;
  }
  if (!Post(WM_QUIT, 0, 0)) stop_requested_ = true;
  using Clock = std::chrono::steady_clock;
  uint64_t seen = progress_.load();
  auto since = Clock::now();
  std::optional<Clock::time_point> after_loop_since;
  for (;;) {
    if (each_poll) each_poll();
    {
      std::unique_lock lock(state_mutex_);
      if (state_cv_.wait_for(lock, std::chrono::milliseconds(20), [this] { return ended_.load(); })) break;
    }
    const TPhase phase = phase_.load();
    const auto now = Clock::now();
    if (phase == TPhase::AfterLoop) {
      // A fixed allowance: what follows the loop reports no progress.
      if (!after_loop_since) after_loop_since = now;
      if (now - *after_loop_since >= after_loop) return phase;
    } else if (const uint64_t progress = progress_.load(); progress != seen) {
      seen = progress;
      since = now;
    } else if (now - since >= stall) {
      return phase;
    }
  }
  Shutdown();
  return TPhase::Ended;
}

void TFastLogThread::NotifyState() {
  { std::lock_guard lock(state_mutex_); }
  state_cv_.notify_all();
}

void TFastLogThread::WaitState(const std::function<bool()> &done, std::chrono::milliseconds poll) {
  std::unique_lock lock(state_mutex_);
  if (poll.count() == 0) {
    state_cv_.wait(lock, done);
    return;
  }
  while (!done())
    state_cv_.wait_for(lock, poll);
}

void TFastLogThread::Execute() {
  pthread_setname_np(pthread_self(), name_.substr(0, 15).c_str());
  bool terminated = false;
  try {
    if (!BeforeLoop()) terminated = true;
  } catch (...) {
    terminated = true;
  }
  phase_ = TPhase::Loop;
  while (!terminated && !stop_requested_) {
    const std::chrono::milliseconds pause(pause_ms_.load());
    const bool paced = pause.count() > 0;
    ThreadMessage msg;
    // Without pacing the thread sleeps on its queue instead, still one message per turn.
    if (paced ? queue_.Peek(msg) : queue_.Wait(msg, std::chrono::milliseconds(100))) {
      NoteProgress();
      if (msg.Message == WM_QUIT) {
        terminated = true;
      } else {
        try {
          HandleMessage(msg);
        } catch (...) {
          break; // a failure inside a turn ends the thread
        }
      }
    }
    if (!terminated && paced) std::this_thread::sleep_for(pause);
  }
  queue_.Close();
  // What follows the loop (closing the file, tidying the folder) may wait for the folder's lock
  // and for the disk; a shutdown that gives up on stalls allows it a fixed time in all.
  phase_ = TPhase::AfterLoop;
  try {
    AfterLoop();
  } catch (...) {
  }
  phase_ = TPhase::Ended;
  ended_ = true;
  NotifyState();
}

} // namespace kv::logging
