#pragma once

#include <cstdint>

namespace brelvo {

void sleepMilliseconds(unsigned ms);
// Milliseconds since an arbitrary start; wraps at 2^32.
uint32_t tickCount();
uint32_t processId();

} // namespace brelvo
