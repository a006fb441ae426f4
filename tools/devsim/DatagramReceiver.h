// SPDX-License-Identifier: MIT
#pragma once
// A batch of datagrams read from a device's socket in as few system calls as
// the OS allows, each with its arrival time. About 70 KiB: keep it on the
// heap.

#include "platform/Socket.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace devsim {

class DatagramReceiver {
public:
    static constexpr unsigned kBatch = 32;
    // Larger than any message of the protocol; a longer datagram is judged
    // from its head.
    static constexpr size_t kSlot = 2048;

    DatagramReceiver();
    ~DatagramReceiver();

    // Reads what is queued, up to a batch; 0 when nothing is.
    unsigned read(brelvo::SocketHandle s);

    // Datagram i of the last batch. Inline: the loop asks for each field of
    // every datagram.
    const uint8_t* data(unsigned i) const { return data_[i]; }
    size_t size(unsigned i) const { return size_[i]; }
    bool truncated(unsigned i) const { return truncated_[i]; }
    uint32_t fromAddr(unsigned i) const { return fromAddr_[i]; } // host order
    uint16_t fromPort(unsigned i) const { return fromPort_[i]; }
    // Nanoseconds of the kernel's receive stamp (CLOCK_REALTIME) or, where
    // there is none, of a clock read on arrival: only differences count.
    int64_t wireNs(unsigned i) const { return wireNs_[i]; }

private:
    struct Native; // the system's message headers

    alignas(64) uint8_t data_[kBatch][kSlot];
    size_t size_[kBatch];
    bool truncated_[kBatch];
    uint32_t fromAddr_[kBatch];
    uint16_t fromPort_[kBatch];
    int64_t wireNs_[kBatch];
    std::unique_ptr<Native> native_;
};

} // namespace devsim
