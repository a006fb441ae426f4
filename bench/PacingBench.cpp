// SPDX-License-Identifier: MIT
// The transfer thread's wake-ups: devices each due 1 ms after their last
// block, served by one thread through the Poller as the scheduler does, a
// datagram to a loopback sink per block. No device needed, so it runs the
// same on Linux and under Wine:
//
//   BUILD/bench/brelvo-bench-pacing [devices] [blocks]
//   bench/pacing-both.sh            # the Linux and the Windows build side by side
//
// Prints the gaps between one device's blocks: min, median, mean, the 1st
// and 99th percentile, and how many fell under 0.9 ms (the limit: none);
// then how late the Poller woke after each deadline, which is the wait's
// own share of a gap (the rest is the send and the clock reading).

#include "platform/AddressText.h"
#include "platform/Clock.h"
#include "platform/Poller.h"
#include "platform/Socket.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <vector>

using namespace brelvo;

int main(int argc, char** argv)
{
    const int devices = argc > 1 ? std::atoi(argv[1]) : 20;
    const int blocks = argc > 2 ? std::atoi(argv[2]) : 2000;
    if (devices < 1 || devices > 100 || blocks < 10) {
        std::fprintf(stderr, "usage: brelvo-bench-pacing [devices 1-100] [blocks >= 10]\n");
        return 2;
    }
    constexpr int64_t kInterval = 1000000;
    const SocketHandle sink = openUdpSocket(), sender = openUdpSocket();
    SocketAddress to;
    if (sink == kInvalidSocket || sender == kInvalidSocket ||
        bindSocket(sink, addressFromText("127.0.0.1"), 0) != 0 || socketName(sink, &to) != 0) {
        std::fprintf(stderr, "brelvo-bench-pacing: no loopback socket\n");
        return 1;
    }
    Poller poller;
    WakeSignal wake;
    // As for jobs in their block phase, the sink is read on the ticks only.
    poller.add(wake.fd(), 0);
    usePreciseTimers();

    std::vector<int64_t> sent(static_cast<size_t>(devices)), gaps, late;
    std::vector<int> left(static_cast<size_t>(devices), blocks);
    gaps.reserve(static_cast<size_t>(devices) * static_cast<size_t>(blocks));
    const int64_t start = monotonicNs();
    for (int d = 0; d < devices; ++d)
        sent[static_cast<size_t>(d)] = start + d * kInterval / devices - kInterval; // staggered
    std::vector<uint64_t> ready;
    char block[1036] = {};
    char drain[2048];
    for (int active = devices; active > 0;) {
        int64_t earliest = INT64_MAX;
        for (int d = 0; d < devices; ++d)
            if (left[static_cast<size_t>(d)] > 0)
                earliest = std::min(earliest, sent[static_cast<size_t>(d)] + kInterval);
        if (poller.wait(earliest, ready) < 0)
            return 1;
        late.push_back(monotonicNs() - earliest);
        while (receiveNow(sink, drain, sizeof drain, nullptr) > 0) {
        }
        for (int d = 0; d < devices; ++d) {
            auto& last = sent[static_cast<size_t>(d)];
            if (left[static_cast<size_t>(d)] == 0 || monotonicNs() < last + kInterval)
                continue;
            sendTo(sender, block, sizeof block, to);
            const int64_t now = monotonicNs();
            if (left[static_cast<size_t>(d)] < blocks)
                gaps.push_back(now - last);
            last = now;
            if (--left[static_cast<size_t>(d)] == 0)
                --active;
        }
    }
    std::sort(gaps.begin(), gaps.end());
    const double n = static_cast<double>(gaps.size());
    auto ms = [](int64_t ns) { return static_cast<double>(ns) / 1e6; };
    auto at = [&](double q) { return ms(gaps[static_cast<size_t>(q * (n - 1))]); };
    const long under = std::count_if(gaps.begin(), gaps.end(), [](int64_t g) { return g < 900000; });
#ifdef _WIN32
    const char* side = "windows";
#else
    const char* side = "linux";
#endif
    std::printf("%s: %d devices x %d blocks: gap min %.3f median %.3f mean %.3f p1 %.3f p99 %.3f max %.3f ms; "
                "under 0.9 ms: %ld\n",
                side, devices, blocks, ms(gaps.front()), at(0.5),
                ms(std::accumulate(gaps.begin(), gaps.end(), int64_t(0))) / n, at(0.01), at(0.99), ms(gaps.back()),
                under);
    std::sort(late.begin(), late.end());
    std::printf("%s: woken after the deadline by median %.3f p99 %.3f max %.3f ms\n", side,
                ms(late[late.size() / 2]), ms(late[late.size() * 99 / 100]), ms(late.back()));
    closeSocket(sink);
    closeSocket(sender);
    return under == 0 ? 0 : 3;
}
