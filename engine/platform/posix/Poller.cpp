// SPDX-License-Identifier: MIT
#include "platform/Poller.h"

#include "platform/Clock.h"

#include <cerrno>
#include <climits>
#include <ctime>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace brelvo {

namespace {
constexpr int kMaxEvents = 128;
}

Poller::Poller() : fd_(epoll_create1(EPOLL_CLOEXEC)) {}

Poller::~Poller()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool Poller::valid() const { return fd_ >= 0; }

int Poller::add(SocketHandle fd, uint64_t token)
{
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = token;
    return epoll_ctl(fd_, EPOLL_CTL_ADD, fd, &ev) == 0 ? 0 : -1;
}

int Poller::remove(SocketHandle fd) { return epoll_ctl(fd_, EPOLL_CTL_DEL, fd, nullptr) == 0 ? 0 : -1; }

int Poller::wait(int64_t deadlineNs, std::vector<uint64_t>& ready)
{
    ready.clear();
    epoll_event events[kMaxEvents];
    for (;;) {
        int n;
        if (deadlineNs == INT64_MAX) {
            n = epoll_wait(fd_, events, kMaxEvents, -1);
        } else {
            int64_t left = deadlineNs - monotonicNs();
            if (left < 0)
                left = 0;
            if (precise_) {
                timespec ts{static_cast<time_t>(left / 1000000000), static_cast<long>(left % 1000000000)};
                n = epoll_pwait2(fd_, events, kMaxEvents, &ts, nullptr);
                if (n < 0 && errno == ENOSYS) {
                    precise_ = false;
                    continue;
                }
            } else {
                // An older kernel: whole milliseconds, rounded up so the
                // deadline is never anticipated.
                const int64_t ms = (left + 999999) / 1000000;
                n = epoll_wait(fd_, events, kMaxEvents, ms > INT_MAX ? INT_MAX : static_cast<int>(ms));
            }
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        for (int i = 0; i < n; ++i)
            ready.push_back(events[i].data.u64);
        return n;
    }
}

WakeSignal::WakeSignal() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

WakeSignal::~WakeSignal()
{
    if (fd_ >= 0)
        ::close(fd_);
}

void WakeSignal::raise()
{
    const uint64_t one = 1;
    // A full counter (never in practice) already means "wake up".
    [[maybe_unused]] const ssize_t n = ::write(fd_, &one, sizeof one);
}

void WakeSignal::clear()
{
    uint64_t value = 0;
    [[maybe_unused]] const ssize_t n = ::read(fd_, &value, sizeof value);
}

} // namespace brelvo
