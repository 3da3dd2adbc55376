#pragma once
// The logger's facade. Callers hand it texts and lists (which may carry tags in braces); a
// parser thread expands them and a writer thread appends the lines to the log file. Adding
// never waits for the disk and no call throws.
//
// Use:
//   kv::logging::CreateGlobalLog();          // program start, before any window
//   TFastLog &log = *kv::logging::GlobalLog();
//   log.Writer().FileDef().SetPath(dir);      // before StartLogging
//   log.Writer().FileDef().SetBackupCount(n);
//   log.Writer().FileDef().BaseName = "korvanlog";
//   log.SetStopSource(&stop_request);       // optional: a stop ends the waits early
//   if (!log.StartLogging()) { /* the log file could not be opened */ }
//   log.AddStrings(log.Header()); log.Add("text"); log.AddStrings(log.Footer());
//   if (!log.Finish()) { /* log.Stalled() held it up: end the process without destroying the logger */ }
//   kv::logging::DestroyGlobalLog();         // program end: every queued line is written first

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "log/parser.h"
#include "log/writer.h"

namespace kv::logging {

// What held up the end of a run's log, and how long it was given.
struct TLogStall {
  enum Part {
    None,
    Parser, // expanding the lines
    Open,   // creating the log file (after a stop request ended the wait for it)
    Write,  // a write to the log file
    Close,  // closing the log file and tidying its folder
  };
  Part part = None;
  std::chrono::milliseconds limit{0};
};

class TFastLog {
public:
  // Both threads exist but stay suspended; no file is touched. `source` feeds the reports
  // (this machine's by default).
  explicit TFastLog(platform::SystemInfo *source = nullptr);
  // Lets the parser finish every queued request, then the writer every queued line, and closes
  // the file. A logger that was never started touches no file.
  ~TFastLog();
  TFastLog(const TFastLog &) = delete;
  TFastLog &operator=(const TFastLog &) = delete;

  TFastLogParser &Parser() { return *parser_; }
  TFastLogWriter &Writer() { return *writer_; }
  // The tagged header (six lines in the file) and footer (four lines).
  const std::vector<std::string> &Header() const { return header_; }
  const std::vector<std::string> &Footer() const { return footer_; }

  // Starts both threads (once) and waits until the writer has opened the log file. Returns
  // whether the file is open; on false the writer has ended and later lines are dropped.
  bool StartLogging();
  bool Started() const { return started_; }

  // Queues one text. Before StartLogging, or after the parser ended, the text is dropped.
  void Add(const std::string &text);
  // Queues a copy of the list (the caller keeps its own). Dropped like Add.
  void AddStrings(const std::vector<std::string> &list);

  // Pause of each thread's turn (kTurnPause unless changed); 0 turns pacing off.
  void SetTurnPause(std::chrono::milliseconds pause);

  // A flag outside the logger, such as the program's stop request; set before StartLogging. Once
  // it is raised, StartLogging's wait for the file and the waits for the log folder's lock end
  // early, and Finish drains both queues without the turn pause.
  void SetStopSource(const std::atomic<bool> *stop);

  // Lets the parser finish every queued request and the writer every queued line, and waits for
  // both threads to end, as destruction does, but no longer than this: a thread that has gone
  // `stall` without taking a message or writing a byte (a pipe nobody reads, a hung disk) is
  // given up, and closing the file and tidying the folder after the writer's last line get the
  // wait for the folder's lock plus `stall` in all. Returns true when both have ended; false when
  // a thread still runs (Stalled() tells which part held it): destroying the logger would then
  // wait for it, so the caller ends the process instead. A healthy log never comes near these.
  bool Finish(std::chrono::milliseconds stall = kStallLimit);
  static constexpr std::chrono::seconds kStallLimit{3};
  // After a Finish that returned false.
  const TLogStall &Stalled() const { return stalled_; }

private:
  void PostRequest(int64_t kind, std::unique_ptr<MessageObject> object);

  std::unique_ptr<TFastLogWriter> writer_;
  std::unique_ptr<TFastLogParser> parser_;
  std::vector<std::string> header_;
  std::vector<std::string> footer_;
  std::atomic<bool> started_{false};
  TLogStall stalled_;
};

// The process-wide logger; nullptr outside CreateGlobalLog() .. DestroyGlobalLog().
TFastLog *GlobalLog();
// Creates the global logger (a second call does nothing).
void CreateGlobalLog();
// Frees it, writing every queued line first. Call before the program's end, not from a static
// destructor.
void DestroyGlobalLog();

// Creates the global logger for its own lifetime: declare one at the top of main().
class GlobalLogScope {
public:
  GlobalLogScope() { CreateGlobalLog(); }
  ~GlobalLogScope() { DestroyGlobalLog(); }
  GlobalLogScope(const GlobalLogScope &) = delete;
  GlobalLogScope &operator=(const GlobalLogScope &) = delete;
};

} // namespace kv::logging
