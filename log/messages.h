#pragma once
// Messages between the logger's facade, its parser thread and its writer thread, and the objects
// they carry. An object belongs to the receiver once posted; a refused post frees it.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/thread_queue.h"

namespace kv::logging {

using platform::MessageObject;
using platform::ThreadMessage;

inline constexpr uint32_t WM_USER = 0x0400;
inline constexpr uint32_t WM_QUIT = 18;
inline constexpr uint32_t WM_FL_CONTROL = WM_USER + 10;     // to the parser: control kind, value or object
inline constexpr uint32_t WM_FL_PARSE = WM_USER + 11;       // to the parser: request kind, object or number
inline constexpr uint32_t WM_FL_WRITE_TEXT = WM_USER + 12;  // to the writer: a TFLStringMsg
inline constexpr uint32_t WM_FL_WRITE_LINES = WM_USER + 13; // to the writer: a TFLStrings of finished lines

// Request kinds of WM_FL_PARSE.
enum TFLRequestKind : int64_t {
  hrPlainText = 1,
  hrErrorBlock = 2,
  hrBlankLines = 3,
  hrTaggedText = 4,
  hrTaggedStrings = 5,
  hrValues = 6,
  hrHeapReport = 7,
  hrRamReport = 8,
};

// Control kinds of WM_FL_CONTROL.
enum TFLControlKind : int64_t {
  hcApplyNumbering = 0,
  hcPushHeapSnapshot = 7,
  hcPushRamSnapshot = 8,
  hcClearHeapSnapshots = 10,
  hcClearRamSnapshots = 11,
  hcRulerWidth = 12,
};

// Each logger thread takes at most one message per turn and pauses this long every turn.
inline constexpr std::chrono::milliseconds kTurnPause{50};

// One text travelling between threads; it always ends in a line break.
struct TFLStringMsg : MessageObject {
  // Appends CR LF unless the text already ends in CR or LF; an empty text becomes CR LF.
  explicit TFLStringMsg(std::string text);
  std::string Text;
};

// A list of texts: the caller's lines for the parser, or finished lines for the writer.
struct TFLStrings : MessageObject {
  TFLStrings() = default;
  explicit TFLStrings(std::vector<std::string> lines) : Lines(std::move(lines)) {}
  std::vector<std::string> Lines;
};

} // namespace kv::logging
