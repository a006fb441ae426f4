// SPDX-License-Identifier: MIT
// The transfer thread's wait: readiness and the wake signal by their
// tokens, and a deadline never anticipated (a block sent early breaks the
// pacing).
#include "EngineTestSupport.h"
#include "platform/Poller.h"

#include <algorithm>

using namespace brelvo;

TEST(Poller, ReportsReadableDescriptorsTheWakeSignalAndTheDeadline)
{
    Poller poller;
    WakeSignal wake;
    ASSERT_TRUE(poller.valid());
    ASSERT_EQ(poller.add(wake.fd(), 7), 0);
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    ASSERT_EQ(poller.add(pipeFds[0], 42), 0);
    std::vector<uint64_t> ready{99};
    EXPECT_EQ(poller.wait(monotonicNs() - 1, ready), 0) << "a deadline already past only polls";
    EXPECT_TRUE(ready.empty());
    const int64_t deadline = monotonicNs() + 3000000;
    EXPECT_EQ(poller.wait(deadline, ready), 0);
    EXPECT_GE(monotonicNs(), deadline);
    ASSERT_EQ(::write(pipeFds[1], "x", 1), 1);
    wake.raise();
    wake.raise();
    EXPECT_EQ(poller.wait(INT64_MAX, ready), 2);
    std::sort(ready.begin(), ready.end());
    EXPECT_EQ(ready, (std::vector<uint64_t>{7, 42}));
    wake.clear();
    char c;
    ASSERT_EQ(::read(pipeFds[0], &c, 1), 1);
    EXPECT_EQ(poller.wait(monotonicNs(), ready), 0) << "a taken signal is quiet";
    EXPECT_EQ(poller.remove(pipeFds[0]), 0);
    EXPECT_EQ(poller.remove(pipeFds[0]), -1);
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
}
