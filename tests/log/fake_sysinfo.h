#pragma once
// A system-information source with figures the test chooses.

#include <map>
#include <stdexcept>

#include "platform/sysinfo.h"

namespace kvtest {

class FakeSystemInfo : public kv::platform::SystemInfo {
public:
  bool memory_ok = true, disk_ok = true, cpu_ok = true, os_ok = true;
  bool throw_on_tick = false;
  bool heap_ok = true, throw_on_heap = false;
  kv::platform::MemoryStatus memory;
  kv::platform::DiskSpace disk;
  kv::platform::HeapStatus heap{12, 3456};
  kv::platform::ProcessorInfo cpu;
  kv::platform::OsVersion os;
  std::map<std::string, kv::platform::MachineValue> values; // key + "|" + name
  uint64_t tick = 1000;
  int tick_step = 16; // the tick count moves by this every `tick_calls` reads
  int tick_calls = 3;
  int64_t perf_frequency = 10000000;
  int64_t perf_counter = 0, perf_step = 3;
  bool has_tsc = true;
  uint64_t tsc = 0, tsc_step = 40;

  bool ReadMemoryStatus(kv::platform::MemoryStatus &out) override {
    out = memory;
    return memory_ok;
  }
  bool ReadDiskSpace(const std::string &, kv::platform::DiskSpace &out) override {
    out = disk;
    return disk_ok;
  }
  bool ReadHeapStatus(kv::platform::HeapStatus &out) override {
    if (throw_on_heap) throw std::runtime_error("no heap");
    out = heap;
    return heap_ok;
  }
  bool ReadProcessorInfo(kv::platform::ProcessorInfo &out) override {
    out = cpu;
    return cpu_ok;
  }
  bool ReadOsVersion(kv::platform::OsVersion &out) override {
    out = os;
    return os_ok;
  }
  std::optional<kv::platform::MachineValue> ReadMachineValue(const std::string &key,
                                                             const std::string &name) override {
    auto it = values.find(key + "|" + name);
    if (it == values.end()) return std::nullopt;
    return it->second;
  }
  uint64_t TickCount() override {
    if (throw_on_tick) throw std::runtime_error("no tick");
    if (++calls_ % tick_calls == 0) tick += static_cast<uint64_t>(tick_step);
    return tick;
  }
  int64_t PerformanceFrequency() override { return perf_frequency; }
  int64_t PerformanceCounter() override { return perf_counter += perf_step; }
  bool HasTimeStampCounter() override { return has_tsc; }
  uint64_t ReadTimeStampCounter() override { return tsc += tsc_step; }

  void SetNumber(const std::string &key, const std::string &name, uint32_t n) {
    kv::platform::MachineValue v;
    v.Kind = kv::platform::MachineValue::Type::Number;
    v.Number = n;
    values[key + "|" + name] = v;
  }
  void SetText(const std::string &key, const std::string &name, const std::string &text) {
    kv::platform::MachineValue v;
    v.Text = text;
    values[key + "|" + name] = v;
  }
  void SetBytes(const std::string &key, const std::string &name, const std::string &bytes) {
    kv::platform::MachineValue v;
    v.Kind = kv::platform::MachineValue::Type::Bytes;
    v.Bytes = bytes;
    values[key + "|" + name] = v;
  }

private:
  int calls_ = 0;
};

} // namespace kvtest
