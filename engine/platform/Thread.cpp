// SPDX-License-Identifier: MIT
#include "platform/Thread.h"

#include <new>

namespace brelvo {

Thread::~Thread()
{
    if (attached_)
        detach();
}

int Thread::start(std::function<void()> body)
{
    if (attached_ || !body)
        return -1;
    try {
        thread_ = std::thread([body = std::move(body)] {
            try {
                body();
            } catch (...) {
                // Nothing may escape a thread; the body reports its own failures.
            }
        });
    } catch (...) {
        return -1; // no memory, or the system refused another thread
    }
    attached_ = true;
    return 0;
}

void Thread::join()
{
    if (!attached_)
        return;
    if (isCurrent()) {
        detach();
        return;
    }
    thread_.join();
    attached_ = false;
}

void Thread::detach()
{
    if (!attached_)
        return;
    thread_.detach();
    attached_ = false;
}

bool Thread::isCurrent() const { return attached_ && thread_.get_id() == std::this_thread::get_id(); }

} // namespace brelvo
