// The port a job is given must be free for the job's own UDP socket. Jobs
// linger for 40 s after their device's last message, so a busy server holds
// many UDP ports; a port probed in another protocol's space can be one of
// them, and that job then fails to bind (code 11) and never sends its Offer.
//
// The namespace's ephemeral range is narrowed to four ports, three of which
// are taken by UDP sockets, so a wrong probe shows at once.

#include "Harness.h"

#include "platform/AddressText.h"
#include "platform/Socket.h"
#include "server/FreePort.h"

#include <fstream>

using namespace brelvo;
using namespace reliability;

TEST(Ports, ProbedPortIsFreeForUdp)
{
    const NetnsEnv env = NetnsEnv::fromEnvironment();
    if (!env.usable())
        GTEST_SKIP() << "needs a private network namespace: " << env.skipReason;
    const char* rangeFile = "/proc/sys/net/ipv4/ip_local_port_range";
    std::string saved;
    {
        std::ifstream in(rangeFile);
        std::getline(in, saved);
    }
    {
        std::ofstream out(rangeFile);
        out << "40000 40003\n";
        if (!out.flush())
            GTEST_SKIP() << "cannot narrow the ephemeral port range in this namespace";
    }
    std::vector<SocketHandle> held;
    for (uint16_t p = 40000; p <= 40002; ++p) {
        SocketHandle s = openUdpSocket();
        ASSERT_NE(s, kInvalidSocket);
        ASSERT_EQ(bindSocket(s, 0, hostToNet16(p)), 0) << p;
        held.push_back(s);
    }
    for (int i = 0; i < 24; ++i) {
        const uint16_t port = findFreePort();
        ASSERT_NE(port, 0xFFFF);
        SocketHandle s = openUdpSocket();
        EXPECT_EQ(bindSocket(s, 0, port), 0)
            << "probe " << i << " gave port " << netToHost16(port) << ", already taken for UDP";
        closeSocket(s);
    }
    for (SocketHandle s : held)
        closeSocket(s);
    std::ofstream(rangeFile) << saved << "\n";
}
