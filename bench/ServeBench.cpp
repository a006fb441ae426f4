// SPDX-License-Identifier: MIT
// One batch of simulated devices served by one UpdateServer, measured from
// the tool's side: its CPU per block sent, each device's block phase and
// request-to-result time, the simulator's own CPU, the peak memory and the
// peak threads and descriptors of the tool.
//
// Sweeps and broadcasts: run it only inside a private namespace pair,
//   tests/support/with-netns.sh --devices 100 --devsim BUILD/tools/devsim/brelvo-devsim --
//       BUILD/bench/brelvo-bench-serve --devices 100 --mib 4
// It uses only the calls every version of the engine has, so that
// bench/compare-engines.sh can build it against an earlier one too and
// print both figures side by side.
//
// Options: --devices N, --mib M (image size; or --bytes B), --extra-images K
// and --extra-mib E (other images in the folder), --stagger MS (between the
// devices' requests), --no-report (new engines: no run report),
// --drain-events (new engines: read the event stream as a front-end does,
// ten times a second), --label TEXT. Prints one line "serve ..." of
// key=value figures.

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

#include <dirent.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using brelvo_test::NetnsEnv;

namespace {

double cpuSeconds(int who)
{
    rusage u{};
    getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

int countEntries(const char* dir)
{
    int n = 0;
    if (DIR* d = opendir(dir)) {
        while (dirent* e = readdir(d))
            n += e->d_name[0] != '.';
        closedir(d);
    }
    return n;
}

long statusField(const char* key)
{
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind(key, 0) == 0)
            return std::atol(line.c_str() + std::strlen(key));
    return 0;
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[size_t(p * double(v.size() - 1) + 0.5)];
}

} // namespace

int main(int argc, char** argv)
{
    int devices = 1, extraImages = 0, extraMib = 8, staggerMs = 0;
    size_t bytes = size_t(4) << 20;
    bool report = true, drainEvents = false;
    std::string label = "engine";
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&] { return i + 1 < argc ? std::string(argv[++i]) : std::string(); };
        if (a == "--devices")
            devices = std::atoi(next().c_str());
        else if (a == "--mib")
            bytes = size_t(std::atof(next().c_str()) * 1048576);
        else if (a == "--bytes")
            bytes = size_t(std::atol(next().c_str()));
        else if (a == "--extra-images")
            extraImages = std::atoi(next().c_str());
        else if (a == "--extra-mib")
            extraMib = std::atoi(next().c_str());
        else if (a == "--stagger")
            staggerMs = std::atoi(next().c_str());
        else if (a == "--no-report")
            report = false;
        else if (a == "--drain-events")
            drainEvents = true;
        else if (a == "--label")
            label = next();
        else {
            std::fprintf(stderr, "brelvo-bench-serve: unknown option %s\n", a.c_str());
            return 2;
        }
    }
    const NetnsEnv env = NetnsEnv::fromEnvironment();
    if (!env.usable() || env.devsim.empty()) {
        std::fprintf(stderr, "brelvo-bench-serve: %s\nRun it inside tests/support/with-netns.sh with --devsim.\n",
                     env.usable() ? "no brelvo-devsim" : env.skipReason.c_str());
        return 77;
    }
    if (devices < 1 || size_t(devices) > env.devAddrs.size()) {
        std::fprintf(stderr, "brelvo-bench-serve: --devices must be 1..%zu here\n", env.devAddrs.size());
        return 2;
    }

    brelvo_test::TempDir dir;
    std::string imagePath;
    {
        // Not kept: the figures are the server's memory, not this program's.
        const auto image = brelvo_test::patternBytes(bytes, 0x5E2BEu);
        imagePath = brelvo_test::writeFirmware(dir, "kvx_ABCDEFG_S", image);
    }
    for (int i = 0; i < extraImages; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "kvx_OTHER%02d_X", i);
        const auto other = brelvo_test::patternBytes(size_t(extraMib) << 20, uint32_t(i + 1));
        dir.writeBytes(std::string(name) + ".bin", other);
        dir.writeText(std::string(name) + "-ver.bin", std::string("product=") + (name + 4) + "\nchecksum=0\n");
    }

    brelvo::UpdateServer server;
#ifdef BRELVO_BENCH_BASELINE
    (void)report;
    (void)drainEvents;
    const int started = server.start(dir.path(), "", env.toolAddr, 3);
