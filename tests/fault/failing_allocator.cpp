// Replaces the C allocator as glibc allows a program to, forwarding to
// glibc's own entry points. operator new and libxml2's xmlMalloc reach
// malloc, so one interposer covers the library, comrt and the parser.
#include "fault/failing_allocator.h"

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <execinfo.h>
#include <malloc.h>
#include <stdlib.h>

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* block);
}

namespace {

std::atomic<int64_t> liveBlocks{0};
// Only the arming thread's allocations are counted and failed: initial-exec
// TLS in the executable needs no allocation to reach.
thread_local int64_t failAt = 0;  // 0: not armed
thread_local int64_t seen = 0;
thread_local bool reached = false;
thread_local int paused = 0;

bool FailThisOne() {
  if (failAt == 0 || paused) return false;
  if (++seen != failAt) return false;
  reached = true;
  errno = ENOMEM;
  return true;
}

// Blocks made while tracing, with where they were made, to find a leak.
struct Traced {
  void* block;
  void* frames[24];
  int depth;
};
constexpr int kTraced = 4096;
Traced traced[kTraced];
thread_local bool tracing = false;

void Trace(void* block) {
  if (!tracing) return;
  tracing = false;  // backtrace may allocate
  for (Traced& slot : traced) {
    if (slot.block) continue;
    slot.block = block;
    slot.depth = backtrace(slot.frames, 24);
    break;
  }
  tracing = true;
}

void Untrace(void* block) {
  if (!tracing) return;
  for (Traced& slot : traced) {
    if (slot.block == block) slot.block = nullptr;
  }
}

void* Counted(void* block) {
  if (block) {
    liveBlocks.fetch_add(1, std::memory_order_relaxed);
    Trace(block);
  }
  return block;
}

}  // namespace

extern "C" {

void* malloc(size_t size) noexcept { return FailThisOne() ? nullptr : Counted(__libc_malloc(size)); }

void* calloc(size_t count, size_t size) noexcept { return FailThisOne() ? nullptr : Counted(__libc_calloc(count, size)); }

void* realloc(void* block, size_t size) noexcept {
  if (!block) return malloc(size);
  if (size == 0) {
    free(block);
    return nullptr;
  }
  // A failed realloc leaves the block as it was.
  if (FailThisOne()) return nullptr;
  void* moved = __libc_realloc(block, size);
  if (moved && tracing) {
    Untrace(block);
    Trace(moved);
  }
  return moved;
}

void free(void* block) noexcept {
  if (!block) return;
  liveBlocks.fetch_sub(1, std::memory_order_relaxed);
  Untrace(block);
  __libc_free(block);
}

void* memalign(size_t alignment, size_t size) noexcept {
  return FailThisOne() ? nullptr : Counted(__libc_memalign(alignment, size));
}

void* aligned_alloc(size_t alignment, size_t size) noexcept { return memalign(alignment, size); }

int posix_memalign(void** block, size_t alignment, size_t size) noexcept {
  if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return EINVAL;
  void* made = memalign(alignment, size);
  if (!made) return ENOMEM;
  *block = made;
  return 0;
}

void* valloc(size_t size) noexcept { return memalign(4096, size); }

}  // extern "C"

namespace varnel_test {

void FailingAllocator::Arm(int64_t n) {
  seen = 0;
  reached = false;
  failAt = n;
}

bool FailingAllocator::Disarm() {
  failAt = 0;
  return reached;
}

bool FailingAllocator::FailHere() { return FailThisOne(); }

int64_t FailingAllocator::LiveBlocks() { return liveBlocks.load(std::memory_order_relaxed); }

void FailingAllocator::StartTracing() {
  void* warm[1];
  backtrace(warm, 1);  // loads the unwinder before anything is traced
  for (Traced& slot : traced) slot.block = nullptr;
  tracing = true;
}

void FailingAllocator::ReportTraced() {
  tracing = false;
  for (const Traced& slot : traced) {
    if (!slot.block) continue;
    const char line[] = "---- block still alive, made at:\n";
    fwrite(line, 1, sizeof line - 1, stderr);
    fflush(stderr);
    backtrace_symbols_fd(slot.frames, slot.depth, 2);
  }
}

AllocationFaultsPaused::AllocationFaultsPaused() { ++paused; }
AllocationFaultsPaused::~AllocationFaultsPaused() { --paused; }

}  // namespace varnel_test
