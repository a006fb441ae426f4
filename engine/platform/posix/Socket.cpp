// SPDX-License-Identifier: MIT
#include "platform/Socket.h"
#include "platform/NativeAddress.h"
#include "platform/Clock.h"

#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace brelvo {

namespace {

SocketHandle openSocket(int type, int protocol)
{
    int s = ::socket(AF_INET, type | SOCK_CLOEXEC, protocol);
    return s < 0 ? kInvalidSocket : s;
}

} // namespace

int startSocketLayer(unsigned* offered)
{
    if (offered)
        *offered = kSocketLayerVersion;
    return 0;
}

void stopSocketLayer() {}

SocketHandle openUdpSocket() { return openSocket(SOCK_DGRAM, IPPROTO_UDP); }
SocketHandle openTcpSocket() { return openSocket(SOCK_STREAM, IPPROTO_TCP); }
SocketHandle openRawIcmpSocket() { return openSocket(SOCK_RAW, IPPROTO_ICMP); }
SocketHandle openIcmpDatagramSocket() { return openSocket(SOCK_DGRAM, IPPROTO_ICMP); }

SocketHandle openSharedUdpSocket(uint16_t port)
{
    const SocketHandle s = openUdpSocket();
    int on = 1;
    if (s != kInvalidSocket && ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0 &&
        bindSocket(s, 0, port) == 0)
        return s;
    closeSocket(s);
    return kInvalidSocket;
}

int bindSocket(SocketHandle s, uint32_t address, uint16_t port)
{
    sockaddr_in sa = nativeAddress(address, port);
    return ::bind(s, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0 ? 0 : -1;
}

int socketName(SocketHandle s, SocketAddress* bound)
{
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (::getsockname(s, reinterpret_cast<sockaddr*>(&sa), &len) != 0 || sa.sin_family != AF_INET)
        return -1;
    if (bound) {
        bound->address = sa.sin_addr.s_addr;
        bound->port = sa.sin_port;
    }
    return 0;
}

int enableBroadcast(SocketHandle s)
{
    int on = 1;
    return ::setsockopt(s, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) == 0 ? 0 : -1;
}

int waitReadable(SocketHandle s, long seconds, long microseconds)
{
    if (s < 0) {
        errno = EBADF;
        return -1;
    }
    // poll() rather than select(): no limit on the descriptor's number.
    const long long totalMs = static_cast<long long>(seconds) * 1000 + (microseconds + 999) / 1000;
    const int timeoutMs = totalMs > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(totalMs < 0 ? 0 : totalMs);
    pollfd pfd{};
    pfd.fd = s;
    pfd.events = POLLIN;
    for (;;) {
        const int r = ::poll(&pfd, 1, timeoutMs);
        if (r < 0 && errno == EINTR)
            continue; // a signal is not a failure of the wait
        if (r < 0)
            return -1;
        if (r == 0)
            return 0;
        if (pfd.revents & POLLNVAL) {
            errno = EBADF;
            return -1;
        }
        return 1;
    }
}

namespace {

int receiveWithFlags(SocketHandle s, void* buffer, size_t capacity, SocketAddress* source, int flags)
{
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    ssize_t n;
    do {
        n = ::recvfrom(s, buffer, capacity, flags, reinterpret_cast<sockaddr*>(&sa), &len);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return -1;
    if (source) {
        source->address = sa.sin_addr.s_addr;
        source->port = sa.sin_port;
    }
    return static_cast<int>(n);
}

} // namespace

int receiveFrom(SocketHandle s, void* buffer, size_t capacity, SocketAddress* source)
{
    return receiveWithFlags(s, buffer, capacity, source, 0);
}

int receiveNow(SocketHandle s, void* buffer, size_t capacity, SocketAddress* source)
{
    return receiveWithFlags(s, buffer, capacity, source, MSG_DONTWAIT);
}

namespace {
// The system's side of a batch: a message header, a buffer and a sender's
// address per datagram.
struct BatchHeaders {
    explicit BatchHeaders(size_t n) : messages(n), vectors(n), senders(n) {}
    std::vector<mmsghdr> messages;
    std::vector<iovec> vectors;
    std::vector<sockaddr_in> senders;
};
} // namespace

ReceiveBatch::ReceiveBatch(size_t count, size_t capacity)
    : count_(count ? count : 1), capacity_(capacity), buffers_(new uint8_t[count_ * capacity_]),
      headers_(new BatchHeaders(count_))
{
    auto& h = *static_cast<BatchHeaders*>(headers_);
    for (size_t i = 0; i < count_; ++i) {
        h.vectors[i].iov_base = buffers_ + i * capacity_;
        h.vectors[i].iov_len = capacity_;
    }
}

ReceiveBatch::~ReceiveBatch()
{
    delete[] buffers_;
    delete static_cast<BatchHeaders*>(headers_);
}

int ReceiveBatch::receive(SocketHandle s)
{
    auto& h = *static_cast<BatchHeaders*>(headers_);
    for (size_t i = 0; i < count_; ++i) {
        h.messages[i] = mmsghdr{};
        h.messages[i].msg_hdr.msg_name = &h.senders[i];
        h.messages[i].msg_hdr.msg_namelen = sizeof h.senders[i];
        h.messages[i].msg_hdr.msg_iov = &h.vectors[i];
        h.messages[i].msg_hdr.msg_iovlen = 1;
    }
    int got;
    do {
        got = ::recvmmsg(s, h.messages.data(), static_cast<unsigned>(count_), MSG_DONTWAIT, nullptr);
    } while (got < 0 && errno == EINTR);
    if (got < 0)
        return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
    return got;
}

size_t ReceiveBatch::length(size_t i) const
{
    const size_t n = static_cast<const BatchHeaders*>(headers_)->messages[i].msg_len;
    return n < capacity_ ? n : capacity_;
}

SocketAddress ReceiveBatch::source(size_t i) const
{
    const sockaddr_in& sa = static_cast<const BatchHeaders*>(headers_)->senders[i];
    return SocketAddress{sa.sin_addr.s_addr, sa.sin_port};
}

int sendTo(SocketHandle s, const void* data, size_t length, const SocketAddress& target)
{
    sockaddr_in sa = nativeAddress(target);
    ssize_t n = ::sendto(s, data, length, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    return n < 0 ? -1 : static_cast<int>(n);
}

void closeSocket(SocketHandle s)
{
    if (s >= 0)
        ::close(s);
}

int lastSocketError() { return errno; }

bool isTimeoutError(int code)
{
    return code == EAGAIN || code == EWOULDBLOCK || code == ETIMEDOUT;
}

} // namespace brelvo
