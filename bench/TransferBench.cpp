// SPDX-License-Identifier: MIT
// Transfer pacing and many-device scaling, measured on real sockets between
// the server and brelvo-devsim in a private namespace pair.
//
//   tests/support/with-netns.sh --devices 20 -- BUILD/bench/brelvo-bench-transfer [MiB] [devices]
//
// Prints the average time per block of one device (the floor is the 1 ms
// pause after each block) and, for N devices at once, each device's time
// against the single-device time.

#include "BenchCommon.h"
#include "ChildProcess.h"
#include "DevsimRun.h"
#include "Files.h"
#include "FirmwareFolder.h"
#include "NetnsEnv.h"
#include "TempDir.h"
#include "UdpPort.h"
#include "Wait.h"

#include "server/UpdateServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#ifndef BRELVO_DEVSIM_PATH
#define BRELVO_DEVSIM_PATH ""
#endif

using namespace std::chrono_literals;
using brelvo_test::NetnsEnv;

namespace {

struct DeviceFigures {
    bool ok = false;
    double blockPhaseMs = 0;
    double elapsedMs = 0;
    long blocks = 0;
    std::string resent;
};

std::vector<DeviceFigures> runDevices(const NetnsEnv& env, const std::string& devsim, const std::string& image,
                                      int count, std::string& output)
{
    std::vector<std::string> argv{devsim, "--product", "ABCDEFG", "--tool", env.toolAddr, "--count",
                                  std::to_string(count), "--expect-image", image, "--timeout", "20000"};
    for (int i = 0; i < count; ++i) {
        argv.push_back("--bind");
        argv.push_back(env.devAddrs[size_t(i) % env.devAddrs.size()]);
    }
    auto r = brelvo_test::runProcess(brelvo_test::inDeviceNamespace(env, argv), 300s);
    output = r.output;
    std::vector<DeviceFigures> out;
    for (int i = 0; i < count; ++i) {
        auto kv = brelvo_test::devsimReport(r.output, i);
        DeviceFigures f;
        f.ok = kv["result"] == "complete" && kv["violations"] == "0";
        f.blockPhaseMs = std::atof(kv["block_phase_us"].c_str()) / 1000.0;
        f.elapsedMs = std::atof(kv["elapsed_ms"].c_str());
        f.blocks = std::atol(kv["blocks"].c_str());
        f.resent = kv["resent"];
        out.push_back(f);
    }
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    int mib = argc > 1 ? std::atoi(argv[1]) : 4;
    int many = argc > 2 ? std::atoi(argv[2]) : 20;
    auto env = NetnsEnv::fromEnvironment();
    if (!env.usable()) {
        std::fprintf(stderr,
                     "brelvo-bench-transfer: %s\nRun it inside a private namespace pair:\n"
                     "  tests/support/with-netns.sh --devices 20 -- %s\n",
                     env.skipReason.c_str(), argv[0]);
        return 77;
    }
    std::string devsim = env.devsim.empty() ? BRELVO_DEVSIM_PATH : env.devsim;
    if (devsim.empty()) {
        std::fprintf(stderr, "brelvo-bench-transfer: no brelvo-devsim (give --devsim to with-netns.sh)\n");
        return 2;
    }
    many = std::min<int>(many, int(env.devAddrs.size()));

    brelvo_test::TempDir dir;
    auto image = brelvo_test::patternBytes(size_t(mib) << 20, 0xBE7C4u);
    std::string imagePath = brelvo_test::writeFirmware(dir, "kvx_ABCDEFG_B", image);

    brelvo::UpdateServer server;
    if (server.start(dir.path(), "", env.toolAddr, 3) != 0 ||
        !brelvo_test::waitFor([] { return brelvo_test::udpPortBound(3281); }, 5s)) {
        std::fprintf(stderr, "brelvo-bench-transfer: the server did not start\n");
        return 2;
    }
    // The server's console chatter goes to stdout; figures go to stderr.
    std::string output;
    // Warm-up run: absorbs the start-up sweep.
    runDevices(env, devsim, imagePath, 1, output);

    std::vector<DeviceFigures> singles;
    for (int run = 0; run < 3; ++run) {
        auto f = runDevices(env, devsim, imagePath, 1, output);
        if (f.empty() || !f[0].ok) {
            std::fprintf(stderr, "single-device run failed:\n%s\n", output.c_str());
            return 1;
        }
        singles.push_back(f[0]);
        std::fprintf(stderr, "single device run %d: %ld blocks, block phase %.1f ms = %.4f ms/block, "
                             "request to result %.0f ms, resent %s\n",
                     run + 1, f[0].blocks, f[0].blockPhaseMs, f[0].blockPhaseMs / double(f[0].blocks),
                     f[0].elapsedMs, f[0].resent.c_str());
    }
    std::sort(singles.begin(), singles.end(),
              [](const DeviceFigures& a, const DeviceFigures& b) { return a.blockPhaseMs < b.blockPhaseMs; });
    const DeviceFigures single = singles[1];
    const double perBlock = single.blockPhaseMs / double(single.blocks);
    std::fprintf(stderr, "PACING median: %.4f ms per block (target <= 1.05 ms): %s\n", perBlock,
                 perBlock <= 1.05 ? "met" : "MISSED");

    auto f = runDevices(env, devsim, imagePath, many, output);
    double worstPhase = 0, worstElapsed = 0;
    int failed = 0;
    for (size_t i = 0; i < f.size(); ++i) {
        std::fprintf(stderr, "  device %2zu: request to result %5.0f ms, block phase %6.1f ms, outside it %5.0f ms\n",
                     i, f[i].elapsedMs, f[i].blockPhaseMs, f[i].elapsedMs - f[i].blockPhaseMs);
        if (!f[i].ok)
            ++failed;
        worstPhase = std::max(worstPhase, f[i].blockPhaseMs);
        worstElapsed = std::max(worstElapsed, f[i].elapsedMs);
    }
    if (failed)
        std::fprintf(stderr, "%d of %d devices failed:\n%s\n", failed, many, output.c_str());
    std::fprintf(stderr,
                 "MANY %d devices: slowest block phase %.1f ms = %.2f x single; slowest request-to-result "
                 "%.0f ms = %.2f x single (target <= 1.3 x): %s\n",
                 many, worstPhase, worstPhase / single.blockPhaseMs, worstElapsed, worstElapsed / single.elapsedMs,
                 (!failed && worstElapsed <= 1.3 * single.elapsedMs) ? "met" : "MISSED");
    server.stop();
    brelvo_test::waitFor([&] { return server.isIdle(); }, 60s);
    return failed ? 1 : 0;
}
