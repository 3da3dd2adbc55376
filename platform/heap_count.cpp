// The global allocation operators, every form (single and array, sized, aligned, nothrow), over
// malloc with the standard behaviour (a zero-size block is a block, the new handler is called,
// bad_alloc is thrown) and counts. A block's bytes are its usable size, which the C library tells
// again when the block is freed, whichever form frees it.
//
// The counting has to cost little beside malloc itself, so no allocation takes a lock or a locked
// instruction: each thread adds to a record of its own with plain loads and stores (relaxed
// atomics, so that the reader on another thread may load them). A block freed on another thread
// than the one that made it is taken off there, so one record's figures may go below zero; only
// the sum means anything. A lock is taken only when a thread first counts, when it ends, around a
// fork and when the figures are read.
#include "platform/heap_count.h"

#include <atomic>
#include <cstdlib>
#include <malloc.h>
#include <mutex>
#include <new>
#include <pthread.h>

// Named to the linker by platform/CMakeLists.txt, so that every program takes this file.
extern "C" const int korvane_heap_count = KV_COUNTED_HEAP;

#if !KV_COUNTED_HEAP

bool kv::platform::CountedHeap(uint64_t &blocks, uint64_t &bytes) {
  blocks = bytes = 0;
  return false;
}

#else

namespace kv::platform {

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

// A thread's counts. When the thread ends, its record goes, counts and all, to the next thread
// that starts, so nothing a thread counted is lost; records are never freed, and their number is
// the most threads that ever counted at once. Aligned so that two threads never write one cache
// line.
struct alignas(64) Record {
  std::atomic<int64_t> blocks{0}, bytes{0};
  Record *next = nullptr;      // every record; under g_lock
  Record *next_free = nullptr; // records of ended threads; under g_lock

  // Only the thread that holds the record writes it.
  void Add(int64_t n, int64_t b) noexcept {
    blocks.store(blocks.load(kRelaxed) + n, kRelaxed);
    bytes.store(bytes.load(kRelaxed) + b, kRelaxed);
  }
};

// Everything here is constant-initialised and needs no destructor, so allocations before main,
// after the end of main and in a thread's last moments find it ready.
constinit std::mutex g_lock;
constinit Record *g_records = nullptr, *g_free = nullptr; // under g_lock
// Counted with atomic additions, by threads without a record: none could be had, or the thread is
// ending and has given its record back.
constinit Record g_shared;
constinit pthread_key_t g_end_key = 0;

constinit thread_local Record *t_record = nullptr;
constinit thread_local bool t_shared = false;

// A thread's end is learnt from a key's destructor, not from a thread_local object's: such an
// object would be built inside the allocation operators and be gone before the thread's last
// allocations (other thread_local objects' destructors, other keys'), while a plain pointer stays
// readable to the thread's last instruction. Allocations after this count in g_shared.
void ThreadEnds(void *record) {
  t_record = nullptr;
  t_shared = true;
  const std::lock_guard lock(g_lock);
  auto *r = static_cast<Record *>(record);
  r->next_free = g_free;
  g_free = r;
}

void CountWithoutRecord(int64_t n, int64_t b) noexcept;

// A child of fork has only the forking thread, so no other thread may hold the lock then. The
// forking thread takes its record first: other fork handlers, which run after this one, may
// allocate.
void LockForFork() {
  if (!t_record) CountWithoutRecord(0, 0);
  g_lock.lock();
}
void UnlockAfterFork() {
  g_lock.unlock();
}

// The key that tells of a thread's end, and the fork handlers; false when either cannot be had.
bool MakeEndKey() noexcept {
  return ::pthread_key_create(&g_end_key, ThreadEnds) == 0 &&
         ::pthread_atfork(LockForFork, UnlockAfterFork, UnlockAfterFork) == 0;
}

// A record for this thread, an ended thread's or a new one; none when that fails.
Record *TakeRecord() noexcept {
  static const bool keyed = MakeEndKey();
  if (!keyed) return nullptr;
  Record *r = nullptr;
  {
    const std::lock_guard lock(g_lock);
    if ((r = g_free) != nullptr) g_free = r->next_free;
  }
  if (!r) {
    void *memory = nullptr;
    if (::posix_memalign(&memory, alignof(Record), sizeof(Record)) != 0) return nullptr;
    r = ::new (memory) Record;
    const std::lock_guard lock(g_lock);
    r->next = g_records;
    g_records = r;
  }
  if (::pthread_setspecific(g_end_key, r) == 0) return r;
  const std::lock_guard lock(g_lock);
  r->next_free = g_free;
  g_free = r;
  return nullptr;
}

[[gnu::noinline]] void CountWithoutRecord(int64_t n, int64_t b) noexcept {
  if (!t_shared) {
    t_record = TakeRecord();
    if (t_record) {
      t_record->Add(n, b);
      return;
    }
    t_shared = true;
  }
  g_shared.blocks.fetch_add(n, kRelaxed);
  g_shared.bytes.fetch_add(b, kRelaxed);
}

inline void Count(int64_t n, int64_t b) noexcept {
  if (Record *r = t_record) [[likely]]
    r->Add(n, b);
  else
    CountWithoutRecord(n, b);
}

} // namespace

