// SPDX-License-Identifier: MIT
// The routing table as the check reads it: malformed lines are skipped.
#include "EngineTestSupport.h"
#include "platform/AddressText.h"
#include "platform/NetworkInterfaces.h"
#include "platform/RouteTable.h"

using namespace brelvo;
using namespace brelvo_test;

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
    std::vector<std::string> routes;
    for (const Ipv4Route& r : readIpv4RouteFile(path))
        routes.push_back(r.interface + (r.isDefault() ? " default" : " to " + addressToText(r.destination)) + " via " +
                         addressToText(r.gateway) + " metric " + std::to_string(r.metric));
    EXPECT_EQ(routes, (std::vector<std::string>{"wlan0 default via 192.168.1.1 metric 600",
                                                "vt to 10.213.7.0 via 0.0.0.0 metric 0",
                                                "down0 to 0.0.0.0 via 0.0.0.0 metric 0"}));
    EXPECT_TRUE(readIpv4RouteFile(dir.file("missing")).empty());
}


// The system's own table in a private namespace: the /24 of this machine's
// 10.213.9.1 goes, without a gateway, through the card that holds it.
TEST(RouteTable, SystemRoutesNameTheCardOfTheirNetwork)
{
    inPrivateNetns([] {
        answeringBelow(251);
        std::string card;
        for (const InterfaceAddress& a : listIpv4Addresses())
            card = a.address == addressFromText("10.213.9.1") ? a.name : card;
        int found = 0;
        for (const Ipv4Route& r : readIpv4Routes()) {
            if (r.destination != addressFromText("10.213.9.0"))
                continue;
            ++found;
            CHILD_CHECK(r.mask == addressFromText("255.255.255.0") && r.gateway == 0 && !r.isDefault());
            CHILD_CHECK(!card.empty() && r.interface == card);
        }
        CHILD_CHECK(found == 1);
    });
}
