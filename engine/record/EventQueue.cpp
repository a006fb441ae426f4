// SPDX-License-Identifier: MIT
#include "record/EventQueue.h"

namespace brelvo {

EventQueue::EventQueue(size_t capacity) : capacity_(capacity ? capacity : 1) {}

void EventQueue::push(Event event)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (events_.size() >= capacity_) {
        events_.pop_front();
        ++dropped_;
    }
    events_.push_back(std::move(event));
}

size_t EventQueue::drain(std::vector<Event>& out)
{
    std::deque<Event> taken;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        taken.swap(events_);
    }
    for (Event& e : taken)
        out.push_back(std::move(e));
    return taken.size();
}

uint64_t EventQueue::dropped() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return dropped_;
}

} // namespace brelvo
