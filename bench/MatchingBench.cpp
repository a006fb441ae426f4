// Firmware matching cost: one request against a folder of 20 images of
// 8 MiB each (page cache warm), compared with `grep -c '^product='` over the
// same files, which reads them the same way (line by line, looking for one
// prefix). No network.
//
//   BUILD/bench/brelvo-bench-matching [files] [MiB]

#include "TestFixtures.h"

#include "firmware/FirmwareMatch.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
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

} // namespace

int main(int argc, char** argv)
{
    int files = argc > 1 ? std::atoi(argv[1]) : 20;
    int mib = argc > 2 ? std::atoi(argv[2]) : 8;
    brelvo_test::TempDir dir;
    std::vector<std::string> paths;
    for (int i = 0; i < files; ++i) {
        char name[64];
        // One entry is for the requested product; the others are not.
        std::snprintf(name, sizeof name, "kvx_%s_V%02d.bin", i == files / 2 ? "ABCDEFG" : "ZZZZZ" "00", i);
        paths.push_back(dir.writeBytes(name, brelvo_test::patternBytes(size_t(mib) << 20, 0x5EED0u + unsigned(i))));
    }
    std::vector<std::string> grep{"grep", "-c", "^product="};
    grep.insert(grep.end(), paths.begin(), paths.end());

    // Warm the page cache and check the answer.
    std::string found = brelvo::findFirmwareImage(dir.path(), "ABCDEFG");
    if (found.find("ABCDEFG") == std::string::npos) {
        std::fprintf(stderr, "findFirmwareImage found '%s'\n", found.c_str());
        return 1;
    }
    brelvo_test::runProcess(grep, 60s);

    std::vector<double> match, grepTimes;
    for (int run = 0; run < 5; ++run) {
        auto t0 = Clock::now();
        brelvo::findFirmwareImage(dir.path(), "ABCDEFG");
        match.push_back(msSince(t0));
        t0 = Clock::now();
        auto r = brelvo_test::runProcess(grep, 60s);
        grepTimes.push_back(msSince(t0));
        if (r.timedOut) {
            std::fprintf(stderr, "grep timed out\n");
            return 1;
        }
    }
    double m = median(match), g = median(grepTimes);
    std::printf("MATCHING %d files x %d MiB: findFirmwareImage median %.1f ms, grep -c median %.1f ms, "
                "ratio %.2f (target <= 1.5): %s\n",
                files, mib, m, g, m / g, m <= 1.5 * g ? "met" : "MISSED");
    return 0;
}
