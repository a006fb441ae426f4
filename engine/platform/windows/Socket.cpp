// SPDX-License-Identifier: MIT
#include "platform/Socket.h"
#include "platform/NativeAddress.h"

#include "platform/windows/WinSupport.h"

#include <ws2tcpip.h>

#include <vector>

#ifndef SIO_UDP_CONNRESET
#define SIO_UDP_CONNRESET _WSAIOW(IOC_VENDOR, 12)
#endif

namespace brelvo {

namespace {

// The process's own hold on Windows Sockets, taken at the first socket
// call and never given back: the listener's start and stop around each run
// must not close the sockets of jobs that outlive it.
void holdSocketLayer()
{
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    (void)started;
}

SocketHandle openSocket(int type, int protocol)
{
    holdSocketLayer();
    const SOCKET s = WSASocketW(AF_INET, type, protocol, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET)
        return kInvalidSocket;
    if (type == SOCK_DGRAM) {
        // A datagram to a port nobody listens on would otherwise fail this
        // socket's next receive with "connection reset": one silent device
        // must not end a job.
        BOOL off = FALSE;
        DWORD returned = 0;
        WSAIoctl(s, SIO_UDP_CONNRESET, &off, sizeof off, nullptr, 0, &returned, nullptr, nullptr);
    }
    return static_cast<SocketHandle>(s);
}

SOCKET native(SocketHandle s) { return static_cast<SOCKET>(s); }

// Whether a datagram is queued now, without waiting.
bool readableNow(SocketHandle s)
{
    WSAPOLLFD p{};
    p.fd = native(s);
    p.events = POLLRDNORM;
    return WSAPoll(&p, 1, 0) > 0 && (p.revents & (POLLRDNORM | POLLERR | POLLHUP | POLLNVAL)) != 0;
}

int receiveOne(SocketHandle s, void* buffer, size_t capacity, SocketAddress* source)
{
    sockaddr_in sa{};
    int len = sizeof sa;
    const int cap = capacity > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(capacity);
    int n = ::recvfrom(native(s), static_cast<char*>(buffer), cap, 0, reinterpret_cast<sockaddr*>(&sa), &len);
    // A datagram longer than the buffer arrives cut, as elsewhere; Windows
    // reports the cut as an error.
    if (n == SOCKET_ERROR && WSAGetLastError() == WSAEMSGSIZE)
        n = cap;
    if (n == SOCKET_ERROR)
        return -1;
    if (source) {
        source->address = sa.sin_addr.s_addr;
        source->port = sa.sin_port;
    }
    return n;
}

} // namespace

int startSocketLayer(unsigned* offered)
{
    WSADATA data{};
    const int code = WSAStartup(MAKEWORD(1, 1), &data);
    if (offered)
        *offered = code == 0 ? data.wVersion : 0;
    return code;
}

void stopSocketLayer() { WSACleanup(); }

SocketHandle openUdpSocket() { return openSocket(SOCK_DGRAM, IPPROTO_UDP); }
SocketHandle openTcpSocket() { return openSocket(SOCK_STREAM, IPPROTO_TCP); }
SocketHandle openRawIcmpSocket() { return openSocket(SOCK_RAW, IPPROTO_ICMP); }

SocketHandle openIcmpDatagramSocket()
{
    // Windows has no unprivileged ICMP socket; its echo service stands in.
    holdSocketLayer();
    WSASetLastError(WSAEPROTONOSUPPORT);
    return kInvalidSocket;
}

// Windows lets such a socket share the port with others that ask the same,
// which is all the broadcasts to a device's port need.
SocketHandle openSharedUdpSocket(uint16_t port)
{
    const SocketHandle s = openUdpSocket();
    BOOL on = TRUE;
    if (s != kInvalidSocket &&
        ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on) == 0 &&
        bindSocket(s, 0, port) == 0)
        return s;
    closeSocket(s);
    return kInvalidSocket;
}

