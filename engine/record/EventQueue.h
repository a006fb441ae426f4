// SPDX-License-Identifier: MIT
#pragma once

#include "record/Event.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

namespace brelvo {

// The engine's events on their way to a front-end. Producers (the listener,
// the transfer thread) never wait for the consumer: a full queue drops its
// oldest event and counts it. The lock is held only to move one event in or
// to swap the queue out.
class EventQueue {
public:
    explicit EventQueue(size_t capacity = 4096);

    void push(Event event);
    // Appends every queued event to `out`, oldest first; how many.
    size_t drain(std::vector<Event>& out);
    // Events dropped since construction because the queue was full.
    uint64_t dropped() const;

private:
    mutable std::mutex mutex_;
    std::deque<Event> events_;
    size_t capacity_;
    uint64_t dropped_ = 0;
};

} // namespace brelvo
