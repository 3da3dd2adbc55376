#pragma once
// System reports of the tag language: heap, RAM and disk figures (a block or one line), memory
// status, CPU and operating-system blocks, and the column ruler. Every report catches its own
// failures and puts a marker line ("#FL...") into its output.

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "log/messages.h"
#include "platform/sysinfo.h"

namespace kv::logging {

using Lines = std::vector<std::string>;

// One snapshot: heap kind: blocks and bytes, load 0; RAM kind: total and available bytes and
// the memory load in percent.
struct THeapMRec {
  uint64_t First = 0;
  uint64_t Second = 0;
  uint32_t Load = 0;
  std::string Extra;
  // False for a live reading the system could not give: the report shows its failure marker.
  bool Valid = true;
};

// A snapshot travelling to the parser (request kinds 7, 8; control kinds 7, 8).
struct TFLSnapshotMsg : MessageObject {
  explicit TFLSnapshotMsg(THeapMRec rec) : Rec(std::move(rec)) {}
  THeapMRec Rec;
};

// Recorded snapshots used first in, first out; a live reading when none is left.
class THeapMonitor {
public:
  enum Kind { Heap = 0, Ram = 1 };
  THeapMonitor(Kind kind, platform::SystemInfo &source) : kind_(kind), source_(&source) {}
  void PushSnapshot(const THeapMRec &rec) { queue_.push_back(rec); }
  THeapMRec TakeSnapshot();
  void Clear() { queue_.clear(); }
  size_t Count() const { return queue_.size(); }
  void SetSource(platform::SystemInfo &source) { source_ = &source; }

private:
  Kind kind_;
  platform::SystemInfo *source_;
  std::deque<THeapMRec> queue_;
};

// Form 0 is the block, forms 1 to 3 the one-line forms. A snapshot that is not valid gives the
// failure marker ("#FLHeap", "#FLRam") alone.
Lines HeapReport(const THeapMRec &snapshot, int form);
Lines RamReport(const THeapMRec &snapshot, int form);
Lines DiskReport(platform::SystemInfo &source, int form);

// Blocks of the line tags; `tag` is the tag's name as written (shown on failure).
Lines MemoryStatusReport(platform::SystemInfo &source, const std::string &tag);
Lines CpuInfoReport(platform::SystemInfo &source, const std::string &tag);
Lines OsVersionReport(platform::SystemInfo &source, const std::string &tag);

// A machine value of any type as text; "" when it is missing or empty.
std::string ReadRegistryText(platform::SystemInfo &source, const std::string &key, const std::string &name);

// The column ruler; its lines are built when first needed and kept until the width changes.
class TRuler {
public:
  // Width in columns, bounded to 0..kMaxLayoutWidth.
  void SetRulerWidth(int64_t width);
  int RulerWidth() const { return width_; }
  // The dot line, preceded by the number line when `with_numbers`.
  Lines Report(bool with_numbers);

private:
  int width_ = 80;
  std::string dots_, numbers_;
  bool have_dots_ = false, have_numbers_ = false;
};

} // namespace kv::logging
