// SPDX-License-Identifier: MIT
#include "platform/Poller.h"

#include "platform/Clock.h"
#include "platform/windows/WinSupport.h"

#include <algorithm>
#include <climits>

namespace brelvo {

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace {

// A socket wait ends on the system's timer tick (1 ms at best, often
// later): it is used only while the deadline is further than this.
constexpr int64_t kCoarseMarginNs = 2000000;
// Closer, a high-resolution timer sleeps until this short a stretch is
// left (it wakes some 0.2 ms late), and the counter is watched for the rest.
constexpr int64_t kSpinNs = 350000;

bool readyNow(std::vector<WSAPOLLFD>& fds)
{
    return !fds.empty() && WSAPoll(fds.data(), static_cast<ULONG>(fds.size()), 0) > 0;
}

} // namespace

Poller::Poller()
{
    timer_ = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
    if (!timer_) // before Windows 10 1803: an ordinary timer, on the 1 ms tick
        timer_ = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
}

Poller::~Poller()
{
    if (timer_)
        CloseHandle(timer_);
}

bool Poller::valid() const { return timer_ != nullptr; }

int Poller::add(SocketHandle s, uint64_t token)
{
    if (s == kInvalidSocket)
        return -1;
    for (const Watched& w : watched_) {
        if (w.socket == s)
            return -1;
    }
    watched_.push_back(Watched{s, token});
    return 0;
}

int Poller::remove(SocketHandle s)
{
    const auto it = std::find_if(watched_.begin(), watched_.end(), [s](const Watched& w) { return w.socket == s; });
    if (it == watched_.end())
        return -1;
    watched_.erase(it);
    return 0;
}

int Poller::wait(int64_t deadlineNs, std::vector<uint64_t>& ready)
{
    ready.clear();
    std::vector<WSAPOLLFD> fds(watched_.size());
    for (size_t i = 0; i < fds.size(); ++i) {
        fds[i].fd = static_cast<SOCKET>(watched_[i].socket);
        fds[i].events = POLLRDNORM;
    }
    auto collect = [&] {
        for (size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].revents != 0)
                ready.push_back(watched_[i].token);
        }
        return static_cast<int>(ready.size());
    };
    for (;;) {
        const int64_t left = deadlineNs == INT64_MAX ? INT64_MAX : deadlineNs - monotonicNs();
        if (left > kCoarseMarginNs) {
            const int64_t ms = left == INT64_MAX ? -1 : (left - kCoarseMarginNs) / 1000000;
            const int timeout = ms < 0 ? -1 : static_cast<int>(std::min<int64_t>(ms, INT_MAX));
            int n = 0;
            if (!fds.empty())
                n = WSAPoll(fds.data(), static_cast<ULONG>(fds.size()), timeout);
            else
                Sleep(timeout < 0 ? INFINITE : static_cast<DWORD>(timeout));
            if (n == SOCKET_ERROR)
                return -1;
            if (n > 0)
                return collect();
            continue;
        }
        // The last stretch: the sockets are looked at once, then the wait
        // goes on without them (a datagram waits at most this long for its
        // turn): every socket call after the deadline would delay the send
        // it is for.
        if (readyNow(fds))
            return collect();
        if (left > kSpinNs && timer_) {
            LARGE_INTEGER due;
            due.QuadPart = -(left - kSpinNs) / 100; // relative, in 100 ns
            if (SetWaitableTimer(timer_, &due, 0, nullptr, nullptr, FALSE))
                WaitForSingleObject(timer_, INFINITE);
        }
        while (monotonicNs() < deadlineNs)
            YieldProcessor();
        return 0;
    }
}

WakeSignal::WakeSignal()
{
    // A loopback socket that sends itself a byte: the one thing a socket
    // wait on Windows can be woken by.
    const SocketHandle s = openUdpSocket();
    SocketAddress self;
    if (s == kInvalidSocket || bindSocket(s, htonl(INADDR_LOOPBACK), 0) != 0 || socketName(s, &self) != 0) {
        closeSocket(s);
        return;
    }
    u_long nonBlocking = 1;
    ioctlsocket(static_cast<SOCKET>(s), FIONBIO, &nonBlocking);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = self.port;
    to.sin_addr.s_addr = self.address;
    if (::connect(static_cast<SOCKET>(s), reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
        closeSocket(s);
        return;
    }
    fd_ = s;
}

WakeSignal::~WakeSignal() { closeSocket(fd_); }

void WakeSignal::raise()
{
    const char one = 1;
    // A full queue already means "wake up".
    ::send(static_cast<SOCKET>(fd_), &one, 1, 0);
}

void WakeSignal::clear()
{
    char bytes[64];
    while (::recv(static_cast<SOCKET>(fd_), bytes, sizeof bytes, 0) > 0) {
    }
}

} // namespace brelvo
