// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace brelvo {

// Thin layer over the system's socket calls the engine needs (Berkeley
// sockets, or Windows Sockets). Addresses and ports are kept in network
// byte order exactly as the sockets report them.
#ifdef _WIN32
using SocketHandle = uintptr_t; // a SOCKET
constexpr SocketHandle kInvalidSocket = ~static_cast<uintptr_t>(0);
#else
using SocketHandle = int;
constexpr SocketHandle kInvalidSocket = -1;
#endif

struct SocketAddress {
    uint32_t address = 0; // network byte order
    uint16_t port = 0;    // network byte order
};

inline bool operator==(const SocketAddress& a, const SocketAddress& b)
{
    return a.address == b.address && a.port == b.port;
}
inline bool operator!=(const SocketAddress& a, const SocketAddress& b) { return !(a == b); }

// The socket layer is started around each run of the request listener,
// asking for version 1.1 (257: major in the low byte). Windows Sockets
// answer with an error code or the version they offer; elsewhere there is
// nothing to start: 0 and 257. Sockets keep working between runs: jobs
// outlive the run that made them.
constexpr unsigned kSocketLayerVersion = 257;
int startSocketLayer(unsigned* offered);
void stopSocketLayer();

// Each returns a handle or kInvalidSocket.
SocketHandle openUdpSocket();
SocketHandle openTcpSocket();
SocketHandle openRawIcmpSocket();
// The unprivileged ICMP datagram socket; allowed only where the system
// grants it (ping group range). The kernel owns the echo identifier.
SocketHandle openIcmpDatagramSocket();

// A UDP socket bound on `port` (network order) of every address beside
// other sockets there (address reuse), to hear the broadcasts sent to it;
// invalid when the port is held without reuse.
SocketHandle openSharedUdpSocket(uint16_t port);

// 0 on success, -1 on failure (the code kept for lastSocketError()).
int bindSocket(SocketHandle s, uint32_t address, uint16_t port);
// The bound address and port; 0 or -1.
int socketName(SocketHandle s, SocketAddress* bound);
int enableBroadcast(SocketHandle s);

// Waits until `s` is readable: -1 on failure, 0 on time-out, 1 when readable.
// A zero time-out only polls.
int waitReadable(SocketHandle s, long seconds, long microseconds);
// The same wait for `milliseconds` in total, taken in slices of at most
// `sliceMs` so that a set `abort` flag ends it early (reported as a time-out).
int waitReadableAbortable(SocketHandle s, long milliseconds, const std::atomic<bool>* abort,
                          long sliceMs = 200);

// One datagram, cut to `capacity`; its size, or -1. `source` may be null.
int receiveFrom(SocketHandle s, void* buffer, size_t capacity, SocketAddress* source);
// The same without waiting: -1 with a lastSocketError() that
// isTimeoutError() accepts when nothing is queued.
int receiveNow(SocketHandle s, void* buffer, size_t capacity, SocketAddress* source);
// Several datagrams taken with one call, for a thread that serves many
// sockets: whatever is queued on a socket, up to the batch's size.
class ReceiveBatch {
public:
    ReceiveBatch(size_t count, size_t capacity);
    ~ReceiveBatch();
    ReceiveBatch(const ReceiveBatch&) = delete;
    ReceiveBatch& operator=(const ReceiveBatch&) = delete;

    // Takes what is queued on `s` without waiting: how many datagrams (0
    // when none), or -1 on a failure other than "nothing queued".
    int receive(SocketHandle s);
    size_t size() const { return count_; }
    const uint8_t* data(size_t i) const { return buffers_ + i * capacity_; }
    size_t length(size_t i) const;
    SocketAddress source(size_t i) const;

private:
    size_t count_;
    size_t capacity_;
    uint8_t* buffers_;
    void* headers_; // the system's message headers and addresses
};

// Sends one datagram; the byte count or -1.
int sendTo(SocketHandle s, const void* data, size_t length, const SocketAddress& target);

void closeSocket(SocketHandle s);

// The code of the last failed socket call in this thread: errno, or the
// Windows Sockets code (10048 port taken, 10060 timed out).
int lastSocketError();
// True for the codes that mean "timed out" on this platform.
bool isTimeoutError(int code);

} // namespace brelvo
