#pragma once
// The blocks the program has allocated with operator new and not yet freed, and their bytes.
// heap_count.cpp replaces the global allocation operators to count them, except in sanitizer
// builds: their run-times bring operators of their own (ThreadSanitizer's static one refuses a
// second definition, AddressSanitizer's checks new/delete pairs), which stay in place there.

#include <cstdint>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || defined(__SANITIZE_HWADDRESS__)
#define KV_COUNTED_HEAP 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) ||                                   \
    __has_feature(memory_sanitizer) || __has_feature(hwaddress_sanitizer)
#define KV_COUNTED_HEAP 0
#endif
#endif
#ifndef KV_COUNTED_HEAP
#define KV_COUNTED_HEAP 1
#endif

namespace kv::platform {

// The live blocks and their usable bytes; false (and zeros) where this build does not count them.
bool CountedHeap(uint64_t &blocks, uint64_t &bytes);

} // namespace kv::platform
