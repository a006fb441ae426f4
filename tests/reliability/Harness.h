// SPDX-License-Identifier: MIT
#pragma once
// A firmware folder, and brelvo-devsim runs in the device namespace with
// their report lines read back.

#include "ChildProcess.h"
#include "DevsimRun.h"
#include "Files.h"
#include "FirmwareFolder.h"
#include "NetnsEnv.h"
#include "StdoutCapture.h"
#include "UdpPort.h"
#include "Wait.h"
#include "job/UpdateJob.h"
#include "server/UpdateServer.h"

#include <gtest/gtest.h>
#include <regex>

namespace reliability {

using namespace brelvo;
using namespace std::chrono_literals;
using brelvo_test::NetnsEnv;

#define RELIABILITY_NETNS_ENV(env)                                                                 \
    const NetnsEnv env = NetnsEnv::fromEnvironment();                                              \
    if (!env.usable() || env.devsim.empty() || env.devAddrs.empty())                               \
    GTEST_SKIP() << "needs a private network namespace with brelvo-devsim: " << env.skipReason

using brelvo_test::runDevsim;

// `key` from the simulator's report line of its first device.
inline std::string field(const std::string& output, const std::string& key)
{
    const auto report = brelvo_test::devsimReport(output, 0);
    const auto it = report.find(key);
    return it == report.end() ? "" : it->second;
}

struct FirmwareFolder : brelvo_test::FirmwareFolder {
    explicit FirmwareFolder(size_t bytes) : brelvo_test::FirmwareFolder(bytes, "kvx_ABCDEFG_V1", 7) {}
};

// Waits until the listener holds UDP 3281, so that the simulator's single
// request cannot arrive before anyone listens.
inline bool startListening(UpdateServer& server, const std::string& folder, const std::string& config, int options,
                           const NetnsEnv& env)
{
    return server.start(folder, config, env.toolAddr, options) == 0 &&
           brelvo_test::waitFor([] { return brelvo_test::udpPortBound(3281); }, 5s);
}

// The job in `slot` once it reaches `status`, or null.
inline std::shared_ptr<UpdateJob> jobReaching(UpdateServer& server, int slot, int status, std::chrono::seconds limit)
{
    std::shared_ptr<UpdateJob> job;
    auto reached = [&] { return (job = server.jobAt(slot)) && job->statusCode() == status; };
    return brelvo_test::waitFor(reached, limit) ? job : nullptr;
}

} // namespace reliability
