// SPDX-License-Identifier: MIT
// Memory held by many jobs sending one image, side by side:
//  - private copies: each job reads the file into a buffer of its own (the
//    earlier engine's path, kept here as the figure to compare with);
//  - ImageStore: every job holds the one shared buffer (target: one image
//    plus at most 64 KiB per job);
//  - ImageStore right after the files were written: each request reads the
//    files again to compare (their times are too fresh to trust) but keeps
//    the shared buffer.
// Each case runs in a child process of its own, so that its resident size
// (VmRSS) and peak (VmHWM) from /proc/self/status are its alone. No network.
//
//   BUILD/bench/brelvo-bench-memory [jobs] [image MiB]

#include "BenchCommon.h"
#include "Files.h"
#include "FirmwareFolder.h"
#include "TempDir.h"

#include "firmware/ImageStore.h"

#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

// A field of /proc/self/status in bytes ("VmRSS", "VmHWM").
long long statusBytes(const std::string& field)
{
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(field + ":", 0) == 0)
            return std::atoll(line.c_str() + field.size() + 1) * 1024;
    }
    return -1;
}

// Bytes handed out by malloc and not yet freed: what is really held,
// whatever the allocator keeps cached for later.
long long bytesInUse()
{
    const struct mallinfo2 mi = mallinfo2();
    return static_cast<long long>(mi.uordblks + mi.hblkhd);
}

struct Figures {
    long long rssGrowth = 0;
    long long peakGrowth = 0;
    long long inUseGrowth = 0;
};

using Measure = std::function<void()>;

// Runs `hold` in a child and reports the child's growth: resident size when
// `hold` calls its measure (while it holds what it loaded), and the peak.
bool inChild(const std::function<bool(const Measure&)>& hold, Figures* out)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return false;
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        Figures f;
        const long long before = statusBytes("VmRSS");
        const long long inUseBefore = bytesInUse();
        bool ok = hold([&] {
            f.rssGrowth = statusBytes("VmRSS") - before;
            f.peakGrowth = statusBytes("VmHWM") - before;
            f.inUseGrowth = bytesInUse() - inUseBefore;
        });
        ok = ok && ::write(fds[1], &f, sizeof f) == static_cast<ssize_t>(sizeof f);
        ::_exit(ok ? 0 : 1);
    }
    ::close(fds[1]);
    const bool read = pid > 0 && ::read(fds[0], out, sizeof *out) == static_cast<ssize_t>(sizeof *out);
    ::close(fds[0]);
    int status = 0;
    if (pid > 0)
        ::waitpid(pid, &status, 0);
    return read && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

double mib(long long bytes) { return double(bytes) / (1 << 20); }

} // namespace

int main(int argc, char** argv)
{
    const int jobs = argc > 1 ? std::atoi(argv[1]) : 100;
    const int imageMib = argc > 2 ? std::atoi(argv[2]) : 16;
    if (jobs < 1 || imageMib < 1) {
        std::fprintf(stderr, "usage: %s [jobs >= 1] [image MiB >= 1]\n", argv[0]);
        return 2;
    }
    brelvo_test::TempDir dir;
    const auto image = brelvo_test::patternBytes(size_t(imageMib) << 20, 0xA11CEu);
    const std::string imagePath = brelvo_test::writeFirmware(dir, "kvx_ABCDEFG_M", image);
    const long long imageBytes = static_cast<long long>(image.size());

    auto privateCopies = [&](const Measure& measure) {
        std::vector<std::vector<uint8_t>> held;
        for (int i = 0; i < jobs; ++i) {
            held.push_back(brelvo_test::readFileBytes(imagePath));
            if (held.back().size() != image.size())
                return false;
        }
        measure();
        return true;
    };
    auto shared = [&](const Measure& measure) {
        brelvo::ImageStore store;
        std::vector<std::shared_ptr<const brelvo::PreparedImage>> held;
        for (int i = 0; i < jobs; ++i) {
            brelvo::Error why;
            std::shared_ptr<const brelvo::PreparedImage> r = store.prepare(imagePath, "ABCDEFG", "", &why);
            if (!r || r->bytes.size() != image.size() || (!held.empty() && r != held.front())) {
                std::fprintf(stderr, "job %d: %s\n", i, why.text.c_str());
                return false;
            }
            held.push_back(r);
        }
        measure();
        return true;
    };

    Figures fresh, copies, store;
    if (!inChild(shared, &fresh))
        return 1;
    // Older than the store's settling time: identities are trusted.
    std::this_thread::sleep_for(std::chrono::nanoseconds(brelvo::ImageStore::kDefaultSettleNs) +
                                std::chrono::milliseconds(100));
    if (!inChild(privateCopies, &copies) || !inChild(shared, &store))
        return 1;

    const long long target = imageBytes + jobs * 64LL * 1024;
    std::printf("MEMORY %d jobs sending one %d MiB image: growth while held, resident (peak) and allocated\n",
                jobs, imageMib);
    auto row = [](const char* what, const Figures& f) {
        std::printf("  %-36s %8.1f MiB (%8.1f MiB peak) %8.1f MiB allocated", what, mib(f.rssGrowth),
                    mib(f.peakGrowth), mib(f.inUseGrowth));
    };
    row("private copies (one read per job)", copies);
    std::printf("\n");
    row("ImageStore, shared buffer", store);
    std::printf("  target <= %.1f MiB: %s\n", mib(target), store.peakGrowth <= target ? "met" : "MISSED");
    row("ImageStore, files just written", fresh);
    std::printf("  one buffer shared; each request re-read and compared\n");
    return store.peakGrowth <= target ? 0 : 1;
}
