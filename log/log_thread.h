#pragma once
// The shape both logger threads share: created suspended with their queue already in place,
// resumed once, then one message per turn and a fixed pause every turn until WM_QUIT.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "log/messages.h"

namespace kv::logging {

class TFastLogThread {
public:
  explicit TFastLogThread(std::string name);
  virtual ~TFastLogThread();
  TFastLogThread(const TFastLogThread &) = delete;
  TFastLogThread &operator=(const TFastLogThread &) = delete;

  // Posts a message to this thread. Returns false (the object is freed) before the queue is
  // opened or after the loop has ended.
  bool Post(uint32_t message, int64_t wparam, int64_t lparam = 0,
            std::unique_ptr<MessageObject> object = nullptr);
  // Lets the queue accept messages; Resume() does it too.
  void OpenQueue() { queue_.Open(); }
  // Starts the loop (once). The queue is opened first.
  void Resume();
  bool Resumed() const { return resumed_; }
  // True until the loop has ended (a suspended thread is alive).
  bool Alive() const { return !ended_; }
  // True once constructed, false again after an I/O failure ended the thread.
  bool Ready() const { return ready_; }
  // Asks the loop to end after everything queued so far and waits for it. Safe to call twice
  // and on a thread that was never resumed (it then only closes the queue).
  void Shutdown();
  // Where the thread is.
  enum class TPhase { BeforeLoop, Loop, AfterLoop, Ended };
  // Shutdown, but the wait gives up once the thread has gone `stall` before or in its loop
  // without taking a message or reporting progress (a write that blocks for good), or has spent
  // `after_loop` in all on what follows the loop (closing a file on a hung disk). It then returns
  // the phase the thread is held in, and the thread still runs, so that destroying it would wait
  // for it; Ended when it has ended. `each_poll`, when set, runs every few milliseconds of the wait.
  TPhase ShutdownUnlessStalled(std::chrono::milliseconds stall, std::chrono::milliseconds after_loop,
                               const std::function<void()> &each_poll = {});
  // Pause of each turn (from the next turn on). Zero turns pacing off: the thread then waits
  // on its queue and takes each message as soon as it arrives.
  void SetTurnPause(std::chrono::milliseconds pause) { pause_ms_ = pause.count(); }
  // Messages waiting in the queue.
  size_t Pending() const { return queue_.Size(); }

protected:
  // Runs on the thread before the loop; false ends the thread without a turn.
  virtual bool BeforeLoop() { return true; }
  // Acts on one message (not WM_QUIT). An exception ends the loop and the thread.
  virtual void HandleMessage(ThreadMessage &msg) = 0;
  // Runs on the thread after the loop.
  virtual void AfterLoop() {}
  // Wakes everyone waiting in WaitState().
  void NotifyState();
  // Waits until `done` holds (checked whenever the thread's state changes, and every `poll`
  // when that is not zero, for conditions nobody notifies).
  void WaitState(const std::function<bool()> &done, std::chrono::milliseconds poll = {});
  // Tells a stalled-shutdown wait that the current turn is still getting on.
  void NoteProgress() { ++progress_; }

  std::atomic<bool> ready_{false};

private:
  void Execute();

  std::string name_;
  platform::ThreadQueue queue_;
  std::thread thread_;
  std::atomic<std::chrono::milliseconds::rep> pause_ms_{kTurnPause.count()};
  std::atomic<bool> resumed_{false};
  std::atomic<bool> ended_{false};
  std::atomic<bool> stop_requested_{false};
  std::atomic<TPhase> phase_{TPhase::BeforeLoop};
  std::atomic<uint64_t> progress_{0};
  std::mutex state_mutex_;
  std::condition_variable state_cv_;
};

} // namespace kv::logging
