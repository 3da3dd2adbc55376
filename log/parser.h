#pragma once
// The parser thread: expands the tags of the texts it is given into finished lines, counts and
// optionally numbers them, and sends them to the writer thread.

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "log/const_array.h"
#include "log/log_thread.h"
#include "log/program_info.h"
#include "log/reports.h"
#include "log/tags.h"
#include "platform/sysinfo.h"

namespace kv::logging {

// Widest line number; wider requests are cut to it.
inline constexpr uint16_t kMaxLineNumberWidth = 9;

struct TFLLineNumbering {
  bool On = false;
  uint16_t Width = 0;
  uint8_t Alignment = 0; // 0: blanks after the number, 1: before it, other: none
};

class TFastLogParser : public TFastLogThread {
public:
  // `source` supplies the reports' figures (this machine's by default).
  explicit TFastLogParser(platform::SystemInfo *source = nullptr);
  ~TFastLogParser() override;

  // The parser's only route to the writer; results are dropped while none is set.
  void SetWriter(TFastLogThread *writer) { writer_ = writer; }
  void SetProgramInfo(ProgramInfo info);
  void SetSystemInfo(platform::SystemInfo &source);

  // Lines of one text / of every text of a list, counted and numbered.
  Lines ParseText(const std::string &text);
  Lines ParseStrings(const std::vector<std::string> &list);

  // Counts one line and puts its number in front when numbering is on.
  std::string NumberLine(const std::string &text);
  void NumberLines(Lines &lines);
  std::string FormatLineNumber() const;
  uint32_t LineCount() const { return counter_; }

  // Pending numbering settings, written by whoever configures numbering (any thread).
  void SetPendingLineNumbers(const TFLLineNumbering &pending);
  // Copies the pending settings to the active ones (waits at most 50 ms for the lock).
  bool ApplyLineNumberSettings();
  const TFLLineNumbering &ActiveLineNumbers() const { return active_; }

  void SetRulerWidth(int64_t width) { ruler_.SetRulerWidth(width); }
  TFLErrorSettings &ErrorSettings() { return error_; }

  Lines FormatErrorBlock(const TFLErrorRequest &request);
  Lines FormatValues(const TFLValueRequest &request);

protected:
  void HandleMessage(ThreadMessage &msg) override;

private:
  // Expands one classified token list into lines; sets `suppress` for LNumOff.
  Lines ExpandTags(TParseItems &items, bool &suppress);
  Lines LineTagReport(const TParseItem &tag);
  // The value of a value tag; false when `key` is no value tag.
  bool TagValue(uint32_t key, std::string &value, Lines &extra);
  void ParseInto(const std::string &text, Lines &lines, bool &suppress);
  void NumberCall(Lines &lines, bool suppress);
  void SendLines(Lines lines);
  const std::string &VersionText();

  TFastLogThread *writer_ = nullptr;
  platform::SystemInfo *source_;
  ProgramInfo program_;
  std::string version_;
  bool have_version_ = false;

  uint32_t counter_ = 0;
  TFLLineNumbering active_{false, 3, 1};
  uint64_t largest_padded_ = 999;
  std::timed_mutex numbering_mutex_;
  TFLLineNumbering pending_;

  TRuler ruler_;
  TFLErrorSettings error_;
  THeapMonitor heap_;
  THeapMonitor ram_;
};

} // namespace kv::logging
