// SPDX-License-Identifier: MIT
#include "platform/Thread.h"

#include <new>

namespace brelvo {

namespace {

void* trampoline(void* arg)
{
    auto* body = static_cast<std::function<void()>*>(arg);
    try {
        (*body)();
    } catch (...) {
        // Nothing may escape a thread; the body reports its own failures.
    }
    delete body;
    return nullptr;
}

} // namespace

Thread::~Thread()
{
    if (attached_)
        detach();
}

int Thread::start(std::function<void()> body)
{
    if (attached_ || !body)
        return -1;
    std::function<void()>* heap = nullptr;
    try {
        heap = new std::function<void()>(std::move(body));
    } catch (...) {
        return -1;
    }
    if (pthread_create(&handle_, nullptr, &trampoline, heap) != 0) {
        delete heap;
        return -1;
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
    pthread_join(handle_, nullptr);
    attached_ = false;
}

void Thread::detach()
{
    if (!attached_)
        return;
    pthread_detach(handle_);
    attached_ = false;
}

bool Thread::isCurrent() const
{
    return attached_ && pthread_equal(handle_, pthread_self());
}

} // namespace brelvo
