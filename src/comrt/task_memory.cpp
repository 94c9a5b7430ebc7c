#include <cstdlib>

#include "comrt/runtime.h"
#include "diagnostics_counters.h"

using comrt::diagnostics::CountDown;
using comrt::diagnostics::CountUp;
using comrt::diagnostics::g_liveTaskMemory;

void* CoTaskMemAlloc(size_t size) {
  // malloc(0) may legally answer null, which callers would read as failure.
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block) CountUp(g_liveTaskMemory);
  return block;
}

void* CoTaskMemRealloc(void* block, size_t size) {
  if (!block) return CoTaskMemAlloc(size);
  if (size == 0) {
    CoTaskMemFree(block);
    return nullptr;
  }
  // One block goes in and one comes out (or the old one stays on failure), so
  // the live count does not move.
  return std::realloc(block, size);
}

void CoTaskMemFree(void* block) {
  if (!block) return;
  std::free(block);
  CountDown(g_liveTaskMemory);
}
