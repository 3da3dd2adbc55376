// The global allocation operators, every form (single and array, sized, aligned, nothrow), over
// malloc with the standard behaviour (a zero-size block is a block, the new handler is called,
// bad_alloc is thrown) and relaxed atomic counts. A block's bytes are its usable size, which the
// C library tells again when the block is freed, whichever form frees it.
#include "platform/heap_count.h"

#include <atomic>
#include <cstdlib>
#include <malloc.h>
#include <new>

// Named to the linker by platform/CMakeLists.txt, so that every program takes this file.
extern "C" const int korvane_heap_count = KV_COUNTED_HEAP;

namespace kv::platform {

namespace {

// Each thread counts in a slot of its own (past 16 threads, slots are shared), so that threads
// allocating at once do not contend for one cache line; a block freed on another thread is taken
// off there. The figures are the sums.
struct alignas(64) Slot {
  std::atomic<int64_t> blocks{0}, bytes{0};
};
constexpr unsigned kSlots = 16;
Slot g_slots[kSlots];

} // namespace

bool CountedHeap(uint64_t &blocks, uint64_t &bytes) {
  int64_t n = 0, b = 0;
  for (const Slot &slot : g_slots) {
    n += slot.blocks.load(std::memory_order_relaxed);
    b += slot.bytes.load(std::memory_order_relaxed);
  }
  blocks = n > 0 ? static_cast<uint64_t>(n) : 0;
  bytes = b > 0 ? static_cast<uint64_t>(b) : 0;
  return KV_COUNTED_HEAP != 0;
}

} // namespace kv::platform

#if KV_COUNTED_HEAP

namespace kv::platform {
namespace {

std::atomic<unsigned> g_next_slot{0};
thread_local Slot *t_slot = nullptr;

Slot &ThisThreadsSlot() noexcept {
  if (!t_slot) t_slot = &g_slots[g_next_slot.fetch_add(1, std::memory_order_relaxed) % kSlots];
  return *t_slot;
}

void *Allocate(std::size_t size, std::size_t alignment) {
  if (size == 0) size = 1;
  while (true) {
    void *p = nullptr;
    if (alignment <= __STDCPP_DEFAULT_NEW_ALIGNMENT__)
      p = std::malloc(size);
    else if (::posix_memalign(&p, alignment, size) != 0)
      p = nullptr;
    if (p) {
      Slot &slot = ThisThreadsSlot();
      slot.blocks.fetch_add(1, std::memory_order_relaxed);
      slot.bytes.fetch_add(static_cast<int64_t>(::malloc_usable_size(p)), std::memory_order_relaxed);
      return p;
    }
    const std::new_handler handler = std::get_new_handler();
    if (!handler) throw std::bad_alloc();
    handler();
  }
}

void *AllocateOrNull(std::size_t size, std::size_t alignment) noexcept {
  try {
    return Allocate(size, alignment);
  } catch (...) {
    return nullptr;
  }
}

void Release(void *p) noexcept {
  if (!p) return;
  Slot &slot = ThisThreadsSlot();
  slot.blocks.fetch_sub(1, std::memory_order_relaxed);
  slot.bytes.fetch_sub(static_cast<int64_t>(::malloc_usable_size(p)), std::memory_order_relaxed);
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
