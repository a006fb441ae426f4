// SPDX-License-Identifier: MIT
// The OS side of a device's receive (posix: one recvmmsg; Windows: a loop of
// receives), over loopback only.
#include "DatagramReceiver.h"
#include "DeviceSystem.h"

#include "platform/AddressText.h"
#include "platform/Socket.h"

#include <gtest/gtest.h>

#include <vector>

using namespace devsim;

TEST(DatagramReceiver, TakesEveryQueuedDatagramWholeOrCutWithItsSender)
{
    const uint32_t loopback = brelvo::hostToNet32(0x7F000001);
    brelvo::SocketHandle device = brelvo::openUdpSocket();
    brelvo::SocketHandle tools[2] = {brelvo::openUdpSocket(), brelvo::openUdpSocket()};
    brelvo::SocketAddress to, from[2];
    prepareDeviceSocket(device);
    for (int k = 0; k < 2; ++k)
        ASSERT_EQ(0, brelvo::bindSocket(tools[k], loopback, 0) | brelvo::socketName(tools[k], &from[k]));
    ASSERT_EQ(0, brelvo::bindSocket(device, loopback, 0) | brelvo::socketName(device, &to));
    // Queued before the read, from two senders: each lands in a slot of its
    // own, a longer one cut to the slot.
    const std::vector<size_t> sizes = {1, 17, DatagramReceiver::kSlot, DatagramReceiver::kSlot + 500, 4};
    for (size_t i = 0; i < sizes.size(); ++i)
        ASSERT_EQ(int(sizes[i]), brelvo::sendTo(tools[i % 2], std::vector<uint8_t>(sizes[i], uint8_t(i + 1)).data(),
                                                sizes[i], to));
    ASSERT_EQ(1, brelvo::waitReadable(device, 5, 0));
    auto r = std::make_unique<DatagramReceiver>();
    ASSERT_EQ(sizes.size(), r->read(device));
    for (unsigned i = 0; i < sizes.size(); ++i) {
        const bool cut = sizes[i] > DatagramReceiver::kSlot;
        EXPECT_EQ(cut ? DatagramReceiver::kSlot : sizes[i], r->size(i)) << i;
        EXPECT_EQ(cut, r->truncated(i)) << i;
        EXPECT_EQ(std::vector<uint8_t>(r->size(i), uint8_t(i + 1)),
                  std::vector<uint8_t>(r->data(i), r->data(i) + r->size(i)))
            << i;
        EXPECT_EQ(0x7F000001u, r->fromAddr(i));
        EXPECT_EQ(brelvo::netToHost16(from[i % 2].port), r->fromPort(i)) << i;
    }
    EXPECT_EQ(0u, r->read(device)); // nothing left, and no wait for more
    for (brelvo::SocketHandle s : {device, tools[0], tools[1]})
        brelvo::closeSocket(s);
}
