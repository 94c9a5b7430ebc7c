// Live counters of what comrt has handed out and not yet had back, so that
// tests can fail on any leak: strings, arrays, component objects and task
// memory, open registry keys and kernel handles. Counting is always on; each change is one
// relaxed atomic add.
#pragma once

#include "comrt/types.h"

namespace comrt {
namespace diagnostics {

struct LiveCounts {
  int64_t strings;      // BSTRs allocated and not freed
  int64_t arrays;       // SAFEARRAY descriptors not destroyed
  int64_t objects;      // component objects alive (comrt's and every object built on comrt's templates)
  int64_t taskMemory;   // CoTaskMemAlloc blocks not freed
  int64_t registryKeys; // registry key handles not closed
  int64_t kernelHandles; // mutex handles not closed

  bool operator==(const LiveCounts& other) const {
    return strings == other.strings && arrays == other.arrays && objects == other.objects &&
           taskMemory == other.taskMemory && registryKeys == other.registryKeys &&
           kernelHandles == other.kernelHandles;
  }
  bool operator!=(const LiveCounts& other) const { return !(*this == other); }
};

COMRT_API LiveCounts GetLiveCounts();

// Called by the object templates of comrt/object.h on construction and
// destruction; not for direct use.
COMRT_API void ObjectConstructed();
COMRT_API void ObjectDestroyed();

}  // namespace diagnostics
}  // namespace comrt
