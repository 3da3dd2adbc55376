// The count of blocks the program's memory manager holds, for the heap report: the global
// allocation operators are replaced by ones that keep the standard behaviour (zero-size blocks,
// the new handler, bad_alloc) and add one relaxed atomic count. The over-aligned forms stay the
// library's and are not counted. Under AddressSanitizer the library's operators are kept, so its
// new/delete checks stay whole, and the count is unknown.
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

#include "platform/sysinfo.h"

#if defined(__SANITIZE_ADDRESS__)
#define KV_COUNT_HEAP_BLOCKS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KV_COUNT_HEAP_BLOCKS 0
#endif
#endif
#ifndef KV_COUNT_HEAP_BLOCKS
#define KV_COUNT_HEAP_BLOCKS 1
#endif

namespace kv::platform {

namespace {
std::atomic<int64_t> g_heap_blocks{0};
} // namespace

bool CountedHeapBlocks(uint64_t &blocks) {
  const int64_t n = g_heap_blocks.load(std::memory_order_relaxed);
  blocks = n > 0 ? static_cast<uint64_t>(n) : 0;
  return KV_COUNT_HEAP_BLOCKS != 0;
}

} // namespace kv::platform

#if KV_COUNT_HEAP_BLOCKS

namespace {

void *CountedAllocate(std::size_t size) {
  if (size == 0) size = 1;
  while (true) {
    if (void *p = std::malloc(size)) {
      kv::platform::g_heap_blocks.fetch_add(1, std::memory_order_relaxed);
      return p;
    }
    const std::new_handler handler = std::get_new_handler();
    if (!handler) throw std::bad_alloc();
    handler();
  }
}

void *CountedAllocate(std::size_t size, const std::nothrow_t &) noexcept {
  try {
    return CountedAllocate(size);
  } catch (...) {
    return nullptr;
  }
}

void CountedRelease(void *p) noexcept {
  if (!p) return;
  kv::platform::g_heap_blocks.fetch_sub(1, std::memory_order_relaxed);
  std::free(p);
}

} // namespace

void *operator new(std::size_t size) {
  return CountedAllocate(size);
}
void *operator new[](std::size_t size) {
  return CountedAllocate(size);
}
void *operator new(std::size_t size, const std::nothrow_t &tag) noexcept {
  return CountedAllocate(size, tag);
}
void *operator new[](std::size_t size, const std::nothrow_t &tag) noexcept {
  return CountedAllocate(size, tag);
}
void operator delete(void *p) noexcept {
  CountedRelease(p);
}
void operator delete[](void *p) noexcept {
  CountedRelease(p);
}
void operator delete(void *p, std::size_t) noexcept {
  CountedRelease(p);
}
void operator delete[](void *p, std::size_t) noexcept {
  CountedRelease(p);
}
void operator delete(void *p, const std::nothrow_t &) noexcept {
  CountedRelease(p);
}
void operator delete[](void *p, const std::nothrow_t &) noexcept {
  CountedRelease(p);
}

#endif
