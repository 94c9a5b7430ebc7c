// Internal counting hooks behind comrt/diagnostics.h.
#pragma once

#include <atomic>
#include <cstdint>

namespace comrt {
namespace diagnostics {

extern std::atomic<int64_t> g_liveStrings;
extern std::atomic<int64_t> g_liveArrays;
extern std::atomic<int64_t> g_liveObjects;
extern std::atomic<int64_t> g_liveTaskMemory;
extern std::atomic<int64_t> g_liveRegistryKeys;
extern std::atomic<int64_t> g_liveKernelHandles;

inline void CountUp(std::atomic<int64_t>& counter) { counter.fetch_add(1, std::memory_order_relaxed); }
inline void CountDown(std::atomic<int64_t>& counter) { counter.fetch_sub(1, std::memory_order_relaxed); }

}  // namespace diagnostics
}  // namespace comrt
