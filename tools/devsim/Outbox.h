// SPDX-License-Identifier: MIT
#pragma once
// Datagrams a session wants sent, kept in storage that its caller reuses:
// a hundred devices at a block per millisecond each must not cost a heap
// allocation per acknowledgement.

#include "DeviceCodec.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace devsim {

// One datagram, to the request target (the update request) or to the job's
// address and port learnt from the Offer (everything else).
struct Outgoing {
    uint8_t bytes[kMaxDeviceMessage];
    uint8_t size = 0;
    bool toRequestTarget = false;
};

class Outbox {
public:
    // A slot for the next datagram; its storage is reused after clear().
    Outgoing& add(bool toRequestTarget = false)
    {
        if (count_ == items_.size())
            items_.emplace_back();
        Outgoing& o = items_[count_++];
        o.size = 0;
        o.toRequestTarget = toRequestTarget;
        return o;
    }
    void clear() { count_ = 0; }
    size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    const Outgoing& operator[](size_t i) const { return items_[i]; }
    const Outgoing* begin() const { return items_.data(); }
    const Outgoing* end() const { return items_.data() + count_; }

private:
    std::vector<Outgoing> items_;
    size_t count_ = 0;
};

} // namespace devsim
