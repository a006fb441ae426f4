// The readers of the kernel's tables the pre-flight check relies on, fed
// with prepared copies: malformed lines are skipped, never misread.
#include "EngineTestSupport.h"
#include "platform/AddressText.h"
#include "platform/NetworkInterfaces.h"
#include "platform/ProcessRights.h"
#include "platform/RouteTable.h"
#include "platform/UdpPortHolders.h"

#include <net/if.h>

using namespace brelvo;
using brelvo_test::TempDir;

namespace {

const char kUdpTitles[] = "   sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt"
                          "   uid  timeout inode ref pointer drops\n";

std::string udpLine(const std::string& local, const std::string& uid, const std::string& inode)
{
    return "  7: " + local + " 00000000:0000 07 00000000:00000000 00:00000000 00000000 " + uid + " 0 " + inode +
           " 2 0000000000000000 0\n";
}

} // namespace

TEST(UdpPortHolders, ReadsBothTablesAndFollowsSocketLinks)
{
    TempDir proc;
    std::filesystem::create_directories(proc.file("net"));
    proc.writeText("net/udp",
                   std::string(kUdpTitles) + udpLine("0100007F:0CD1", "1000", "4242") + // 127.0.0.1:3281
                       udpLine("00000000:0CD2", "0", "4343") +                          // another port
                       udpLine("00000000:0CD1", "0", "0") +                             // no inode: gone
                       udpLine("0000000:0CD1", "0", "4444") +                           // 7 digits
                       udpLine("0000000G:0CD1", "0", "4445") +                          // not hex
                       udpLine("00000000:00CD1", "0", "4446") +                         // port too long
                       udpLine("00000000:0CD1", "-1", "4447") +                         // negative uid
                       udpLine("00000000:0CD1", "99999999999", "4448") +                // uid beyond 32 bits
                       "  9: 00000000:0CD1 truncated\n" + "\n");
    proc.writeText("net/udp6", std::string(kUdpTitles) +
                                   udpLine("00000000000000000000000000000000:0CD1", "7", "5151") +
                                   udpLine("0000000000000000FFFF00000100007F:0CD1", "7", "5152"));
    // Process 10 holds 4242 twice and an unrelated socket; 11 holds 5151; 12
    // has a link that only looks similar; "self" and "abc" are no processes.
    for (const char* dir : {"10/fd", "11/fd", "12/fd", "abc/fd"})
        std::filesystem::create_directories(proc.file(dir));
    const std::pair<const char*, const char*> links[] = {
        {"10/fd/3", "socket:[4242]"}, {"10/fd/4", "socket:[4242]"}, {"10/fd/5", "socket:[999]"},
        {"11/fd/0", "socket:[5151]"}, {"12/fd/1", "socket:[4242"},  {"12/fd/2", "/tmp/socket:[4242]"},
        {"abc/fd/1", "socket:[5152]"}};
    for (const auto& l : links)
        std::filesystem::create_symlink(l.second, proc.file(l.first));
    proc.writeText("10/comm", "holder\n");
    proc.writeText("10/cmdline", std::string("holder\0--port\0" "3281\0", 19));
    proc.writeText("11/comm", "v6\n");

    const auto holders = findUdpPortHolders(3281, proc.path());
    ASSERT_EQ(holders.size(), 3u);
    EXPECT_EQ(holders[0].local, "127.0.0.1:3281");
    EXPECT_EQ(holders[0].uid, 1000u);
    ASSERT_EQ(holders[0].processes.size(), 1u);
    EXPECT_EQ(holders[0].processes[0].pid, 10);
    EXPECT_EQ(holders[0].processes[0].comm, "holder");
    EXPECT_EQ(holders[0].processes[0].commandLine, "holder --port 3281");
    EXPECT_EQ(holders[1].local, "[::]:3281");
    ASSERT_EQ(holders[1].processes.size(), 1u);
    EXPECT_EQ(holders[1].processes[0].pid, 11);
    EXPECT_EQ(holders[1].processes[0].commandLine, ""); // hidden: no cmdline file
    EXPECT_EQ(holders[2].local, "[::ffff:127.0.0.1]:3281");
    EXPECT_TRUE(holders[2].processes.empty());

    EXPECT_TRUE(findUdpPortHolders(9, proc.path()).empty());
    EXPECT_TRUE(findUdpPortHolders(3281, proc.file("missing")).empty());
}

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
        EXPECT_EQ(r.known, c.known) << c.text;
        EXPECT_EQ(r.low, c.low) << c.text;
        EXPECT_EQ(r.high, c.high) << c.text;
    }
    PingGroupRange closed = readPingGroupRange(dir.writeText("closed", "1 0"));
    EXPECT_FALSE(closed.contains(0));
    EXPECT_FALSE(closed.contains(1));
    PingGroupRange open = readPingGroupRange(dir.writeText("open", "100 200"));
    EXPECT_TRUE(open.contains(100) && open.contains(200));
    EXPECT_FALSE(open.contains(99) || open.contains(201));
    EXPECT_FALSE(PingGroupRange().contains(1));
}

TEST(NetworkInterfaces, LinkStateTrustsOnlySysfsOfThisNamespace)
{
    TempDir sys;
    const unsigned lo = if_nametoindex("lo");
    ASSERT_NE(lo, 0u);
    std::filesystem::create_directories(sys.file("lo"));
    sys.writeText("lo/ifindex", std::to_string(lo) + "\n");
    sys.writeText("lo/operstate", "unknown\n");
    sys.writeText("lo/carrier", "1\n");
    LinkState s = readLinkState("lo", sys.path());
    EXPECT_TRUE(s.known);
    EXPECT_EQ(s.operState, "unknown");
    EXPECT_EQ(s.carrier, 1);

    sys.writeText("lo/carrier", "garbage\n"); // or unreadable, as for a switched-off card
    EXPECT_EQ(readLinkState("lo", sys.path()).carrier, -1);
    sys.writeText("lo/ifindex", std::to_string(lo + 1000) + "\n"); // another namespace's "lo"
    EXPECT_FALSE(readLinkState("lo", sys.path()).known);
    for (const char* name : {"", "..", "a/b", "no-such-card"})
        EXPECT_FALSE(readLinkState(name, sys.path()).known) << name;
}

TEST(NetworkInterfaces, ListsLoopbackOfAPrivateNamespace)
{
    brelvo_test::inPrivateNetns([] {
        bool sawLoopback = false;
        for (const InterfaceAddress& a : listIpv4Addresses()) {
            if (a.name == "lo" && addressToText(a.address) == "127.0.0.1") {
                sawLoopback = true;
                CHILD_CHECK(a.loopback && a.up && addressToText(a.netmask) == "255.0.0.0");
            }
        }
        CHILD_CHECK(sawLoopback);
    });
}
