#include "PrivateNetns.h"
#include "platform/AddressText.h"
#include "platform/Socket.h"
#include "server/FreeAddressPool.h"
#include "server/FreePort.h"

#include <gtest/gtest.h>

#include <fstream>
#include <vector>

using namespace brelvo;

TEST(FreeAddressPool, LendsInOrderAndTakesBack)
{
    FreeAddressPool pool;
    EXPECT_EQ(lendAddress(pool), 0u); // never swept: empty
    const uint32_t addrs[3] = {addressFromText("10.0.0.5"), addressFromText("10.0.0.9"),
                               addressFromText("10.0.0.200")};
    refillPool(pool, addrs, 3);
    EXPECT_EQ(lendAddress(pool), addrs[0]);
    EXPECT_EQ(lendAddress(pool), addrs[1]);
    returnAddress(pool, addrs[0]);
    EXPECT_EQ(lendAddress(pool), addrs[0]);
    EXPECT_EQ(lendAddress(pool), addrs[2]);
    EXPECT_EQ(lendAddress(pool), 0u); // all lent
    returnAddress(pool, 0);           // matches nothing
    returnAddress(pool, addressFromText("10.0.0.77"));
    EXPECT_EQ(lendAddress(pool), 0u);
    returnAddress(pool, addrs[2]);
    EXPECT_EQ(lendAddress(pool), addrs[2]);
}

TEST(FreeAddressPool, FailedSweepCountsAsEmptyAndRefillClearsLentFlags)
{
    FreeAddressPool pool;
    const uint32_t a[1] = {addressFromText("10.0.0.5")};
    refillPool(pool, a, 1);
    EXPECT_EQ(lendAddress(pool), a[0]);
    refillPool(pool, a, -1);
    EXPECT_EQ(pool.count, -1);
    EXPECT_EQ(lendAddress(pool), 0u);
    refillPool(pool, a, 1); // a new sweep: nothing lent
    EXPECT_EQ(lendAddress(pool), a[0]);
    pool.count = 10000;     // a broken count never reads past the table
    for (int i = 0; i < FreeAddressPool::kCapacity; ++i)
        lendAddress(pool);
    EXPECT_EQ(lendAddress(pool), 0u);
}

TEST(FindFreePort, GivesAPortThatCanBeBoundInNetworkOrder)
{
    const uint16_t port = findFreePort();
    ASSERT_NE(port, 0xFFFF);
    ASSERT_NE(port, 0);
    // Ephemeral ports are at least 1024 in host order: a sign the value was
    // not byte-swapped.
    EXPECT_GE(netToHost16(port), 1024);
    SocketHandle s = openUdpSocket();
    EXPECT_EQ(bindSocket(s, addressFromText("127.0.0.1"), port), 0);
    SocketAddress bound;
    EXPECT_EQ(socketName(s, &bound), 0);
    EXPECT_EQ(bound.port, port);
    closeSocket(s);
}

TEST(FindFreePort, SkipsNumbersTakenForUdpOrHandedOut)
{
    EXPECT_CHILD_PASSES(brelvo_test::runInPrivateNetns([] {
        // Four ephemeral ports; UDP sockets hold the first three.
        {
            std::ofstream out("/proc/sys/net/ipv4/ip_local_port_range");
            out << "40000 40003\n";
            if (!out.flush())
                brelvo_test::childSkip("cannot narrow the ephemeral port range");
        }
        std::vector<SocketHandle> held;
        for (uint16_t p = 40000; p <= 40002; ++p) {
            SocketHandle s = openUdpSocket();
            CHILD_CHECK(bindSocket(s, 0, hostToNet16(p)) == 0);
            held.push_back(s);
        }
        for (int i = 0; i < 8; ++i)
            CHILD_CHECK(findFreePort() == hostToNet16(40003));
        // Handed to a job that has not bound it yet: nothing is left.
        CHILD_CHECK(findFreePortExcluding({hostToNet16(40003)}) == 0xFFFF);
        closeSocket(held[1]);
        held[1] = kInvalidSocket;
        CHILD_CHECK(findFreePortExcluding({hostToNet16(40003)}) == hostToNet16(40001));
        for (SocketHandle s : held)
            closeSocket(s);
    }));
}
