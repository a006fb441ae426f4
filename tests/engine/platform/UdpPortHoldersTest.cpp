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

    std::vector<std::string> holders; // address, owner, then each process: pid, name, [command line]
    for (const auto& h : findUdpPortHolders(3281, proc.path())) {
        holders.push_back(h.local + " uid " + std::to_string(h.uid));
        for (const auto& p : h.processes)
            holders.back() += " | " + std::to_string(p.pid) + " " + p.comm + " [" + p.commandLine + "]";
    }
    EXPECT_EQ(holders, (std::vector<std::string>{"127.0.0.1:3281 uid 1000 | 10 holder [holder --port 3281]",
                                                 "[::]:3281 uid 7 | 11 v6 []", // hidden: no cmdline file
                                                 "[::ffff:127.0.0.1]:3281 uid 7"}));

    EXPECT_TRUE(findUdpPortHolders(9, proc.path()).empty());
    EXPECT_TRUE(findUdpPortHolders(3281, proc.file("missing")).empty());
}

