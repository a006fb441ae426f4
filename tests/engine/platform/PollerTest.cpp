// SPDX-License-Identifier: MIT
// The transfer thread's wait: readiness and the wake signal by their
// tokens, and a deadline never anticipated (a block sent early breaks the
// pacing).
#include "EngineTestSupport.h"
#include "platform/AddressText.h"
#include "platform/Poller.h"

#include <algorithm>

using namespace brelvo;

TEST(Poller, ReportsReadableSocketsTheWakeSignalAndTheDeadline)
{
    Poller poller;
    WakeSignal wake;
    ASSERT_TRUE(poller.valid());
    ASSERT_EQ(poller.add(wake.fd(), 7), 0);
    const SocketHandle s = openUdpSocket();
    SocketAddress self;
    ASSERT_TRUE(bindSocket(s, addressFromText("127.0.0.1"), 0) == 0 && socketName(s, &self) == 0);
    ASSERT_EQ(poller.add(s, 42), 0);
    std::vector<uint64_t> ready{99};
    EXPECT_EQ(poller.wait(monotonicNs() - 1, ready), 0) << "a deadline already past only polls";
    EXPECT_TRUE(ready.empty());
    // Each stretch of a wait: the counter alone, a timer first, a socket wait first.
    for (int64_t distance : {200000, 700000, 3000000}) {
        const int64_t deadline = monotonicNs() + distance;
        EXPECT_EQ(poller.wait(deadline, ready), 0);
        EXPECT_GE(monotonicNs(), deadline) << distance;
    }
    ASSERT_EQ(sendTo(s, "x", 1, self), 1);
    wake.raise();
    wake.raise();
    EXPECT_EQ(poller.wait(INT64_MAX, ready), 2);
    std::sort(ready.begin(), ready.end());
    EXPECT_EQ(ready, (std::vector<uint64_t>{7, 42}));
    wake.clear();
    char c;
    ASSERT_EQ(receiveNow(s, &c, 1, nullptr), 1);
    EXPECT_EQ(poller.wait(monotonicNs(), ready), 0) << "a taken signal is quiet";
    EXPECT_EQ(poller.remove(s), 0);
    EXPECT_EQ(poller.remove(s), -1);
    closeSocket(s);
}
