#include "log/parser.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <stdexcept>

#include "log/qtimer.h"
#include "log/text_util.h"
#include "platform/datetime.h"

namespace kv::logging {

namespace {

std::string DateText(const platform::DateTimeFields &f) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", f.year, f.month, f.day);
  return buf;
}

std::string TimeText(const platform::DateTimeFields &f) {
  const char sep = platform::CurrentFormatSettings().TimeSeparator;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d%c%02d%c%02d", f.hour, sep, f.minute, sep, f.second);
  return buf;
}

} // namespace

TFastLogParser::TFastLogParser(platform::SystemInfo *source)
    : TFastLogThread("kv-log-parser"), source_(source ? source : &platform::CurrentSystemInfo()),
      program_(CurrentProgramInfo()), heap_(THeapMonitor::Heap, *source_), ram_(THeapMonitor::Ram, *source_) {
  ready_ = true;
}

TFastLogParser::~TFastLogParser() {
  Shutdown();
}

void TFastLogParser::SetProgramInfo(ProgramInfo info) {
  program_ = std::move(info);
  have_version_ = false;
}

void TFastLogParser::SetSystemInfo(platform::SystemInfo &source) {
  source_ = &source;
  heap_.SetSource(source);
  ram_.SetSource(source);
}

const std::string &TFastLogParser::VersionText() {
  if (!have_version_) {
    version_ = GetVersionText(program_.FilePath);
    have_version_ = true;
  }
  return version_;
}

// ---- numbering

std::string TFastLogParser::FormatLineNumber() const {
  std::string number = std::to_string(counter_);
  if (counter_ <= largest_padded_) {
    const int64_t pad = static_cast<int64_t>(active_.Width) - static_cast<int64_t>(number.size());
    if (active_.Alignment == 0)
      number += Blanks(pad);
    else if (active_.Alignment == 1)
      number = Blanks(pad) + number;
  }
  return number + " ";
}

std::string TFastLogParser::NumberLine(const std::string &text) {
  ++counter_;
  return active_.On ? FormatLineNumber() + text : text;
}

void TFastLogParser::NumberLines(Lines &lines) {
  for (auto &l : lines)
    l = NumberLine(l);
}

void TFastLogParser::SetPendingLineNumbers(const TFLLineNumbering &pending) {
  std::lock_guard lock(numbering_mutex_);
  pending_ = pending;
}

bool TFastLogParser::ApplyLineNumberSettings() {
  std::unique_lock lock(numbering_mutex_, std::chrono::milliseconds(50));
  if (!lock.owns_lock()) return false;
  active_ = pending_;
  active_.Width = std::min(active_.Width, kMaxLineNumberWidth);
  largest_padded_ = 1;
  for (int i = 0; i < active_.Width; ++i)
    largest_padded_ *= 10;
  largest_padded_ -= 1;
  return true;
}

void TFastLogParser::NumberCall(Lines &lines, bool suppress) {
  // LNumOff in any text of a call leaves all its lines unnumbered; they are still counted.
  const bool on = active_.On;
  if (suppress) active_.On = false;
  NumberLines(lines);
  active_.On = on;
}

// ---- expansion

bool TFastLogParser::TagValue(uint32_t key, std::string &value, Lines &extra) {
  using namespace tagkey;
  // The report's first line takes the tag's place, the others follow at the end; when getting
  // or placing the report fails, "#FLMem" follows instead and the rest of the text stays.
  auto report = [&](const std::function<Lines()> &make) {
    try {
      Lines lines = make();
      if (lines.empty()) throw std::runtime_error("empty report");
      value = lines[0];
      extra.insert(extra.end(), lines.begin() + 1, lines.end());
    } catch (...) {
      value.clear();
      extra.push_back("#FLMem");
    }
  };
  auto params = [&](const std::string &sep) {
    if (program_.Params.empty()) return std::string("(No params)");
    std::string text;
    for (size_t i = 0; i < program_.Params.size(); ++i)
      text += (i ? sep : "") + program_.Params[i];
    return text;
  };
  const platform::DateTimeFields now = key == Date || key == Time || key == Now || key == NowTicks
                                           ? platform::DecodeDateTime(platform::NowLocal())
                                           : platform::DateTimeFields{};
  switch (key) {
  case LNum:
    value = std::to_string(static_cast<uint64_t>(counter_) + 1);
    return true;
  case Date:
    value = DateText(now);
    return true;
  case Time:
    value = TimeText(now);
    return true;
  case Now:
    value = DateText(now) + " " + TimeText(now) + " ";
    return true;
  case NowTicks:
    value = DateText(now) + " " + TimeText(now) + " " + std::to_string(source_->TickCount());
    return true;
  case Ticks:
    value = std::to_string(source_->TickCount());
    return true;
  case AppName:
    value = FileNameOf(program_.FilePath);
    return true;
  case AppPath:
    value = DirectoryOf(program_.FilePath);
    return true;
  case AppFile:
    value = program_.FilePath;
    return true;
  case AppVer:
    value = VersionText();
    return true;
  case AppPrm:
    value = params("\r\n" + (active_.On ? Blanks(active_.Width + 1) : std::string()));
    return true;
  case AppPrmList:
    value = params(", ");
    return true;
  case Heap1:
  case Heap2:
  case Heap3:
    report([&] { return HeapReport(heap_.TakeSnapshot(), key == Heap1 ? 1 : key == Heap2 ? 2 : 3); });
    return true;
  case Ram1:
  case Ram2:
  case Ram3:
    report([&] { return RamReport(ram_.TakeSnapshot(), key == Ram1 ? 1 : key == Ram2 ? 2 : 3); });
    return true;
  case Disk1:
  case Disk2:
  case Disk3:
    report([&] { return DiskReport(*source_, key == Disk1 ? 1 : key == Disk2 ? 2 : 3); });
    return true;
  default:
    return false;
  }
}

