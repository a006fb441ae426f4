// A job's port must be free for its own UDP socket even when lingering jobs
// hold most of a narrow ephemeral range (a probe in another protocol's space
// would hand out a taken port, and that job would fail with code 11).

#include "Harness.h"

#include "platform/AddressText.h"
#include "platform/Socket.h"
#include "server/FreePort.h"

#include <fstream>

TEST(Ports, ProbedPortIsFreeForUdp)
{
    using namespace reliability;
    if (!NetnsEnv::fromEnvironment().usable()) // the range below is the namespace's own
        GTEST_SKIP() << "needs a private network namespace: " << NetnsEnv::fromEnvironment().skipReason;
    const char* rangeFile = "/proc/sys/net/ipv4/ip_local_port_range";
    std::string saved;
    std::getline(std::ifstream(rangeFile), saved);
    if (!(std::ofstream(rangeFile) << "40000 40003\n").flush())
        GTEST_SKIP() << "cannot narrow the ephemeral port range in this namespace";
    std::vector<SocketHandle> held{openUdpSocket(), openUdpSocket(), openUdpSocket()};
    for (uint16_t i = 0; i < 3; ++i)
        ASSERT_EQ(bindSocket(held[i], 0, hostToNet16(40000 + i)), 0);
    for (int i = 0; i < 24; ++i) {
        SocketHandle s = openUdpSocket();
        const uint16_t port = findFreePort();
        EXPECT_EQ(bindSocket(s, 0, port), 0) << "probe " << i << " gave taken port " << netToHost16(port);
        closeSocket(s);
    }
    for (SocketHandle s : held)
        closeSocket(s);
    std::ofstream(rangeFile) << saved << "\n";
}