int bindSocket(SocketHandle s, uint32_t address, uint16_t port)
{
    sockaddr_in sa = nativeAddress(address, port);
    return ::bind(native(s), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0 ? 0 : -1;
}

int socketName(SocketHandle s, SocketAddress* bound)
{
    sockaddr_in sa{};
    int len = sizeof sa;
    if (::getsockname(native(s), reinterpret_cast<sockaddr*>(&sa), &len) != 0 || sa.sin_family != AF_INET)
        return -1;
    if (bound) {
        bound->address = sa.sin_addr.s_addr;
        bound->port = sa.sin_port;
    }
    return 0;
}

int enableBroadcast(SocketHandle s)
{
    const BOOL on = TRUE;
    return ::setsockopt(native(s), SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on) == 0
               ? 0
               : -1;
}

int waitReadable(SocketHandle s, long seconds, long microseconds)
{
    if (s == kInvalidSocket) {
        WSASetLastError(WSAENOTSOCK);
        return -1;
    }
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(native(s), &readable);
    timeval tv{seconds < 0 ? 0 : seconds, microseconds < 0 ? 0 : microseconds};
    const int r = ::select(0, &readable, nullptr, nullptr, &tv);
    return r == SOCKET_ERROR ? -1 : r == 0 ? 0 : 1;
}

int receiveFrom(SocketHandle s, void* buffer, size_t capacity, SocketAddress* source)
{
    return receiveOne(s, buffer, capacity, source);
}

int receiveNow(SocketHandle s, void* buffer, size_t capacity, SocketAddress* source)
{
    if (!readableNow(s)) {
        WSASetLastError(WSAEWOULDBLOCK);
        return -1;
    }
    return receiveOne(s, buffer, capacity, source);
}

namespace {
// Windows has no call that takes several datagrams: the batch is a loop of
// receives that stops when nothing more is queued.
struct BatchSlots {
    explicit BatchSlots(size_t n) : lengths(n), senders(n) {}
    std::vector<size_t> lengths;
    std::vector<SocketAddress> senders;
};
} // namespace

ReceiveBatch::ReceiveBatch(size_t count, size_t capacity)
    : count_(count ? count : 1), capacity_(capacity), buffers_(new uint8_t[count_ * capacity_]),
      headers_(new BatchSlots(count_))
{
}

ReceiveBatch::~ReceiveBatch()
{
    delete[] buffers_;
    delete static_cast<BatchSlots*>(headers_);
}

int ReceiveBatch::receive(SocketHandle s)
{
    auto& slots = *static_cast<BatchSlots*>(headers_);
    int got = 0;
    while (static_cast<size_t>(got) < count_ && readableNow(s)) {
        const int n = receiveOne(s, buffers_ + static_cast<size_t>(got) * capacity_, capacity_,
                                 &slots.senders[static_cast<size_t>(got)]);
        if (n < 0)
            return got > 0 ? got : -1;
        slots.lengths[static_cast<size_t>(got)] = static_cast<size_t>(n);
        ++got;
    }
    return got;
}

size_t ReceiveBatch::length(size_t i) const
{
    const size_t n = static_cast<const BatchSlots*>(headers_)->lengths[i];
    return n < capacity_ ? n : capacity_;
}

SocketAddress ReceiveBatch::source(size_t i) const { return static_cast<const BatchSlots*>(headers_)->senders[i]; }

int sendTo(SocketHandle s, const void* data, size_t length, const SocketAddress& target)
{
    sockaddr_in sa = nativeAddress(target);
    const int n = ::sendto(native(s), static_cast<const char*>(data), static_cast<int>(length), 0,
                           reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    return n == SOCKET_ERROR ? -1 : n;
}

void closeSocket(SocketHandle s)
{
    if (s != kInvalidSocket)
        ::closesocket(native(s));
}

int lastSocketError() { return WSAGetLastError(); }

bool isTimeoutError(int code) { return code == WSAEWOULDBLOCK || code == WSAETIMEDOUT; }

} // namespace brelvo