#else
    brelvo::ServerSettings settings;
    settings.firmwareDir = dir.path();
    settings.localAddress = env.toolAddr;
    settings.options = 3;
    settings.writeReport = report;
    const int started = server.start(settings);
#endif
    if (started != 0 || !brelvo_test::waitFor([] { return brelvo_test::udpPortBound(3281); }, 5s)) {
        std::fprintf(stderr, "brelvo-bench-serve: the server did not start\n");
        return 2;
    }
    // The sweep's two seconds of waiting are not part of the figures.
    std::this_thread::sleep_for(2500ms);

    std::vector<std::string> args{env.devsim, "--product", "ABCDEFG", "--tool", env.toolAddr, "--count",
                                  std::to_string(devices), "--expect-image", imagePath, "--timeout", "30000",
                                  "--bind", env.devAddrs[0] + "-" + env.devAddrs[size_t(devices) - 1]};
    if (staggerMs > 0)
        args.insert(args.end(), {"--stagger", std::to_string(staggerMs)});

    std::atomic<bool> done{false};
    int peakThreads = 0, peakFds = 0;
    long peakRssKb = 0;
    size_t eventsSeen = 0;
    std::thread watcher([&] {
        for (int tick = 0; !done; ++tick) {
#ifndef BRELVO_BENCH_BASELINE
            if (drainEvents && tick % 5 == 0) {
                std::vector<brelvo::Event> events;
                eventsSeen += server.takeEvents(events);
            }
#endif
            peakThreads = std::max(peakThreads, int(statusField("Threads:")));
            peakFds = std::max(peakFds, countEntries("/proc/self/fd") - 1);
            peakRssKb = std::max(peakRssKb, statusField("VmRSS:"));
            std::this_thread::sleep_for(20ms);
        }
    });
    const long rssBeforeKb = statusField("VmRSS:");
    const double toolBefore = cpuSeconds(RUSAGE_SELF);
    const double devsimBefore = cpuSeconds(RUSAGE_CHILDREN);
    const auto t0 = std::chrono::steady_clock::now();
    const brelvo_test::ProcessResult run = brelvo_test::runProcess(brelvo_test::inDeviceNamespace(env, args), 600s);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double toolCpu = cpuSeconds(RUSAGE_SELF) - toolBefore;
    const double devsimCpu = cpuSeconds(RUSAGE_CHILDREN) - devsimBefore;
    done = true;
    watcher.join();

    int complete = 0;
    long blocks = 0, resent = 0;
    std::vector<double> phases, elapsed, minGaps;
    for (int i = 0; i < devices; ++i) {
        auto kv = brelvo_test::devsimReport(run.output, i);
        if (kv["result"] == "complete" && kv["violations"] == "0")
            ++complete;
        const std::string got = kv["blocks"]; // "have/total"
        blocks += std::atol(got.substr(got.find('/') + 1).c_str());
        resent += std::atol(kv["resent"].c_str());
        phases.push_back(std::atof(kv["block_phase_us"].c_str()) / 1000.0);
        elapsed.push_back(std::atof(kv["elapsed_ms"].c_str()));
        if (kv.count("min_gap_us") && kv["min_gap_us"] != "-")
            minGaps.push_back(std::atof(kv["min_gap_us"].c_str()));
    }
    const long sent = blocks + resent;
    std::printf("serve label=%s devices=%d bytes=%zu complete=%d/%d tool_cpu_s=%.3f devsim_cpu_s=%.3f "
                "blocks_sent=%ld resent=%ld us_per_block=%.2f phase_ms_median=%.1f phase_ms_max=%.1f "
                "result_ms_max=%.0f min_gap_us=%.0f peak_rss_kb=%ld rss_growth_kb=%ld peak_threads=%d "
                "peak_fds=%d wall_s=%.2f events=%zu\n",
                label.c_str(), devices, bytes, complete, devices, toolCpu, devsimCpu, sent, resent,
                sent ? toolCpu * 1e6 / double(sent) : 0.0, percentile(phases, 0.5), percentile(phases, 1.0),
                percentile(elapsed, 1.0), minGaps.empty() ? -1.0 : *std::min_element(minGaps.begin(), minGaps.end()),
                peakRssKb, peakRssKb - rssBeforeKb, peakThreads, peakFds, wall, eventsSeen);
    if (complete != devices)
        std::fprintf(stderr, "%s\n", run.output.c_str());
    server.stop();
    brelvo_test::waitFor([&] { return server.isIdle(); }, 60s);
    return complete == devices ? 0 : 1;
}
