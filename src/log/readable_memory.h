// Whether memory can be read, asked without ever touching it.
#pragma once

#include <cstddef>

namespace opLogSys {

// True when all `size` bytes at `data` can be read by this process. Null
// with a non-zero size is not readable; zero bytes always are.
bool IsReadable(const void* data, size_t size);

}  // namespace opLogSys
