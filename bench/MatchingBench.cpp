// SPDX-License-Identifier: MIT
// Firmware matching cost per device request on a folder of 20 images of
// 8 MiB each with their version files (page cache warm), side by side:
//  - the full scan (a new FirmwareIndex each time), which reads every file;
//  - FirmwareIndex::find on an unchanged folder (target <= 1 ms);
//  - FirmwareIndex::find when every file changed since the last request
//    (target: no slower than the full scan);
//  - `grep -c '^product='` over the same files, which reads them the same way
//    (line by line, looking for one prefix), for scale (full scan target
//    <= 1.5 times grep).
// No network.
//
//   BUILD/bench/brelvo-bench-matching [files] [MiB]

#include "ChildProcess.h"
#include "Files.h"
#include "TempDir.h"

#include "firmware/FirmwareIndex.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

double msSince(Clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// A new modification time: every file changes identity, its bytes stay.
bool touch(const std::string& path, long seconds)
{
    const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(1000000000 + seconds), 0}};
    return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

} // namespace

int main(int argc, char** argv)
{
    const int files = argc > 1 ? std::atoi(argv[1]) : 20;
    const int mib = argc > 2 ? std::atoi(argv[2]) : 8;
    if (files < 1 || mib < 1) {
        std::fprintf(stderr, "usage: %s [files >= 1] [MiB >= 1]\n", argv[0]);
        return 2;
    }
    brelvo_test::TempDir dir;
    std::vector<std::string> paths;
    for (int i = 0; i < files; ++i) {
        // One image is for the requested product; the others are not.
        char stem[64];
        std::snprintf(stem, sizeof stem, "kvx_%s_V%02d", i == files / 2 ? "ABCDEFG" : "ZZZZZ00", i);
        const auto image = brelvo_test::patternBytes(size_t(mib) << 20, 0x5EED0u + unsigned(i));
        char version[96];
        std::snprintf(version, sizeof version, "product=%s\nchecksum=0x%08x\n",
                      i == files / 2 ? "ABCDEFG" : "ZZZZZ00", brelvo_test::wordSum(image));
        paths.push_back(dir.writeBytes(std::string(stem) + ".bin", image));
        paths.push_back(dir.writeText(std::string(stem) + "-ver.bin", version));
    }
    const std::string want = dir.file("kvx_ABCDEFG_V" + std::string(files / 2 < 10 ? "0" : "") +
                                      std::to_string(files / 2) + ".bin");
    std::vector<std::string> grep{"grep", "-c", "^product="};
    grep.insert(grep.end(), paths.begin(), paths.end());

    // Warm the page cache and check the answers.
    if (brelvo::FirmwareIndex().find(dir.path(), "ABCDEFG") != want) {
        std::fprintf(stderr, "the full scan did not find %s\n", want.c_str());
        return 1;
    }
    brelvo_test::runProcess(grep, 60s);
    // Wait until the files are older than the index's settling time, so
    // that an unchanged folder is answered from what was read.
    std::this_thread::sleep_for(std::chrono::nanoseconds(brelvo::FirmwareIndex::kDefaultSettleNs) + 100ms);
    brelvo::FirmwareIndex index;
    if (index.find(dir.path(), "ABCDEFG") != want) {
        std::fprintf(stderr, "FirmwareIndex::find did not find %s\n", want.c_str());
        return 1;
    }

    std::vector<double> full, grepTimes, unchanged, changed;
    for (int run = 0; run < 7; ++run) {
        auto t0 = Clock::now();
        brelvo::FirmwareIndex().find(dir.path(), "ABCDEFG");
        full.push_back(msSince(t0));

        t0 = Clock::now();
        const auto r = brelvo_test::runProcess(grep, 60s);
        grepTimes.push_back(msSince(t0));
        if (r.timedOut) {
            std::fprintf(stderr, "grep timed out\n");
            return 1;
        }

        for (const std::string& p : paths) {
            if (!touch(p, run)) {
                std::fprintf(stderr, "cannot change the time of %s\n", p.c_str());
                return 1;
            }
        }
        const uint64_t readsBefore = index.descriptorReads();
        t0 = Clock::now();
        const std::string found = index.find(dir.path(), "ABCDEFG");
        changed.push_back(msSince(t0));
        if (found != want || index.descriptorReads() - readsBefore != paths.size()) {
            std::fprintf(stderr, "after every file changed: found '%s' reading %llu files\n", found.c_str(),
                         (unsigned long long)(index.descriptorReads() - readsBefore));
            return 1;
        }
    }
    // The touched files settle, then requests on an unchanged folder.
    std::this_thread::sleep_for(std::chrono::nanoseconds(brelvo::FirmwareIndex::kDefaultSettleNs) + 100ms);
    index.find(dir.path(), "ABCDEFG");
    const uint64_t readsBefore = index.descriptorReads();
    for (int run = 0; run < 1000; ++run) {
        const auto t0 = Clock::now();
        const std::string found = index.find(dir.path(), "ABCDEFG");
        unchanged.push_back(msSince(t0));
        if (found != want) {
            std::fprintf(stderr, "unchanged folder: found '%s'\n", found.c_str());
            return 1;
        }
    }
    const uint64_t rereads = index.descriptorReads() - readsBefore;

    const double f = median(full), g = median(grepTimes), u = median(unchanged), c = median(changed);
    std::printf("MATCHING %d images x %d MiB + version files, ms per request (median):\n", files, mib);
    std::printf("  full scan (a new index)              %8.3f ms\n", f);
    std::printf("  index, unchanged folder              %8.3f ms  (target <= 1 ms: %s; files read again: %llu)\n",
                u, u <= 1.0 ? "met" : "MISSED", (unsigned long long)rereads);
    std::printf("  index, every file changed            %8.3f ms  (%.2f x full scan; target <= 1.05: %s)\n", c, c / f,
                c <= f * 1.05 ? "met" : "MISSED");
    std::printf("  grep -c '^product=' (own process)    %8.3f ms  (full scan / grep %.2f; target <= 1.5: %s)\n", g,
                f / g, f <= 1.5 * g ? "met" : "MISSED");
    return 0;
}
