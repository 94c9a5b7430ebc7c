// Counts the heap blocks that this thread asks the C allocator for. The
// benchmark binary replaces malloc, calloc and realloc with counting wrappers
// around glibc's own, so every block is seen: the library's, comrt's,
// libxml2's and the C++ runtime's alike.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>

namespace varnel_bench {

struct AllocationTotals {
  uint64_t blocks = 0;  // malloc, calloc and realloc calls
  uint64_t bytes = 0;   // bytes asked for by them
};

// Running totals of the calling thread since it started.
AllocationTotals ThreadAllocations();

// Measures from construction to Report(), which adds the per-iteration
// counters "allocs" and "alloc_bytes" to `state`.
class AllocationMeter {
 public:
  AllocationMeter() : start_(ThreadAllocations()) {}
  void Report(benchmark::State& state) const;

 private:
  AllocationTotals start_;
};

}  // namespace varnel_bench