Lines TFastLogParser::LineTagReport(const TParseItem &tag) {
  using namespace tagkey;
  switch (tag.Key) {
  case Heap:
    return HeapReport(heap_.TakeSnapshot(), 0);
  case Ram:
    return RamReport(ram_.TakeSnapshot(), 0);
  case Disk:
    return DiskReport(*source_, 0);
  case Mem:
    return MemoryStatusReport(*source_, tag.Name);
  case CPUI:
    return CpuInfoReport(*source_, tag.Name);
  case OSVI:
    return OsVersionReport(*source_, tag.Name);
  case Timers:
    return TimersReport(*source_, tag.Name);
  case Ruler:
    return ruler_.Report(false);
  case RulerPlus:
    return ruler_.Report(true);
  default:
    return {};
  }
}

Lines TFastLogParser::ExpandTags(TParseItems &items, bool &suppress) {
  using namespace tagkey;
  if (!items.empty() && items[0].Kind == TParseItem::kTag && items[0].LineTag) return LineTagReport(items[0]);

  // 1. Values and fills.
  TParseItems kept, tail;
  int64_t column = 0;
  bool previous_dropped = false;
  for (auto &t : items) {
    const bool first = &t == &items.front();
    if (t.Kind == TParseItem::kText) {
      column += static_cast<int64_t>(Utf8Length(t.Text));
      kept.push_back(std::move(t));
      previous_dropped = false;
      continue;
    }
    std::string value;
    Lines extra;
    if (t.Key == Break) {
      t.Text.clear();
      column = 0;
    } else if (t.Key == Column) {
      // placed in step 3
    } else if (t.Key == Fill) {
      if (first || previous_dropped || kept.empty()) {
        t.Text = AlignText("", t.Name, column);
        t.Kind = TParseItem::kText;
      } else {
        kept.back().Text = AlignText(kept.back().Text, t.Name, column);
        previous_dropped = true;
        continue;
      }
    } else if (t.Key == LNumOff) {
      suppress = true;
      previous_dropped = true;
      continue;
    } else if (TagValue(t.Key, value, extra)) {
      t.Text = value;
      t.Kind = TParseItem::kText;
      column = t.Key == AppPrm ? 0 : column + static_cast<int64_t>(Utf8Length(value));
      for (auto &line : extra)
        tail.push_back(TextItem(std::move(line)));
    } else {
      t.Text = "#FLTag(" + t.Name + ")";
      if (t.Key != Glue) t.Kind = TParseItem::kText;
      column += static_cast<int64_t>(Utf8Length(t.Text));
    }
    kept.push_back(std::move(t));
    previous_dropped = false;
  }
  for (auto &t : tail)
    kept.push_back(std::move(t));

  // 2. Glue: the texts between two "&" become one text.
  TParseItems glued;
  bool open = false;
  std::string joined;
  for (auto &t : kept) {
    if (t.IsTag(Glue)) {
      if (open) glued.push_back(TextItem(joined));
      open = !open;
      joined.clear();
      continue;
    }
    if (!open) {
      glued.push_back(std::move(t));
    } else if (!t.IsTag(Break)) {
      joined += t.IsTag(Column) ? t.Name : t.Text;
    }
  }
  if (open) glued.push_back(TextItem(joined));

  // 3. Columns: an "@" tag places the text after it.
  column = 0;
  TParseItems placed;
  for (size_t i = 0; i < glued.size(); ++i) {
    TParseItem &t = glued[i];
    if (t.IsTag(Column)) {
      if (i + 1 < glued.size()) glued[i + 1].Text = AlignText(glued[i + 1].Text, t.Name, column);
      continue;
    }
    if (t.IsTag(Break))
      column = 0;
    else
      column += static_cast<int64_t>(Utf8Length(t.Text));
    placed.push_back(std::move(t));
  }

  // 4. Lines: "/" ends a line.
  Lines lines;
  std::string line;
  for (const auto &t : placed) {
    if (t.IsTag(Break)) {
      lines.push_back(std::move(line));
      line.clear();
    } else {
      line += t.Text;
    }
  }
  lines.push_back(std::move(line));
  return lines;
}

