// SPDX-License-Identifier: MIT
#include "server/AddressSweep.h"

#include "platform/AddressText.h"
#include "platform/Clock.h"
#include "platform/Console.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace brelvo {

namespace {

constexpr size_t kReplyBufferSize = 1024;
constexpr size_t kEchoFields = 12; // type .. send time

// One counter for the whole process: sequence numbers go on across sweeps.
std::atomic<uint32_t> g_sequence{0};

} // namespace

void sweepTargets(uint32_t localAddress, uint32_t* targets)
{
    const uint32_t base = netToHost32(localAddress) & 0xFFFFFF00u;
    for (int i = 0; i < kSweepTargets; ++i)
        targets[i] = hostToNet32(base | static_cast<uint32_t>(i + 1));
}

int collectEchoReplies(const EchoSocket& socket, const uint32_t* targets, const uint16_t* sequences, int targetCount,
                       int waitMs, uint8_t* answered, const std::atomic<bool>* abort)
{
    if (waitMs < 0)
        waitMs = 0;
    uint8_t buffer[kReplyBufferSize];
    const uint32_t start = tickCount();
    for (int reads = 0;; ++reads) {
        // The wait counts from the call, not from the last packet: pings
        // aimed at this machine or a flood would otherwise keep it going.
        // Taking what is queued stops after a sweep's worth of packets.
        const long spent = static_cast<long>(static_cast<uint32_t>(tickCount() - start));
        const bool over = waitMs > 0 ? spent >= waitMs : reads > kSweepTargets;
        const int ready = over ? 0 : waitReadableAbortable(socket.handle, waitMs - spent, abort);
        if (ready < 0) {
            std::perror("select()");
            return 0;
        }
        if (ready == 0) {
            consoleWrite("No data within five seconds.\n");
            return 0;
        }
        consoleWrite("Data is available now.\n");
        SocketAddress from;
        const int n = receiveFrom(socket.handle, buffer, sizeof buffer, &from);
        if (n < 0) {
            const int err = lastSocketError();
            if (isTimeoutError(err)) {
                consoleWrite(" timed out/n");
                continue;
            }
            consolePrintf(" recvfrom() failed: %d/n", err);
            return -1;
        }
        const uint32_t now = tickCount();
        const std::string sender = addressToText(from.address);
        // 16 bytes with the IP header in front; the datagram socket gives
        // the ICMP message alone, which needs its 12 bytes.
        const int tooFew = socket.withIpHeader ? 16 : static_cast<int>(kEchoFields);
        if (n < tooFew)
            consolePrintf(" Too few bytes from %s /n", sender.c_str());
        EchoReply reply;
        if (!parseEchoReply(buffer, static_cast<size_t>(n), socket.withIpHeader, &reply))
            continue;
        if (reply.type != 0) {
            consolePrintf(" nonecho type %d recvd /n", reply.type);
            continue;
        }
        // Only an answer to the request sent to that very address counts.
        const int target = answeredRequest(reply, from.address, socket.matchIdentifier, socket.identifier, targets,
                                           sequences, targetCount);
        if (target < 0) {
            consoleWrite(" someone else's packet! /n");
            continue;
        }
        answered[target] = 1;
        // "from <address> returned <n> bytes:", "packet sequence number = <seq>.",
        // "delay: <ms> ms"
        consolePrintf("\xE4\xBB\x8E %s \xE8\xBF\x94\xE5\x9B\x9E %d \xE5\xAD\x97\xE8\x8A\x82:"
                      "\xE6\x95\xB0\xE6\x8D\xAE\xE5\x8C\x85\xE5\xBA\x8F\xE5\x88\x97\xE5\x8F\xB7 = %d. /t"
                      "\xE5\xBB\xB6\xE8\xBF\x9F: %d ms /n",
                      sender.c_str(), n, static_cast<int>(reply.sequence),
                      static_cast<int>(now - reply.sendTime));
    }
}

namespace {

// The raw ICMP socket, or else the unprivileged ICMP datagram socket.
EchoSocket openEchoSocket()
{
    EchoSocket es;
    es.handle = openRawIcmpSocket();
    if (es.handle != kInvalidSocket) {
        es.withIpHeader = true;
        es.matchIdentifier = true;
        es.identifier = static_cast<uint16_t>(processId() & 0xFFFFu);
        return es;
    }
    es.handle = openIcmpDatagramSocket();
    if (es.handle == kInvalidSocket)
        return es;
    // The kernel owns the identifier of a datagram echo socket: it is the
    // bound "port", and only this socket's replies are delivered to it.
    es.withIpHeader = false;
    SocketAddress bound;
    if (bindSocket(es.handle, 0, 0) == 0 && socketName(es.handle, &bound) == 0) {
        es.matchIdentifier = true;
        es.identifier = bound.port;
    } else {
        es.matchIdentifier = false;
    }
    return es;
}

} // namespace

int sweepFreeAddresses(const std::string& localAddress, int finalWaitMs, uint32_t* out, int capacity,
                       const std::atomic<bool>* abort, IcmpMethod* method)
{
    if (method)
        *method = IcmpMethod::None;
    uint32_t targets[kSweepTargets];
    uint16_t sequences[kSweepTargets];
    uint8_t answered[kSweepTargets] = {};
    sweepTargets(addressFromText(localAddress), targets);

    EchoSocket es = openEchoSocket();
    if (es.handle == kInvalidSocket) {
        consoleWrite("Failed create socket\n");
        return -1;
    }
    if (method)
        *method = es.withIpHeader ? IcmpMethod::Raw : IcmpMethod::Datagram;
    const uint16_t identifier = static_cast<uint16_t>(processId() & 0xFFFFu);
    uint8_t request[kEchoRequestSize];
    for (int send = 0; send < kSweepTargets; ++send) {
        sequences[send] = static_cast<uint16_t>(g_sequence.fetch_add(1));
        buildEchoRequest(request, identifier, sequences[send], tickCount());
        sendTo(es.handle, request, sizeof request, SocketAddress{targets[send], 0});
        consolePrintf("after send : %d\n", send);
        if (send % 8 == 0)
            collectEchoReplies(es, targets, sequences, send + 1, 0, answered, abort);
    }
    collectEchoReplies(es, targets, sequences, kSweepTargets, finalWaitMs, answered, abort);
    closeSocket(es.handle);

    int written = 0;
    for (int i = 0; i < kSweepTargets && written < capacity; ++i) {
        if (!answered[i])
            out[written++] = targets[i];
    }
    return written;
}

} // namespace brelvo
