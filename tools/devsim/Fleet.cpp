// SPDX-License-Identifier: MIT
#include "Fleet.h"

#include "DeviceSystem.h"
#include "SocketAddress.h"

#include "platform/AddressText.h"
#include "platform/ErrorText.h"

#include <cstdio>
#include <string>

namespace devsim {

namespace {

std::string socketError() { return brelvo::errorTextEnglish(brelvo::lastSocketError()); }

brelvo::SocketHandle openDeviceSocket(const DevsimOptions& o, int index, uint32_t source, uint16_t& port,
                                      bool& stamped, std::string& error)
{
    brelvo::SocketHandle s = brelvo::openUdpSocket();
    if (s == brelvo::kInvalidSocket) {
        error = "cannot create a UDP socket: " + socketError();
        return brelvo::kInvalidSocket;
    }
    if (o.broadcast)
        brelvo::enableBroadcast(s);
    stamped = prepareDeviceSocket(s);
    const uint16_t wanted = uint16_t(o.basePort ? o.basePort + index : 0);
    const brelvo::SocketAddress a = socketAddress(deviceBindAddress(source), wanted);
    brelvo::SocketAddress bound;
    if (brelvo::bindSocket(s, a.address, a.port) != 0 || brelvo::socketName(s, &bound) != 0) {
        error = "cannot listen on UDP port " + std::to_string(wanted) + ": " + socketError();
        brelvo::closeSocket(s);
        return brelvo::kInvalidSocket;
    }
    port = brelvo::netToHost16(bound.port);
    return s;
}

// Device i: its socket (watched by the poller), its source address, its
// session and when it starts. False after saying what failed.
bool setUpDevice(const DevsimOptions& o, int i, Clock::time_point t0, Fleet& fleet, bool& stamped)
{
    Device& d = fleet.devices[size_t(i)];
    if (!o.bindAddrs.empty())
        d.source = o.bindAddrs[size_t(i) % o.bindAddrs.size()];
    std::string error;
    d.fd = openDeviceSocket(o, i, d.source, d.port, stamped, error);
    if (d.fd == brelvo::kInvalidSocket) {
        std::fprintf(stderr, "brelvo-devsim: device %d: %s\n", i, error.c_str());
        return false;
    }
    if (fleet.poller.add(d.fd, uint64_t(i)) != 0) {
        std::fprintf(stderr, "brelvo-devsim: device %d: cannot watch its socket: %s\n", i, socketError().c_str());
        return false;
    }
    d.watched = true;
    d.session = std::make_unique<DeviceSession>(i, o.session);
    d.startAt = t0 + std::chrono::milliseconds(o.startDelayMs + i * o.staggerMs);
    return true;
}

} // namespace

bool setUpFleet(const DevsimOptions& o, Fleet& fleet)
{
    if (!fleet.poller.valid()) {
        std::fprintf(stderr, "brelvo-devsim: cannot wait on sockets: %s\n", socketError().c_str());
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
        brelvo::closeSocket(d.fd);
}

bool addressIsLocal(uint32_t addr)
{
    brelvo::SocketHandle s = brelvo::openUdpSocket();
    if (s == brelvo::kInvalidSocket)
        return false;
    const brelvo::SocketAddress a = socketAddress(addr, 0);
    bool ok = brelvo::bindSocket(s, a.address, a.port) == 0;
    brelvo::closeSocket(s);
    return ok;
}

} // namespace devsim
