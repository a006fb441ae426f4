// SPDX-License-Identifier: MIT
// Who holds UDP 3281, read from prepared copies of the kernel's tables:
// malformed lines are skipped, never misread.
#include "EngineTestSupport.h"
#include "platform/UdpPortHolders.h"

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

