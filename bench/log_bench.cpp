// Logger benchmarks: how long Add takes on the caller while the writer is blocked on its file,
// and how many lines a second the parser expands when nothing paces it.
//
// The writer's file is a FIFO nobody reads, so once its buffer is full every write blocks: the
// writer is stalled for the whole measurement. Latencies are per call (median, 99th percentile,
// maximum), from one and from four adding threads.

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <malloc.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "log/fast_log.h"

using namespace kv::logging;
using Clock = std::chrono::steady_clock;

namespace {

std::string TempFolder() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "kvlogbench-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) std::abort();
  return tmpl;
}

// range(0) adding threads, range(1) adds per thread, range(2) 1 for the real pacing of the
// parser (it then takes one request per turn), 0 for none (it competes for the queue).
void AddLatency(benchmark::State &state) {
  const int threads = static_cast<int>(state.range(0));
  const int per_thread = static_cast<int>(state.range(1));
  const bool paced = state.range(2) != 0;
  // Warm: each adding thread first makes and frees as many messages as it will add, so that
  // the queue grows into memory its allocator already has (no first touches of fresh pages).
  const bool warm = state.range(3) != 0;
  if (warm) mallopt(M_TRIM_THRESHOLD, 1 << 30);
  for (auto _ : state) {
    const std::string dir = TempFolder();
    const std::string fifo = dir + "/korvanlog.log";
    if (mkfifo(fifo.c_str(), 0600) != 0) std::abort();
    std::vector<int64_t> all;
    size_t backlog = 0;
    std::thread drain;
    {
      TFastLog log;
      log.SetTurnPause(std::chrono::milliseconds(0));
      log.Writer().FileDef().SetPath(dir);
      log.Writer().FileDef().BaseName = "korvanlog";
      if (!log.StartLogging()) std::abort();
      // Fill the pipe until the writer blocks.
      const std::string filler(200, 'f');
      for (int i = 0; i < 2000; ++i)
        log.Add(filler);
      while (log.Writer().Pending() < 100)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      if (paced) log.Parser().SetTurnPause(kTurnPause);

      std::vector<std::vector<int64_t>> latencies(threads);
      std::vector<std::thread> adders;
      for (int t = 0; t < threads; ++t)
        adders.emplace_back([&, t] {
          auto &mine = latencies[t];
          mine.reserve(per_thread);
          const std::string text =
              "2026-03-04 05:06:07 Query of pool.ntp.example: offset 0.0123 s, delay 0.0456 s";
          if (warm) {
            std::vector<std::unique_ptr<TFLStringMsg>> scratch;
            for (int i = 0; i < per_thread * 2; ++i)
              scratch.push_back(std::make_unique<TFLStringMsg>(text));
          }
          for (int i = 0; i < per_thread; ++i) {
            auto t0 = Clock::now();
            log.Add(text);
            auto t1 = Clock::now();
            mine.push_back(std::chrono::duration_cast<std::chrono::nanoseconds>(t1 - t0).count());
          }
        });
      for (auto &a : adders)
        a.join();
      backlog = log.Writer().Pending() + log.Parser().Pending();
      for (auto &l : latencies)
        all.insert(all.end(), l.begin(), l.end());

      // Unpace the parser and unblock the writer so the logger can drain and end.
      log.Parser().SetTurnPause(std::chrono::milliseconds(0));
      drain = std::thread([&] {
        int fd = open(fifo.c_str(), O_RDONLY);
        char buf[65536];
        while (read(fd, buf, sizeof buf) > 0) {
        }
        close(fd);
      });
    }
    drain.join();
    std::filesystem::remove_all(dir);
    std::sort(all.begin(), all.end());
    auto at = [&](double q) { return static_cast<double>(all[static_cast<size_t>(q * (all.size() - 1))]); };
    state.counters["p50_ns"] = at(0.50);
    state.counters["p99_ns"] = at(0.99);
    state.counters["max_ns"] = static_cast<double>(all.back());
    state.counters["queued_at_end"] = static_cast<double>(backlog);
  }
}

void Expansion(benchmark::State &state, const std::vector<std::string> &texts) {
  TFastLogParser parser;
  parser.SetProgramInfo({"/usr/bin/korvan", {"/a"}});
  size_t lines = 0;
  for (auto _ : state) {
    Lines out = parser.ParseStrings(texts);
    lines += out.size();
    benchmark::DoNotOptimize(out);
  }
  state.SetItemsProcessed(static_cast<int64_t>(lines));
}

void ParsePlain(benchmark::State &state) {
  Expansion(state, {"Query of pool.ntp.example: offset 0.0123 s, delay 0.0456 s"});
}

void ParseHeader(benchmark::State &state) {
  TFastLog log;
  Expansion(state, log.Header());
}

void ParseLayout(benchmark::State &state) {
  Expansion(state, {"{@12}Server : pool.ntp.example{60@}{&}{dte} {hms}{&}", "abc{*40-}{/}{@10@}mid{*80=}"});
}

} // namespace

BENCHMARK(AddLatency)
    ->ArgNames({"threads", "adds", "paced", "warm"})
    ->Args({1, 200000, 1, 0})
    ->Args({4, 50000, 1, 0})
    ->Args({1, 200000, 0, 0})
    ->Args({4, 50000, 0, 0})
    ->Args({1, 200000, 1, 1})
    ->Args({4, 50000, 1, 1})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(ParsePlain);
BENCHMARK(ParseHeader);
BENCHMARK(ParseLayout);

BENCHMARK_MAIN();
