// SPDX-License-Identifier: MIT
#include "ImageBuffer.h"

#include "DeviceSystem.h"

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
    adviseLargePages(p, size);
    bytes_.reset(p);
    size_ = size;
    return true;
}

} // namespace devsim
