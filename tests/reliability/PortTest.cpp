// A job's port must be free for its own UDP socket, also when lingering jobs
// hold most of a narrow ephemeral range (probing another protocol's space
// would hand out a taken port and the job would fail with code 11).

#include "Harness.h"

#include "platform/AddressText.h"
#include "platform/Socket.h"
#include "server/FreePort.h"

#include <fstream>

using namespace reliability;

TEST(Ports, ProbedPortIsFreeForUdp)
{
    const NetnsEnv env = NetnsEnv::fromEnvironment();
    if (!env.usable())
        GTEST_SKIP() << "needs a private network namespace: " << env.skipReason;
    const char* rangeFile = "/proc/sys/net/ipv4/ip_local_port_range";
    std::string saved;
    std::getline(std::ifstream(rangeFile), saved);
    if (!(std::ofstream(rangeFile) << "40000 40003\n").flush())
        GTEST_SKIP() << "cannot narrow the ephemeral port range in this namespace";
    std::vector<SocketHandle> held;
    for (uint16_t p = 40000; p <= 40002; ++p) {
        held.push_back(openUdpSocket());
        ASSERT_EQ(bindSocket(held.back(), 0, hostToNet16(p)), 0) << p;
    }
    for (int i = 0; i < 24; ++i) {
        const uint16_t port = findFreePort();
        SocketHandle s = openUdpSocket();
        EXPECT_EQ(bindSocket(s, 0, port), 0) << "probe " << i << " gave taken port " << netToHost16(port);
        closeSocket(s);
    }
    for (SocketHandle s : held)
        closeSocket(s);
    std::ofstream(rangeFile) << saved << "\n";
}