bool CountedHeap(uint64_t &blocks, uint64_t &bytes) {
  int64_t n = g_shared.blocks.load(kRelaxed), b = g_shared.bytes.load(kRelaxed);
  {
    const std::lock_guard lock(g_lock);
    for (const Record *r = g_records; r; r = r->next) {
      n += r->blocks.load(kRelaxed);
      b += r->bytes.load(kRelaxed);
    }
  }
  blocks = n > 0 ? static_cast<uint64_t>(n) : 0;
  bytes = b > 0 ? static_cast<uint64_t>(b) : 0;
  return true;
}

namespace {

// Until the block is had or the new handler gives up.
[[gnu::noinline]] void *AllocateHard(std::size_t size, std::size_t alignment) {
  if (size == 0) size = 1;
  while (true) {
    void *p = nullptr;
    if (alignment <= __STDCPP_DEFAULT_NEW_ALIGNMENT__)
      p = std::malloc(size);
    else if (::posix_memalign(&p, alignment, size) != 0)
      p = nullptr;
    if (p) {
      Count(1, static_cast<int64_t>(::malloc_usable_size(p)));
      return p;
    }
    const std::new_handler handler = std::get_new_handler();
    if (!handler) throw std::bad_alloc();
    handler();
  }
}

inline void *Allocate(std::size_t size, std::size_t alignment) {
  if (alignment <= __STDCPP_DEFAULT_NEW_ALIGNMENT__) [[likely]] {
    if (void *p = std::malloc(size ? size : 1)) [[likely]] {
      Count(1, static_cast<int64_t>(::malloc_usable_size(p)));
      return p;
    }
  }
  return AllocateHard(size, alignment);
}

void *AllocateOrNull(std::size_t size, std::size_t alignment) noexcept {
  try {
    return Allocate(size, alignment);
  } catch (...) {
    return nullptr;
  }
}

inline void Release(void *p) noexcept {
  if (!p) return;
  Count(-1, -static_cast<int64_t>(::malloc_usable_size(p)));
  std::free(p);
}

} // namespace

} // namespace kv::platform

using kv::platform::Allocate;
using kv::platform::AllocateOrNull;
using kv::platform::Release;
using Alignment = std::align_val_t;
constexpr std::size_t kPlain = __STDCPP_DEFAULT_NEW_ALIGNMENT__;

void *operator new(std::size_t size) {
  return Allocate(size, kPlain);
}
void *operator new[](std::size_t size) {
  return Allocate(size, kPlain);
}
void *operator new(std::size_t size, const std::nothrow_t &) noexcept {
  return AllocateOrNull(size, kPlain);
}
void *operator new[](std::size_t size, const std::nothrow_t &) noexcept {
  return AllocateOrNull(size, kPlain);
}
void *operator new(std::size_t size, Alignment a) {
  return Allocate(size, static_cast<std::size_t>(a));
}
void *operator new[](std::size_t size, Alignment a) {
  return Allocate(size, static_cast<std::size_t>(a));
}
void *operator new(std::size_t size, Alignment a, const std::nothrow_t &) noexcept {
  return AllocateOrNull(size, static_cast<std::size_t>(a));
}
void *operator new[](std::size_t size, Alignment a, const std::nothrow_t &) noexcept {
  return AllocateOrNull(size, static_cast<std::size_t>(a));
}

void operator delete(void *p) noexcept {
  Release(p);
}
void operator delete[](void *p) noexcept {
  Release(p);
}
void operator delete(void *p, std::size_t) noexcept {
  Release(p);
}
void operator delete[](void *p, std::size_t) noexcept {
  Release(p);
}
void operator delete(void *p, const std::nothrow_t &) noexcept {
  Release(p);
}
void operator delete[](void *p, const std::nothrow_t &) noexcept {
  Release(p);
}
void operator delete(void *p, Alignment) noexcept {
  Release(p);
}
void operator delete[](void *p, Alignment) noexcept {
  Release(p);
}
void operator delete(void *p, std::size_t, Alignment) noexcept {
  Release(p);
}
void operator delete[](void *p, std::size_t, Alignment) noexcept {
  Release(p);
}
void operator delete(void *p, Alignment, const std::nothrow_t &) noexcept {
  Release(p);
}
void operator delete[](void *p, Alignment, const std::nothrow_t &) noexcept {
  Release(p);
}

#endif
