// SPDX-License-Identifier: MIT
#include "Fleet.h"

#include "SocketAddress.h"

#include <arpa/inet.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace devsim {

namespace {

int openDeviceSocket(const DevsimOptions& o, int index, uint16_t& port, bool& stamped, std::string& error)
{
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::string("cannot create a UDP socket: ") + std::strerror(errno);
        return -1;
    }
    int one = 1;
    if (o.broadcast)
        setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
    stamped = setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &one, sizeof one) == 0;
    int rcv = 4 << 20;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &rcv, sizeof rcv);
    sockaddr_in a = socketAddress(INADDR_ANY, uint16_t(o.basePort ? o.basePort + index : 0));
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        error = "cannot listen on UDP port " + std::to_string(o.basePort ? o.basePort + index : 0) + ": " +
                std::strerror(errno);
        close(fd);
        return -1;
    }
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    return fd;
}

// Device i: its socket (watched by the epoll set), its source address, its
// session and when it starts. False after saying what failed.
bool setUpDevice(const DevsimOptions& o, int i, Clock::time_point t0, Fleet& fleet, bool& stamped)
{
    Device& d = fleet.devices[size_t(i)];
    std::string error;
    d.fd = openDeviceSocket(o, i, d.port, stamped, error);
    if (d.fd < 0) {
        std::fprintf(stderr, "brelvo-devsim: device %d: %s\n", i, error.c_str());
        return false;
    }
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u32 = uint32_t(i);
    if (epoll_ctl(fleet.epoll, EPOLL_CTL_ADD, d.fd, &ev) != 0) {
        std::fprintf(stderr, "brelvo-devsim: device %d: epoll_ctl: %s\n", i, std::strerror(errno));
        return false;
    }
    d.watched = true;
    if (!o.bindAddrs.empty())
        d.source = o.bindAddrs[size_t(i) % o.bindAddrs.size()];
    d.session = std::make_unique<DeviceSession>(i, o.session);
    d.startAt = t0 + std::chrono::milliseconds(o.startDelayMs + i * o.staggerMs);
    return true;
}

} // namespace

bool setUpFleet(const DevsimOptions& o, Fleet& fleet)
{
    fleet.epoll = epoll_create1(EPOLL_CLOEXEC);
    if (fleet.epoll < 0) {
        std::fprintf(stderr, "brelvo-devsim: epoll_create1: %s\n", std::strerror(errno));
        return false;
    }
    fleet.devices.resize(size_t(o.count));
    const auto t0 = Clock::now();
    bool stampsMissing = false;
    for (int i = 0; i < o.count; ++i) {
        bool stamped = false;
        if (!setUpDevice(o, i, t0, fleet, stamped))
            return false;
        stampsMissing |= !stamped;
    }
    if (stampsMissing && o.verbose)
        std::fprintf(stderr, "brelvo-devsim: no kernel receive times here; gaps are timed on reading\n");
    return true;
}

void closeFleet(Fleet& fleet)
{
    for (auto& d : fleet.devices)
        close(d.fd);
    close(fleet.epoll);
}

bool addressIsLocal(uint32_t addr)
{
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in a = socketAddress(addr, 0);
    bool ok = bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(fd);
    return ok;
}

} // namespace devsim
