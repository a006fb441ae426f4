#pragma once
// Shared by the reliability tests: a firmware folder, and brelvo-devsim runs
// in the device namespace with their report lines read back.

#include "TestFixtures.h"

#include "job/UpdateJob.h"
#include "server/UpdateServer.h"

#include <gtest/gtest.h>

#include <map>

namespace reliability {

using namespace brelvo;
using namespace std::chrono_literals;
using brelvo_test::NetnsEnv;
using brelvo_test::readFileBytes;
using brelvo_test::TempDir;

constexpr char kProduct[] = "ABCDEFG";

// Declares `env`, or skips without a private namespace and the simulator.
#define RELIABILITY_NETNS_ENV(env)                                                                 \
    const NetnsEnv env = NetnsEnv::fromEnvironment();                                              \
    if (!env.usable() || env.devsim.empty() || env.devAddrs.empty())                               \
    GTEST_SKIP() << "needs a private network namespace with brelvo-devsim: " << env.skipReason

// From the simulator's "device N ADDR product=... key=value ..." lines.
using Report = std::map<std::string, std::string>;
struct DevsimRun {
    brelvo_test::ProcessResult process;
    std::vector<Report> devices;
};

inline DevsimRun runDevsim(const NetnsEnv& env, std::vector<std::string> extra, std::chrono::seconds limit = 90s)
{
    std::vector<std::string> argv{env.devsim, "--tool", env.toolAddr, "--product", kProduct};
    argv.insert(argv.end(), extra.begin(), extra.end());
    DevsimRun run{brelvo_test::runProcess(brelvo_test::inDeviceNamespace(env, argv), limit), {}};
    std::istringstream in(run.process.output);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("device ", 0) != 0 || line.find(" product=") == std::string::npos)
            continue;
        std::istringstream words(line);
        Report& r = run.devices.emplace_back();
        for (std::string w; words >> w;)
            if (w.find('=') != std::string::npos)
                r[w.substr(0, w.find('='))] = w.substr(w.find('=') + 1);
    }
    return run;
}

// One image and its version file.
struct FirmwareFolder {
    TempDir dir;
    std::vector<uint8_t> image;
    std::string imagePath;

    explicit FirmwareFolder(size_t bytes)
        : image(brelvo_test::patternBytes(bytes, 7)), imagePath(dir.writeBytes("kvx_ABCDEFG_V1.bin", image))
    {
        version(kProduct, std::to_string(brelvo_test::wordSum(image)));
    }
    void version(const std::string& product, const std::string& sum) const
    {
        dir.writeText("kvx_ABCDEFG_V1-ver.bin", "product=" + product + "\nchecksum=" + sum + "\n");
    }
};

// Starts `server` and waits until its listener holds UDP 3281, so that the
// simulator's single request cannot arrive before anyone listens.
inline bool startListening(UpdateServer& server, const std::string& folder, const std::string& config,
                           const std::string& address, int options)
{
    return server.start(folder, config, address, options) == 0 &&
           brelvo_test::waitFor([] { return brelvo_test::udpPortBound(3281); }, 5s);
}

// Waits for the job in `slot` to reach `status`; the job, or null.
inline std::shared_ptr<UpdateJob> jobReaching(UpdateServer& server, int slot, int status, std::chrono::seconds limit)
{
    std::shared_ptr<UpdateJob> job;
    brelvo_test::waitFor([&] { return (job = server.jobAt(slot)) && job->statusCode() == status; }, limit);
    return job && job->statusCode() == status ? job : nullptr;
}

} // namespace reliability
