// The counted allocation operators against their floors: batches of 256 blocks of 48 bytes
// allocated, then freed, through the program's operators (counted), through plain malloc and free,
// through the C++ library's own operators (which the program's replace; dlsym finds them behind),
// and through malloc and free with a malloc_usable_size call at each (what an exact byte count
// costs at least). The kinds take turns within each iteration and are timed in the thread's
// processor time, so that a loaded machine slows them alike; on one thread and on four at once.
// Reports the counted pair's cost as a ratio of each floor (x_malloc, x_library, x_usable).

#include <array>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <ctime>
#include <dlfcn.h>
#include <malloc.h>

namespace {

constexpr int kBatch = 256;
constexpr int kBatchesATurn = 8; // so that reading the clock costs little against them
constexpr std::size_t kSize = 48;

using NewFn = void *(*)(std::size_t);
using DeleteFn = void (*)(void *);

// The library's operator new(size_t) and operator delete(void *).
const NewFn kLibraryNew = reinterpret_cast<NewFn>(::dlsym(RTLD_NEXT, "_Znwm"));
const DeleteFn kLibraryDelete = reinterpret_cast<DeleteFn>(::dlsym(RTLD_NEXT, "_ZdlPv"));

enum Kind { kCounted, kPlain, kLibrary, kUsable, kKinds };

double ThreadNs() {
  timespec t{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
}

void Batch(Kind kind, void *(&blocks)[kBatch]) {
  switch (kind) {
  case kCounted:
    for (void *&p : blocks)
      p = ::operator new(kSize);
    benchmark::DoNotOptimize(blocks);
    for (void *p : blocks)
      ::operator delete(p);
    break;
  case kPlain:
    for (void *&p : blocks)
      p = std::malloc(kSize);
    benchmark::DoNotOptimize(blocks);
    for (void *p : blocks)
      std::free(p);
    break;
  case kLibrary:
    for (void *&p : blocks)
      p = kLibraryNew(kSize);
    benchmark::DoNotOptimize(blocks);
    for (void *p : blocks)
      kLibraryDelete(p);
    break;
  default: { // kUsable
    std::size_t bytes = 0;
    for (void *&p : blocks) {
      p = std::malloc(kSize);
      bytes += ::malloc_usable_size(p);
    }
    benchmark::DoNotOptimize(blocks);
    for (void *p : blocks) {
      bytes -= ::malloc_usable_size(p);
      std::free(p);
    }
    benchmark::DoNotOptimize(bytes);
    break;
  }
  }
}

void CountedAgainstFloors(benchmark::State &state) {
  if (!kLibraryNew || !kLibraryDelete) {
    state.SkipWithError("the library's operators are not found");
    return;
  }
  void *blocks[kBatch];
  std::array<double, kKinds> ns{};
  unsigned turn = 0;
  for (auto _ : state) {
    // Each kind goes first in turn.
    for (unsigned k = 0; k < kKinds; ++k) {
      const Kind kind = static_cast<Kind>((turn + k) % kKinds);
      const double t0 = ThreadNs();
      for (int b = 0; b < kBatchesATurn; ++b)
        Batch(kind, blocks);
      ns[kind] += ThreadNs() - t0;
    }
    ++turn;
  }
  // Per pair, and the counted pair over each floor: the threads' mean (each runs as many pairs).
  const double pairs = static_cast<double>(state.iterations()) * kBatch * kBatchesATurn;
  const auto avg = benchmark::Counter::kAvgThreads;
  state.counters["new_ns"] = benchmark::Counter(ns[kCounted] / pairs, avg);
  state.counters["malloc_ns"] = benchmark::Counter(ns[kPlain] / pairs, avg);
  state.counters["x_malloc"] = benchmark::Counter(ns[kCounted] / ns[kPlain], avg);
  state.counters["x_library"] = benchmark::Counter(ns[kCounted] / ns[kLibrary], avg);
  state.counters["x_usable"] = benchmark::Counter(ns[kCounted] / ns[kUsable], avg);
}
BENCHMARK(CountedAgainstFloors)->Threads(1)->Threads(4);

} // namespace

BENCHMARK_MAIN();
