// Soak run: one UpdateServer serves many device updates one after another
// (1000 by default), the table being cleared as the window's Clear does,
// while this program watches its own open file descriptors, threads and
// resident memory. They must come back to where they started.
//
// Sweeps and broadcasts: run it only inside a private namespace pair,
//   tests/support/with-netns.sh --devsim BUILD/tools/devsim/brelvo-devsim --
//       BUILD/.../brelvo-bench-soak [--updates N] [--image-bytes N] [--clear-every N]
// (one command line).
// Outside one it refuses to start (exit 77).
//
// Job workers keep listening for 40 s after their device's last message,
// so during the run the thread count follows the updates of the last 40 s;
// the end figures are taken once those workers have ended.

#include "TestFixtures.h"

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


// Runs one simulated device to the end; its output is thrown away.
int runDevice(const std::vector<std::string>& argv)
{
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
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
    Usage peak = start;
    int failures = 0;
    const auto t0 = Clock::now();
    {
        UpdateServer server;
        if (server.start(fw.path(), "", env.toolAddr, OptionUpdateBoot) != 0) {
            std::fprintf(out, "soak: the server did not start\n");
            return 1;
        }
        const std::vector<std::string> device = brelvo_test::inDeviceNamespace(
            env, {env.devsim, "--tool", env.toolAddr, "--product", "SOAK001", "--bind", env.devAddrs[0],
                  "--expect-image", imagePath, "--timeout", "5000"});
        for (int i = 1; i <= updates; ++i) {
            if (runDevice(device) != 0)
                ++failures;
            if (i % clearEvery == 0) {
                // The last device's job finishes as its WriteComplete lands.
                brelvo_test::waitFor([&] {
                    auto j = server.jobAt(server.jobCount() - 1);
                    return !j || j->isFinished();
                }, std::chrono::seconds(5));
                server.pruneFinished();
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
        std::fprintf(out, "soak: %d updates in %.1f s (%.1f ms each), %d failed\n", updates, runSeconds,
                     1000.0 * runSeconds / updates, failures);

        server.stop();
        // Workers leave 40 s after their device's last word; wait them out.
        const auto w0 = Clock::now();
        brelvo_test::waitFor([&] {
            server.pruneFinished();
            return server.isIdle() && server.jobCount() == 0 && measure().threads <= start.threads;
        }, std::chrono::seconds(70), std::chrono::milliseconds(200));
        char label[64];
        std::snprintf(label, sizeof label, "stopped, cleared (+%.0f s)",
                      std::chrono::duration<double>(Clock::now() - w0).count());
        print(label, measure());
    }
    const Usage end = measure();
    print("server gone", end);

    const long rssGrowth = end.rssKb - start.rssKb;
    const bool ok = failures == 0 && end.fds == start.fds && end.threads == start.threads && rssGrowth < 8 * 1024;
    std::fprintf(out, "soak: %s (fds %+d, threads %+d, VmRSS %+ld kB)\n", ok ? "PASS" : "FAIL",
                 end.fds - start.fds, end.threads - start.threads, rssGrowth);
    return ok ? 0 : 1;
}
