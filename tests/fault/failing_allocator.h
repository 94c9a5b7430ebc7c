// An allocator interposed on the whole process (malloc and friends, and so
// operator new, libcomrt.so and libxml2 too) that can fail one chosen
// allocation and counts the blocks alive.
//
//   FailingAllocator::Arm(3);     // the 3rd allocation from here returns null
//   HRESULT hr = Operation();
//   bool reached = FailingAllocator::Disarm();
#pragma once

#include <cstdint>

namespace varnel_test {

class FailingAllocator {
 public:
  // From now on, the `n`th allocation (1-based) made on this thread fails;
  // the others succeed.
  static void Arm(int64_t n);
  // Stops failing; true when the chosen allocation was reached (and failed).
  static bool Disarm();
  // Counts one failure point that is not an allocation; true when it is
  // the chosen one.
  static bool FailHere();
  // Records where each block made on this thread from now on comes from;
  // ReportTraced prints those still alive and stops. For hunting a leak
  // the sweep reports (VARNEL_SWEEP_TRACE, see allocation_sweep.h).
  static void StartTracing();
  static void ReportTraced();
  // Blocks allocated and not yet freed, the whole process.
  static int64_t LiveBlocks();
};

// Allocations on this thread succeed while one of these lives, for test
// bookkeeping inside an armed window; they are still counted as blocks.
class AllocationFaultsPaused {
 public:
  AllocationFaultsPaused();
  ~AllocationFaultsPaused();
  AllocationFaultsPaused(const AllocationFaultsPaused&) = delete;
  AllocationFaultsPaused& operator=(const AllocationFaultsPaused&) = delete;
};

}  // namespace varnel_test
