// SPDX-License-Identifier: MIT
// Who may ping without a raw socket, read from net.ipv4.ping_group_range.
#include "EngineTestSupport.h"
#include "platform/ProcessRights.h"

using namespace brelvo;
using brelvo_test::TempDir;

TEST(ProcessRights, PingGroupRangeText)
{
    TempDir dir;
    const struct {
        const char* text;
        bool known;
        uint32_t low, high;
    } cases[] = {{"1\t0\n", true, 1, 0},          {"0\t2147483647\n", true, 0, 2147483647u},
                 {"100 200", true, 100, 200},    {"", false, 1, 0},
                 {"-1 5", false, 1, 0},          {"7", false, 1, 0},
                 {"x y", false, 1, 0},           {"4294967296 1", false, 1, 0}};
    for (const auto& c : cases) {
        const PingGroupRange r = readPingGroupRange(dir.writeText("range", c.text));
        EXPECT_EQ(std::make_tuple(r.known, r.low, r.high), std::make_tuple(c.known, c.low, c.high)) << c.text;
    }
    PingGroupRange closed = readPingGroupRange(dir.writeText("closed", "1 0"));
    EXPECT_FALSE(closed.contains(0) || closed.contains(1));
    PingGroupRange open = readPingGroupRange(dir.writeText("open", "100 200"));
    EXPECT_TRUE(open.contains(100) && open.contains(200));
    EXPECT_FALSE(open.contains(99) || open.contains(201));
    EXPECT_FALSE(PingGroupRange().contains(1));
}

