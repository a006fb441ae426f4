// SPDX-License-Identifier: MIT
#include "ImageBuffer.h"

#include <sys/mman.h>

namespace devsim {

bool ImageBuffer::allocate(size_t size)
{
    bytes_.reset();
    size_ = 0;
    // calloc takes a large block straight from the kernel, already zero,
    // without writing to it; a page is only faulted in when a block lands.
    auto* p = static_cast<uint8_t*>(std::calloc(size ? size : 1, 1));
    if (!p)
        return false;
#ifdef MADV_HUGEPAGE
    constexpr uintptr_t kHuge = uintptr_t(2) << 20;
    const uintptr_t from = (reinterpret_cast<uintptr_t>(p) + kHuge - 1) & ~(kHuge - 1);
    const uintptr_t to = (reinterpret_cast<uintptr_t>(p) + size) & ~(kHuge - 1);
    if (to > from)
        madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE); // a hint; failure costs only speed
#endif
    bytes_.reset(p);
    size_ = size;
    return true;
}

} // namespace devsim
