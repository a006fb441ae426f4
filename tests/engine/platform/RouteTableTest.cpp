// SPDX-License-Identifier: MIT
// The routing table as the check reads it: malformed lines are skipped.
#include "EngineTestSupport.h"
#include "platform/AddressText.h"
#include "platform/RouteTable.h"

using namespace brelvo;
using brelvo_test::TempDir;

TEST(RouteTable, DefaultRoutesAndMalformedLines)
{
    TempDir dir;
    const std::string path = dir.writeText(
        "route",
        "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
        "wlan0\t00000000\t0101A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
        "vt\t0007D50A\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n"
        "down0\t00000000\t00000000\t0000\t0\t0\t0\t00000000\t0\t0\t0\n"     // not RTF_UP
        "bad\tXYZ\t00000000\t0001\t0\t0\t0\t00000000\t0\t0\t0\n"
        "short\t00000000\t00000000\n"
        "neg\t00000000\t00000000\t0001\t0\t0\t-5\t00000000\t0\t0\t0\n"
        "long\t000000000\t00000000\t0001\t0\t0\t0\t00000000\t0\t0\t0\n");
    const auto routes = readIpv4Routes(path);
    ASSERT_EQ(routes.size(), 3u);
    EXPECT_EQ(routes[0].interface, "wlan0");
    EXPECT_TRUE(routes[0].isDefault());
    EXPECT_EQ(addressToText(routes[0].gateway), "192.168.1.1");
    EXPECT_EQ(routes[0].metric, 600);
    EXPECT_FALSE(routes[1].isDefault());
    EXPECT_EQ(addressToText(routes[1].destination), "10.213.7.0");
    EXPECT_FALSE(routes[2].isDefault());
    EXPECT_TRUE(readIpv4Routes(dir.file("missing")).empty());
}

