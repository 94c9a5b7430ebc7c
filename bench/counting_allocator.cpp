#include "counting_allocator.h"

#include <cstddef>

// glibc's allocator under its own names; the wrappers below stand in front of
// it for the whole process (the executable's definitions win over libc's).
// Aligned allocations (memalign, posix_memalign, aligned_alloc) go straight
// to glibc uncounted; nothing on the measured paths asks for them.
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void __libc_free(void* block);
}

namespace {

// Zero-initialised TLS in the executable: no constructor, no allocation, so
// it is safe to touch from inside malloc.
thread_local varnel_bench::AllocationTotals tTotals;

inline void Count(size_t bytes) {
  ++tTotals.blocks;
  tTotals.bytes += bytes;
}

}  // namespace

extern "C" {

void* malloc(size_t size) noexcept {
  Count(size);
  return __libc_malloc(size);
}

void* calloc(size_t count, size_t size) noexcept {
  Count(count * size);
  return __libc_calloc(count, size);
}

void* realloc(void* block, size_t size) noexcept {
  Count(size);
  return __libc_realloc(block, size);
}

void free(void* block) noexcept { __libc_free(block); }

}  // extern "C"

namespace varnel_bench {

AllocationTotals ThreadAllocations() { return tTotals; }

void AllocationMeter::Report(benchmark::State& state) const {
  const AllocationTotals now = ThreadAllocations();
  state.counters["allocs"] =
      benchmark::Counter(static_cast<double>(now.blocks - start_.blocks), benchmark::Counter::kAvgIterations);
  state.counters["alloc_bytes"] =
      benchmark::Counter(static_cast<double>(now.bytes - start_.bytes), benchmark::Counter::kAvgIterations);
}

}  // namespace varnel_bench
