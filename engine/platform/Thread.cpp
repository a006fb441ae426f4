// SPDX-License-Identifier: MIT
#include "platform/Thread.h"

#include <cstring>
#include <exception>
#include <new>
#include <unistd.h>

namespace brelvo {

namespace {

struct Launch {
    std::function<void()> body;
    const char* name;
    Thread::Death died;
};

// The last word of a thread whose owner could not be told: straight to
// standard error, without allocating.
void sayDeath(const char* name, const char* why)
{
    const char* parts[] = {"brelvo: the ", name, " thread failed: ", why, "\n"};
    for (const char* p : parts) {
        if (::write(STDERR_FILENO, p, std::strlen(p)) < 0)
            return;
    }
}

// The thread's whole life: what the body throws is told, never swallowed.
void runLaunch(Launch& launch)
{
    const char* why = nullptr;
    std::string text;
    try {
        launch.body();
    } catch (const std::bad_alloc&) {
        why = "out of memory";
    } catch (const std::exception& e) {
        why = "exception";
        try {
            text = e.what();
        } catch (...) {
        }
    } catch (...) {
        why = "unknown exception";
    }
    if (why) {
        const char* reason = text.empty() ? why : text.c_str();
        bool told = false;
        if (launch.died) {
            try {
                launch.died(reason);
                told = true;
            } catch (...) {
            }
        }
        if (!told)
            sayDeath(launch.name, reason);
    }
}

} // namespace

Thread::~Thread()
{
    if (attached_)
        detach();
}

int Thread::start(std::function<void()> body, const char* name, Death died)
{
    if (attached_ || !body)
        return -1;
    try {
        thread_ = std::thread([launch = Launch{std::move(body), name ? name : "thread", std::move(died)}]() mutable {
            runLaunch(launch);
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