void TFastLogParser::ParseInto(const std::string &text, Lines &lines, bool &suppress) {
  TParseItems items = Tokenize(text);
  ClassifyTokens(items);
  Lines expanded = ExpandTags(items, suppress);
  lines.insert(lines.end(), std::make_move_iterator(expanded.begin()),
               std::make_move_iterator(expanded.end()));
}

Lines TFastLogParser::ParseText(const std::string &text) {
  Lines lines;
  bool suppress = false;
  try {
    ParseInto(text, lines, suppress);
  } catch (...) {
    lines.push_back("#FLParserSTR(" + text + ")");
  }
  NumberCall(lines, suppress);
  return lines;
}

Lines TFastLogParser::ParseStrings(const std::vector<std::string> &list) {
  Lines lines;
  bool suppress = false;
  try {
    for (const auto &text : list)
      ParseInto(text, lines, suppress);
  } catch (...) {
    lines.push_back("#FLParserTSL.Strings)");
  }
  NumberCall(lines, suppress);
  return lines;
}

Lines TFastLogParser::FormatErrorBlock(const TFLErrorRequest &request) {
  Lines lines = BuildErrorBlock(error_, request);
  NumberLines(lines);
  return lines;
}

Lines TFastLogParser::FormatValues(const TFLValueRequest &request) {
  if (request.Style > 1) return ParseStrings(ConstArrayToLines(request.Values));
  return ParseText(ConstArrayToText(request.Values, request.Style));
}

// ---- the thread

void TFastLogParser::SendLines(Lines lines) {
  if (writer_) writer_->Post(WM_FL_WRITE_LINES, 0, 0, std::make_unique<TFLStrings>(std::move(lines)));
}

void TFastLogParser::HandleMessage(ThreadMessage &msg) {
  if (msg.Message == WM_FL_CONTROL) {
    auto *snapshot = dynamic_cast<TFLSnapshotMsg *>(msg.Object.get());
    switch (msg.WParam) {
    case hcApplyNumbering:
      ApplyLineNumberSettings();
      break;
    case hcPushHeapSnapshot:
      if (snapshot) heap_.PushSnapshot(snapshot->Rec);
      break;
    case hcPushRamSnapshot:
      if (snapshot) ram_.PushSnapshot(snapshot->Rec);
      break;
    case hcClearHeapSnapshots:
      heap_.Clear();
      break;
    case hcClearRamSnapshots:
      ram_.Clear();
      break;
    case hcRulerWidth:
      SetRulerWidth(msg.LParam);
      break;
    default:
      break;
    }
    return;
  }
  if (msg.Message != WM_FL_PARSE) return;
  MessageObject *object = msg.Object.get();
  switch (msg.WParam) {
  case hrPlainText:
    if (auto *text = dynamic_cast<TFLStringMsg *>(object); text && writer_)
      writer_->Post(WM_FL_WRITE_TEXT, 0, 0, std::make_unique<TFLStringMsg>(NumberLine(text->Text)));
    break;
  case hrErrorBlock:
    if (auto *request = dynamic_cast<TFLErrorRequest *>(object)) SendLines(FormatErrorBlock(*request));
    break;
  case hrBlankLines: {
    Lines blank(static_cast<size_t>(std::clamp<int64_t>(msg.LParam, 0, kMaxLayoutWidth)));
    NumberLines(blank);
    SendLines(std::move(blank));
    break;
  }
  case hrTaggedText:
    if (auto *text = dynamic_cast<TFLStringMsg *>(object)) SendLines(ParseText(text->Text));
    break;
  case hrTaggedStrings:
    if (auto *list = dynamic_cast<TFLStrings *>(object)) SendLines(ParseStrings(list->Lines));
    break;
  case hrValues:
    if (auto *request = dynamic_cast<TFLValueRequest *>(object)) SendLines(FormatValues(*request));
    break;
  case hrHeapReport:
  case hrRamReport:
    if (auto *snapshot = dynamic_cast<TFLSnapshotMsg *>(object)) {
      Lines lines = msg.WParam == hrHeapReport ? HeapReport(snapshot->Rec, 0) : RamReport(snapshot->Rec, 0);
      NumberLines(lines);
      SendLines(std::move(lines));
    }
    break;
  default:
    break;
  }
}

} // namespace kv::logging
