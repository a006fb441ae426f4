// SPDX-License-Identifier: MIT
// Cards and their link state, trusting only this namespace's sysfs.
#include "EngineTestSupport.h"
#include "platform/NetworkInterfaces.h"

#include <net/if.h>

using namespace brelvo;
using brelvo_test::TempDir;

TEST(NetworkInterfaces, LinkStateTrustsOnlySysfsOfThisNamespace)
{
    TempDir sys;
    const unsigned lo = if_nametoindex("lo");
    ASSERT_NE(lo, 0u);
    std::filesystem::create_directories(sys.file("lo"));
    sys.writeText("lo/ifindex", std::to_string(lo) + "\n");
    sys.writeText("lo/operstate", "unknown\n");
    sys.writeText("lo/carrier", "1\n");
    const LinkState s = readLinkState("lo", sys.path());
    EXPECT_TRUE(s.known && s.operState == "unknown" && s.carrier == 1) << s.operState << " " << s.carrier;

    sys.writeText("lo/carrier", "garbage\n"); // or unreadable, as for a switched-off card
    EXPECT_EQ(readLinkState("lo", sys.path()).carrier, -1);
    sys.writeText("lo/ifindex", std::to_string(lo + 1000) + "\n"); // another namespace's "lo"
    EXPECT_FALSE(readLinkState("lo", sys.path()).known);
    for (const char* name : {"", "..", "a/b", "no-such-card"})
        EXPECT_FALSE(readLinkState(name, sys.path()).known) << name;
}
