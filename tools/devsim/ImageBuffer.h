// SPDX-License-Identifier: MIT
#pragma once
// Where a simulated device keeps the bytes it receives. A hundred devices
// taking megabytes each at full pace should not pay for zeroing memory that
// blocks overwrite anyway, nor for a page fault every 4 KiB: the storage
// comes zeroed from the kernel untouched, in huge pages where it allows.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace devsim {

class ImageBuffer {
public:
    // Zero-filled storage for `size` bytes; false when there is no memory.
    bool allocate(size_t size);
    uint8_t* data() { return bytes_.get(); }
    const uint8_t* data() const { return bytes_.get(); }
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    const uint8_t* begin() const { return bytes_.get(); }
    const uint8_t* end() const { return bytes_.get() + size_; }

private:
    struct Free {
        void operator()(uint8_t* p) const { std::free(p); }
    };
    std::unique_ptr<uint8_t[], Free> bytes_;
    size_t size_ = 0;
};

} // namespace devsim
