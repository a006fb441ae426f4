#pragma once
// A firmware folder, and brelvo-devsim runs in the device namespace with
// their report lines read back.

#include "TestFixtures.h"
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

inline brelvo_test::ProcessResult runDevsim(const NetnsEnv& env, std::vector<std::string> args,
                                            std::chrono::seconds limit = 90s)
{
    args.insert(args.begin(), {env.devsim, "--tool", env.toolAddr, "--product", "ABCDEFG"});
    return brelvo_test::runProcess(brelvo_test::inDeviceNamespace(env, args), limit);
}

// `key` from the simulator's report line of its first device.
inline std::string field(const std::string& output, const std::string& key)
{
    std::smatch m;
    return std::regex_search(output, m, std::regex("(^|\n)device 0 [^\n]* " + key + "=(\\S+)")) ? m[2].str() : "";
}

struct FirmwareFolder {
    brelvo_test::TempDir dir;
    std::vector<uint8_t> image;
    std::string imagePath;

    explicit FirmwareFolder(size_t bytes)
        : image(brelvo_test::patternBytes(bytes, 7)), imagePath(dir.writeBytes("kvx_ABCDEFG_V1.bin", image))
    {
        const std::string sum = std::to_string(brelvo_test::wordSum(image));
        dir.writeText("kvx_ABCDEFG_V1-ver.bin", "product=ABCDEFG\nchecksum=" + sum);
    }
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
