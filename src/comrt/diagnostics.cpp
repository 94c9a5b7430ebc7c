#include "comrt/diagnostics.h"

#include "diagnostics_counters.h"

namespace comrt {
namespace diagnostics {

std::atomic<int64_t> g_liveStrings{0};
std::atomic<int64_t> g_liveArrays{0};
std::atomic<int64_t> g_liveObjects{0};
std::atomic<int64_t> g_liveTaskMemory{0};
std::atomic<int64_t> g_liveRegistryKeys{0};
std::atomic<int64_t> g_liveKernelHandles{0};

LiveCounts GetLiveCounts() {
  return LiveCounts{g_liveStrings.load(std::memory_order_relaxed), g_liveArrays.load(std::memory_order_relaxed),
                    g_liveObjects.load(std::memory_order_relaxed),
                    g_liveTaskMemory.load(std::memory_order_relaxed),
                    g_liveRegistryKeys.load(std::memory_order_relaxed),
                    g_liveKernelHandles.load(std::memory_order_relaxed)};
}

void ObjectConstructed() { CountUp(g_liveObjects); }
void ObjectDestroyed() { CountDown(g_liveObjects); }

}  // namespace diagnostics
}  // namespace comrt
