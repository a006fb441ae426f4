// SPDX-License-Identifier: MIT
#include "platform/Poller.h"

#include "platform/Clock.h"
#include "platform/windows/WinSupport.h"

#include <algorithm>
#include <climits>

namespace brelvo {

namespace {

// Timed waits end on the system's timer tick (1 ms at best, often later):
// a wait is cut this much short and the rest is waited out on the counter.
constexpr int64_t kCoarseMarginNs = 2000000;
// In that last stretch the sockets are looked at this often.
constexpr int64_t kFineCheckNs = 250000;

} // namespace

Poller::Poller() = default;
Poller::~Poller() = default;

bool Poller::valid() const { return true; }

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
    int64_t lastCheck = INT64_MIN;
    for (;;) {
        const int64_t now = monotonicNs();
        const int64_t left = deadlineNs == INT64_MAX ? INT64_MAX : deadlineNs - now;
        int timeoutMs = 0;
        if (left == INT64_MAX)
            timeoutMs = -1;
        else if (left > kCoarseMarginNs)
            timeoutMs = static_cast<int>(std::min<int64_t>((left - kCoarseMarginNs) / 1000000, INT_MAX));
        const bool fine = timeoutMs == 0 && left > 0;
        if (fine && now - lastCheck < kFineCheckNs) {
            // The high-resolution counter, not a timer, ends the wait.
            if (left > kFineCheckNs)
                SwitchToThread();
            else
                YieldProcessor();
            continue;
        }
        lastCheck = now;
        int n = 0;
        if (!fds.empty()) {
            n = WSAPoll(fds.data(), static_cast<ULONG>(fds.size()), timeoutMs);
            if (n == SOCKET_ERROR)
                return -1;
        } else if (timeoutMs != 0) {
            Sleep(timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
        }
        if (n > 0) {
            for (size_t i = 0; i < fds.size(); ++i) {
                if (fds[i].revents != 0)
                    ready.push_back(watched_[i].token);
            }
            return static_cast<int>(ready.size());
        }
        if (left <= 0 || (left != INT64_MAX && monotonicNs() >= deadlineNs))
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
