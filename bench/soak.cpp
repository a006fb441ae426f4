// SPDX-License-Identifier: MIT
// Soak run: one UpdateServer serves many device updates one after another
// (1000 by default), the table being cleared as the window's Clear does,
// while this program watches its own open file descriptors, threads and
// resident memory. They must come back to where they started.
//
// Sweeps and broadcasts: run it only inside a private namespace pair,
//   tests/support/with-netns.sh --devsim BUILD/tools/devsim/brelvo-devsim --
//       BUILD/.../brelvo-bench-soak [--updates N] [--rounds N] [--image-bytes N] [--clear-every N]
// (one command line).
// Outside one it refuses to start (exit 77).
//
// A job closes its socket as soon as its device has reported its result, so
// the peak threads and descriptors during the run must stay within the
// devices served at once (one here) plus ten.

#include "ChildProcess.h"
#include "Files.h"
#include "NetnsEnv.h"
#include "TempDir.h"
#include "Wait.h"

#include "server/UpdateServer.h"

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <malloc.h>
#include <memory>
#include <iterator>
#include <string>
#include <vector>

extern char** environ;

using namespace brelvo;
using Clock = std::chrono::steady_clock;

namespace {

struct Usage {
    int fds = 0;
    int threads = 0;
    long rssKb = 0;
};

int openFds()
{
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.')
                ++n;
        closedir(d);
        --n; // the directory stream itself
    }
    return n;
}

Usage measure()
{
    Usage u;
    u.fds = openFds();
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("Threads:", 0) == 0)
            u.threads = std::atoi(line.c_str() + 8);
        else if (line.rfind("VmRSS:", 0) == 0)
            u.rssKb = std::atol(line.c_str() + 6);
    }
    return u;
}


// Runs one simulated device to the end, its report going to `report`.
int runDevice(const std::vector<std::string>& argv, const std::string& report)
{
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, report.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int argValue(int argc, char** argv, const char* name, int fallback)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0)
            return std::atoi(argv[i + 1]);
    return fallback;
}

} // namespace

