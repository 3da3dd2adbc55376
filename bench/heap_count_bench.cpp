// The counted allocation operators against plain malloc: batches of 256 blocks of 48 bytes
// allocated, then freed, on one thread and on four at once (each thread counts in a slot of its
// own). The ratio NewDelete / MallocFree is the counting's cost.

#include <benchmark/benchmark.h>
#include <cstdlib>

namespace {

constexpr int kBatch = 256;
constexpr std::size_t kSize = 48;

void NewDelete(benchmark::State &state) {
  void *blocks[kBatch];
  for (auto _ : state) {
    for (void *&p : blocks)
      p = ::operator new(kSize);
    benchmark::DoNotOptimize(blocks);
    for (void *p : blocks)
      ::operator delete(p);
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(NewDelete)->Threads(1)->Threads(4);

void MallocFree(benchmark::State &state) {
  void *blocks[kBatch];
  for (auto _ : state) {
    for (void *&p : blocks)
      p = std::malloc(kSize);
    benchmark::DoNotOptimize(blocks);
    for (void *p : blocks)
      std::free(p);
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(MallocFree)->Threads(1)->Threads(4);

} // namespace

BENCHMARK_MAIN();
