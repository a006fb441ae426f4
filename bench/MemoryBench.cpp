// Memory held by a loaded job: one copy of its image (with the configuration
// appended, one copy of the whole) plus a small constant. Loads several jobs
// side by side and reports the resident-size growth per job. No network.
//
//   BUILD/bench/brelvo-bench-memory [jobs] [image MiB] [config KiB]

#include "BenchCommon.h"
#include "TestFixtures.h"

#include "server/JobPreparer.h"

#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

// Bytes handed out by malloc and not yet freed (heap and mmapped chunks):
// what the jobs really hold, whatever the allocator keeps cached.
long long bytesInUse()
{
    struct mallinfo2 mi = mallinfo2();
    return (long long)(mi.uordblks + mi.hblkhd);
}

// Loads `jobs` jobs; returns the growth per job in bytes of memory in use,
// and in `rss` the resident-size growth per job.
double perJob(int jobs, const std::string& imagePath, const std::string& configPath, int64_t& length, double& rss)
{
    std::vector<std::shared_ptr<const std::vector<uint8_t>>> held;
    brelvo::JobPreparer preparer;
    long long before = bytesInUse();
    long long rssBefore = brelvo_bench::residentBytes();
    for (int i = 0; i < jobs; ++i) {
        auto prepared = preparer.prepare(imagePath, "ABCDEFG", configPath);
        if (prepared.status != 0) {
            std::fprintf(stderr, "prepare failed with status %d: %s\n", prepared.status, prepared.reason.c_str());
            return -1;
        }
        length = int64_t(prepared.bytes->size());
        held.push_back(prepared.bytes);
    }
    rss = double(brelvo_bench::residentBytes() - rssBefore) / jobs;
    return double(bytesInUse() - before) / jobs;
}

} // namespace

int main(int argc, char** argv)
{
    int jobs = argc > 1 ? std::atoi(argv[1]) : 8;
    int mib = argc > 2 ? std::atoi(argv[2]) : 8;
    int configKib = argc > 3 ? std::atoi(argv[3]) : 1024;
    brelvo_test::TempDir dir;
    auto image = brelvo_test::patternBytes(size_t(mib) << 20, 0xA11CEu);
    std::string imagePath = brelvo_test::writeFirmware(dir, "kvx_ABCDEFG_M", image);
    std::string configPath = dir.writeBytes("device.cfg", brelvo_test::patternBytes(size_t(configKib) << 10, 7));

    int rc = 0;
    for (int withConfig = 0; withConfig < 2; ++withConfig) {
        int64_t length = 0;
        double rss = 0;
        double grow = perJob(jobs, imagePath, withConfig ? configPath : "", length, rss);
        if (grow < 0)
            return 1;
        double overhead = grow - double(length);
        bool ok = overhead <= 64 * 1024 + 0.01 * double(length);
        std::printf("MEMORY %s: %d jobs, image sent %lld bytes; held per job %.0f bytes = one copy + %.0f bytes "
                    "(%s); resident growth per job %.0f bytes\n",
                    withConfig ? "with configuration" : "image only", jobs, (long long)length, grow, overhead,
                    ok ? "met" : "MORE THAN ONE COPY", rss);
        if (!ok)
            rc = 1;
    }
    return rc;
}