int main(int argc, char** argv)
{
    const int updates = argValue(argc, argv, "--updates", 1000);
    const int imageBytes = argValue(argc, argv, "--image-bytes", 4096 + 300);
    const int clearEvery = std::max(1, argValue(argc, argv, "--clear-every", 10));
    const int rounds = std::max(1, argValue(argc, argv, "--rounds", 2));
    const brelvo_test::NetnsEnv env = brelvo_test::NetnsEnv::fromEnvironment();
    if (!env.usable() || env.devsim.empty() || env.devAddrs.empty()) {
        std::printf("soak: not started: %s\n",
                    env.usable() ? "brelvo-devsim not given (--devsim)" : env.skipReason.c_str());
        return 77;
    }

    brelvo_test::TempDir fw;
    const std::vector<uint8_t> image = brelvo_test::patternBytes(static_cast<size_t>(imageBytes), 3);
    const std::string imagePath = fw.writeBytes("kvx_SOAK001_V1.bin", image);
    fw.writeText("kvx_SOAK001_V1-ver.bin",
                 "product=SOAK001\nchecksum=" + std::to_string(brelvo_test::wordSum(image)) + "\n");

    // The server's own console lines would drown the figures.
    std::fflush(stdout);
    const int figures = dup(1);
    const int quiet = open("/dev/null", O_WRONLY | O_CLOEXEC);
    FILE* out = fdopen(figures, "w");
    if (figures < 0 || quiet < 0 || !out)
        return 1;
    dup2(quiet, 1);
    close(quiet);
    auto print = [&](const char* when, const Usage& u) {
        std::fprintf(out, "%-34s fds %4d  threads %4d  VmRSS %7ld kB\n", when, u.fds, u.threads, u.rssKb);
        std::fflush(out);
    };

    const Usage start = measure();
    print("start", start);
    int failures = 0;
    std::vector<Usage> ends;
    for (int round = 1; round <= rounds; ++round) {
        std::fprintf(out, "--- round %d: %d updates through one server run\n", round, updates);
        Usage peak = measure();
        const auto t0 = Clock::now();
        auto server = std::make_unique<UpdateServer>();
        if (server->start(fw.path(), "", env.toolAddr, OptionUpdateBoot) != 0) {
            std::fprintf(out, "soak: the server did not start\n");
            return 1;
        }
        const std::vector<std::string> device = brelvo_test::inDeviceNamespace(
            env, {env.devsim, "--tool", env.toolAddr, "--product", "SOAK001", "--bind", env.devAddrs[0],
                  "--expect-image", imagePath, "--timeout", "5000"});
        const std::string report = fw.file("device-report.txt");
        std::vector<double> took;
        for (int i = 1; i <= updates; ++i) {
            const auto d0 = Clock::now();
            if (runDevice(device, report) != 0) {
                ++failures;
                if (failures <= 3) {
                    std::ifstream in(report);
                    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
                    std::fprintf(out, "soak: update %d failed:\n%s", i, text.c_str());
                }
            }
            took.push_back(std::chrono::duration<double, std::milli>(Clock::now() - d0).count());
            if (i % clearEvery == 0) {
                // The last device's job finishes as its WriteComplete lands.
                brelvo_test::waitFor([&] {
                    auto j = server->jobAt(server->jobCount() - 1);
                    return !j || j->isFinished();
                }, std::chrono::seconds(5));
                server->pruneFinished();
            }
            const Usage u = measure();
            peak.fds = std::max(peak.fds, u.fds);
            peak.threads = std::max(peak.threads, u.threads);
            peak.rssKb = std::max(peak.rssKb, u.rssKb);
            if (i % 100 == 0) {
                char label[64];
                std::snprintf(label, sizeof label, "after %d updates (%.0f s)", i,
                              std::chrono::duration<double>(Clock::now() - t0).count());
                print(label, u);
            }
        }
        const double runSeconds = std::chrono::duration<double>(Clock::now() - t0).count();
        print("peak during the run", peak);
        std::sort(took.begin(), took.end());
        if (!took.empty())
            std::fprintf(out, "soak: one update (device process included): min %.0f ms, median %.0f ms, "
                              "90th %.0f ms, max %.0f ms\n",
                         took.front(), took[took.size() / 2], took[took.size() * 9 / 10], took.back());
        std::fprintf(out, "soak: %d updates in %.1f s (%.1f ms each), %d failed\n", updates, runSeconds,
                     1000.0 * runSeconds / updates, failures);

        const bool withinTarget = peak.fds <= start.fds + 1 + 10 && peak.threads <= start.threads + 1 + 10;
        std::fprintf(out, "soak: peak %d descriptors and %d threads against %d and %d at the start: %s (target: "
                          "at most the devices served at once, 1, plus 10 more)\n",
                     peak.fds, peak.threads, start.fds, start.threads, withinTarget ? "met" : "MISSED");
        failures += withinTarget ? 0 : 1;
        server->stop();
        const auto w0 = Clock::now();
        brelvo_test::waitFor([&] {
            server->pruneFinished();
            return server->isIdle() && server->jobCount() == 0 && server->activeTransfers() == 0;
        }, std::chrono::seconds(70), std::chrono::milliseconds(200));
        char label[64];
        std::snprintf(label, sizeof label, "stopped, cleared (+%.0f s)",
                      std::chrono::duration<double>(Clock::now() - w0).count());
        print(label, measure());
        server.reset();
        malloc_trim(0);
        ends.push_back(measure());
        print("server gone, heap trimmed", ends.back());
    }

    // Descriptors and threads must be back exactly. Memory: the first round
    // fills the allocator's arenas; later rounds must not grow beyond it.
    bool ok = failures == 0;
    for (const Usage& e : ends)
        ok = ok && e.fds == start.fds && e.threads == start.threads;
    const long growth = ends.back().rssKb - ends.front().rssKb;
    if (ends.size() > 1)
        ok = ok && growth < 1024;
    std::fprintf(out, "soak: %s (fds %+d, threads %+d against the start; VmRSS %+ld kB from the first round's end "
                      "to the last's, %+ld kB against the start)\n",
                 ok ? "PASS" : "FAIL", ends.back().fds - start.fds, ends.back().threads - start.threads, growth,
                 ends.back().rssKb - start.rssKb);
    return ok ? 0 : 1;
}
