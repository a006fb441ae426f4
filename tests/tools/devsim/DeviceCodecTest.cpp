// SPDX-License-Identifier: MIT
// The device's side of the protocol, byte for byte.
#include "DeviceCodec.h"

#include <gtest/gtest.h>

using namespace devsim;
using Msg = std::vector<uint8_t>;

TEST(DeviceCodec, WritesTheDeviceMessagesByteForByte)
{
    auto hdr = [](uint8_t type, uint8_t length, Msg tail = {}) {
        tail.insert(tail.begin(), {'u', 'p', 'd', ':', type, 0, 0, 0, 0, 0, 0, length});
        return tail;
    };
    const std::vector<std::pair<Msg, Msg>> cases = {
        {encodeRequest("AB1"), hdr(0, 3, {'A', 'B', '1'})},
        {encodeRequest(std::string(63, 'x')), [&] { Msg m = hdr(0, 63); m.resize(75, 'x'); return m; }()},
        {encodeRequest(std::string(64, 'x')), {}}, // longer than a device can announce
        {encodeReady(), hdr(2, 0)},
        {encodeBlockAck(0x01020304), hdr(4, 4, {1, 2, 3, 4})},
        {encodeWriteProgress(7, 0x100), hdr(8, 8, {0, 0, 0, 7, 0, 0, 1, 0})},
        {encodeResult(TypeWriteFailed), hdr(10, 0)},
    };
    for (size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(cases[i].first, cases[i].second) << "case " << i;
}
