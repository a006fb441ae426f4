// SPDX-License-Identifier: MIT
#pragma once
// The server on the tool side of a private namespace pair, brelvo-devsim on
// the device side, and a bare socket standing in for a scripted device.
// Shared by the integration and the reliability tests.

#include "ChildProcess.h"
#include "Csv.h"
#include "DeviceCodec.h"
#include "DevsimRun.h"
#include "Files.h"
#include "FirmwareFolder.h"
#include "NetnsEnv.h"
#include "StdoutCapture.h"
#include "UdpPort.h"
#include "Wait.h"
#include "platform/AddressText.h"
#include "platform/Socket.h"
#include "server/UpdateServer.h"

#include <fstream>
#include <gtest/gtest.h>

namespace brelvo_it {

using namespace brelvo;
using namespace std::chrono_literals;
using brelvo_test::devsimCommand;
using brelvo_test::FirmwareFolder;
using brelvo_test::NetnsEnv;
using brelvo_test::waitFor;

constexpr const char* kProduct = brelvo_test::kDevsimProduct;

#define BRELVO_REQUIRE_NETNS(env)                                                                         \
    const auto env = brelvo_test::NetnsEnv::fromEnvironment();                                            \
    if (!env.usable() || env.devsim.empty() || env.devAddrs.empty())                                      \
    GTEST_SKIP() << "needs a private network namespace with brelvo-devsim: " << env.skipReason

// Started and listening on UDP 3281 (so that a device's single request is
// heard); stopped and idle at the end. Collects its events as they are waited for.
struct Server : UpdateServer {
    Server(const NetnsEnv& env, ServerSettings s)
    {
        s.localAddress = env.toolAddr;
        EXPECT_EQ(start(s), 0) << startError();
        EXPECT_TRUE(waitFor([] { return brelvo_test::udpPortBound(3281); }, 5s)) << "listener never bound UDP 3281";
    }
    Server(const FirmwareFolder& fw, const NetnsEnv& env, const std::string& config = "", int options = 3)
        : Server(env, ServerSettings{fw.dir.path(), config, "", options, true, ""})
    {
    }
    ~Server()
    {
        stop();
        EXPECT_TRUE(waitFor([&] { return isIdle(); }, 45s, 20ms)) << "not idle after stop";
    }
    std::shared_ptr<UpdateJob> waitJob(int index, int status, std::chrono::milliseconds limit = 5s)
    {
        std::shared_ptr<UpdateJob> job;
        return waitFor([&] { return (job = jobAt(index)) && job->statusCode() == status; }, limit) ? job : nullptr;
    }
    std::vector<Event> events;
    // The first event of `kind` collected so far or within `limit`.
    const Event* waitEvent(EventKind kind, std::chrono::milliseconds limit = 10s, std::chrono::milliseconds step = 10ms)
    {
        const auto first = [&]() -> const Event* {
            takeEvents(events);
            for (const Event& e : events)
                if (e.kind == kind)
                    return &e;
            return nullptr;
        };
        return waitFor([&] { return first() != nullptr; }, limit, step) ? first() : nullptr;
    }
    std::vector<EventKind> kindsOf(uint64_t job)
    {
        takeEvents(events);
        std::vector<EventKind> out;
        for (const Event& e : events)
            if (e.jobId == job)
                out.push_back(e.kind);
        return out;
    }
};

// A UDP socket in the tool's namespace (the broadcast Offer reaches it), on a
// port below the ephemeral range so it never takes a port a job was told is free.
struct RawDevice {
    SocketHandle fd = openUdpSocket();
    uint16_t jobPort = 0;
    const NetnsEnv& env;

    explicit RawDevice(const NetnsEnv& e) : env(e)
    {
        static uint16_t next = 21000;
        while (bindSocket(fd, 0, hostToNet16(next++)) != 0) {}
    }
    ~RawDevice() { closeSocket(fd); }
    void send(const std::vector<uint8_t>& m, uint16_t port) const
    {
        sendTo(fd, m.data(), m.size(), {addressFromText(env.toolAddr), hostToNet16(port)});
    }
    void request() const { send(devsim::encodeRequest(kProduct), 3281); }
    void complete() const { send(devsim::encodeResult(devsim::TypeWriteComplete), jobPort); }
    bool requestAndComplete() { return request(), awaitOffer(10000) && (complete(), true); }
    bool awaitOffer(int ms)
    {
        uint8_t buf[2048];
        devsim::Offer o;
        while (waitReadable(fd, ms / 1000, ms % 1000 * 1000) > 0) {
            const int n = receiveNow(fd, buf, sizeof buf, nullptr);
            if (n > 0 && devsim::messageType(buf, size_t(n)) == devsim::TypeOffer && devsim::decodeOffer(buf, size_t(n), o).empty())
                return (jobPort = o.jobPort) != 0;
        }
        return false;
    }
};

} // namespace brelvo_it
