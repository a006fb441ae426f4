// SPDX-License-Identifier: MIT
// The neighbour table as the resolver reads it: only complete entries with
// a well-formed six-byte hardware address count.
#include "EngineTestSupport.h"
#include "platform/AddressText.h"
#include "platform/NeighbourTable.h"

using namespace brelvo;

TEST(NeighbourTable, CompleteEntriesOnly)
{
    const std::vector<Neighbour> got = parseNeighbourTable(
        "IP address       HW type     Flags       HW address            Mask     Device\n"
        "10.213.7.50      0x1         0x2         02:00:0a:d5:07:32     *        vt\n"
        "10.213.7.51      0x1         0x6         AA:BB:CC:DD:EE:FF     *        vt\n" // permanent, upper case
        "10.213.7.52      0x1         0x0         00:00:00:00:00:00     *        vt\n" // incomplete
        "10.213.7.61      0x1         0x0         02:00:0a:d5:07:3d     *        vt\n" // failed, address kept
        "10.213.7.53      0x1         0x2         00:00:00:00:00:00     *        vt\n"
        "10.213.7.54      0x20        0x2         80:00:02:08:fe:80:00:00:00:00:00:00:00:02:c9:03:00:0a:2d:e1 * ib0\n"
        "10.213.7.55      0x1         0x2         02:00:0a:d5:07        *        vt\n"
        "10.213.7.56      0x1         0x2         02-00-0a-d5-07-38     *        vt\n"
        "10.213.7.57      0x1         0x2         02:00:0a:d5:07:3g     *        vt\n"
        "10.213.7.258     0x1         0x2         02:00:0a:d5:07:39     *        vt\n"
        "10.213.7.59      0x1         0xZ         02:00:0a:d5:07:3b     *        vt\n"
        "10.213.7.60      0x1\n");
    std::vector<std::string> seen;
    for (const Neighbour& n : got)
        seen.push_back(addressToText(n.address) + " " + macText(n.mac));
    EXPECT_EQ(seen, (std::vector<std::string>{"10.213.7.50 02:00:0a:d5:07:32", "10.213.7.51 aa:bb:cc:dd:ee:ff"}));
    EXPECT_EQ(macText(0), "");
    EXPECT_TRUE(parseNeighbourTable("10.213.7.50 0x1 0x2 02:00:0a:d5:07:32 * vt\n").empty()) << "the titles' line";
    std::vector<Neighbour> system;
    EXPECT_TRUE(readNeighbourTable(&system));
}
