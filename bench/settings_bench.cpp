// Saving settings: closing the main window (which saves its ten interactive values) against one
// batched write of the same ten values, interleaved in one run so that a busy machine or disk
// slows both alike. Prints the close's cost as a ratio of the batched write.
// Runs on Qt's offscreen platform unless QT_QPA_PLATFORM says otherwise; the settings file lies
// in a private folder under /tmp.
#include <QApplication>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "app/main_form.h"
#include "platform/dispatcher.h"
#include "platform/registry.h"

namespace {

using Clock = std::chrono::steady_clock;

// The interactive key's values as the file holds them, as one set to write again.
kv::platform::TRegValues StoredInteractiveValues() {
  kv::platform::TRegistry reg;
  kv::platform::TRegValues values;
  if (!reg.OpenKeyReadOnly(kv::app::kInteractiveKey)) return values;
  for (const std::string &name : reg.GetValueNames()) {
    if (reg.GetDataType(name) == kv::platform::TRegDataType::rdInteger)
      values.Integer(name, reg.ReadInteger(name));
    else
      values.String(name, reg.ReadString(name));
  }
  return values;
}

double g_ratio = 0;

void BM_CloseOverBatchedWrite(benchmark::State &state) {
  kv::platform::ManualDispatcher dispatcher;
  kv::app::TMainForm form(dispatcher, {});
  form.show();
  QApplication::processEvents();
  form.close(); // the key exists from here on, as after any first start
  const kv::platform::TRegValues values = StoredInteractiveValues();
  if (values.Values().size() != 10) {
    state.SkipWithError("the window did not save its ten values");
    return;
  }
  kv::platform::TRegistry reg;
  double close_ns = 0, batched_ns = 0;
  for (auto _ : state) {
    form.show();
    const auto t0 = Clock::now();
    form.close();
    const auto t1 = Clock::now();
    reg.WriteValues(kv::app::kInteractiveKey, values);
    const auto t2 = Clock::now();
    close_ns += std::chrono::duration<double, std::nano>(t1 - t0).count();
    batched_ns += std::chrono::duration<double, std::nano>(t2 - t1).count();
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["close_ms"] = close_ns / n / 1e6;
  state.counters["batched_ms"] = batched_ns / n / 1e6;
  g_ratio = batched_ns > 0 ? close_ns / batched_ns : 0;
  state.counters["ratio"] = g_ratio;
}
BENCHMARK(BM_CloseOverBatchedWrite)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

int main(int argc, char **argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  char config[] = "/tmp/korvane-bench-XXXXXX";
  if (!mkdtemp(config)) return 1;
  setenv("XDG_CONFIG_HOME", config, 1);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (g_ratio > 0) std::printf("closing the window / one batched write of its values: %.2f\n", g_ratio);
  std::error_code ignored;
  std::filesystem::remove_all(config, ignored);
  return 0;
}
