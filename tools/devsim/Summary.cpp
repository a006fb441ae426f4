// SPDX-License-Identifier: MIT
#include "Summary.h"

#include "DeviceSystem.h"
#include "SocketAddress.h"

#include <cstdio>
#include <fstream>
#include <string>

namespace devsim {

namespace {

std::string gapText(bool have, double us)
{
    if (!have)
        return "-";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", us);
    return buf;
}

// --save-image: what the device received, ".N" added when there are several.
bool saveReceived(const DevsimOptions& o, const DeviceSession& s)
{
    std::string path = o.saveImagePath;
    if (o.count > 1)
        path += "." + std::to_string(s.index());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(s.received().data()), std::streamsize(s.received().size()));
    if (!out) {
        std::fprintf(stderr, "brelvo-devsim: cannot write '%s'\n", path.c_str());
        return false;
    }
    return true;
}

// The device's violations and failure, then its summary line.
void printSummary(const DevsimOptions& o, const Device& d)
{
    const DeviceSession& s = *d.session;
    for (const auto& v : s.violations())
        std::printf("device %d violation: %s\n", s.index(), v.c_str());
    if (s.violationCount() > s.violations().size())
        std::printf("device %d violation: ... %u more\n", s.index(),
                    unsigned(s.violationCount() - s.violations().size()));
    if (!s.failure().empty())
        std::printf("device %d failure: %s\n", s.index(), s.failure().c_str());
    long long phaseUs = s.blockPhaseUs();
    GapStats g = s.gapStats();
    std::printf("device %d %s product=%s lent=%s tool=%s result=%s bytes=%u blocks=%u/%u resent=%u dropped=%u "
                "acks=%u ends=%u elapsed_ms=%ld block_phase_us=%lld violations=%u min_gap_us=%s p1_gap_us=%s "
                "median_gap_us=%s mean_gap_us=%s\n",
                s.index(), endpointText(d.source, d.port).c_str(), o.session.product.c_str(),
                addressText(s.offer().lentAddr).c_str(), endpointText(s.offer().toolAddr, s.offer().jobPort).c_str(),
                s.resultText().c_str(), s.imageLength(), s.blocksReceived(), s.blockCount(), s.resentBlocks(),
                s.droppedBlocks(), s.acksSent(), s.endsReceived(), s.elapsedMs(), phaseUs, s.violationCount(),
                gapText(g.gaps > 0, g.minUs).c_str(), gapText(g.gaps > 0, g.p1Us).c_str(),
                gapText(g.gaps > 0, g.medianUs).c_str(), gapText(g.gaps > 0, g.meanUs).c_str());
}

} // namespace

bool reportDevices(const DevsimOptions& o, const Fleet& fleet)
{
    bool allOk = true;
    for (const auto& d : fleet.devices) {
        const DeviceSession& s = *d.session;
        if (!o.saveImagePath.empty() && !s.received().empty() && !saveReceived(o, s))
            allOk = false;
        printSummary(o, d);
        if (!s.succeeded())
            allOk = false;
    }
    return allOk;
}

void printCpuReport(const Fleet& fleet)
{
    uint64_t blocks = 0;
    for (const auto& d : fleet.devices)
        blocks += d.session->blockMessages();
    double user = 0, sys = 0;
    processCpuSeconds(user, sys);
    char perBlock[32] = "-";
    if (blocks)
        std::snprintf(perBlock, sizeof perBlock, "%.2f", (user + sys) * 1e6 / double(blocks));
    std::printf("devsim cpu_user_s=%.3f cpu_sys_s=%.3f blocks=%llu us_per_block=%s\n", user, sys,
                static_cast<unsigned long long>(blocks), perBlock);
}

} // namespace devsim
