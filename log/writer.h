#pragma once
// The writer thread: opens the log file once when resumed (running the rotation) and appends
// the finished lines the parser sends it, each ending in CR LF. A failed write (disk full, a
// file-size limit, an I/O error) ends the thread and is said once on standard error; the
// program goes on. SIGXFSZ is ignored from the start, so a size limit fails a write instead of
// killing the program.

#include <atomic>
#include <chrono>

#include "log/file_def.h"
#include "log/log_thread.h"

namespace kv::logging {

class TFastLogWriter : public TFastLogThread {
public:
  TFastLogWriter();
  ~TFastLogWriter() override;

  // Set up before logging starts; used afterwards only by this thread.
  TFLFileDef &FileDef() { return file_def_; }
  // True once the log file is open.
  bool FileOpen() const { return file_open_; }
  // Waits until the file is open or the thread has ended, or, once the file definition's stop
  // source is raised, kStopGrace at most; returns FileOpen(). False at once for a writer that
  // was never resumed.
  bool WaitUntilOpen();
  static constexpr std::chrono::seconds kStopGrace{1};
  // errno of the failure that ended the thread (0 if none).
  int LastError() const { return last_error_; }

protected:
  bool BeforeLoop() override;
  void HandleMessage(ThreadMessage &msg) override;
  void AfterLoop() override;

private:
  // Writes all of `bytes`; throws on failure (which ends the thread).
  void WriteAll(const std::string &bytes);

  TFLFileDef file_def_;
  int fd_ = -1;
  std::atomic<bool> file_open_{false};
  std::atomic<int> last_error_{0};
};

} // namespace kv::logging
