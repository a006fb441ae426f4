// SPDX-License-Identifier: MIT
// What the tool sends, byte for byte: a device reads these fields at fixed
// offsets, so a shifted or mis-ordered field is a failed update.
#include "platform/AddressText.h"
#include "protocol/WireFormat.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace brelvo;
using Bytes = std::vector<uint8_t>;

namespace {
Bytes withHeader(std::initializer_list<uint8_t> rest)
{
    Bytes b{'u', 'p', 'd', ':'};
    b.insert(b.end(), rest);
    return b;
}
} // namespace

TEST(WireFormat, OfferSizeEndAndBlock)
{
    uint8_t out[1040];
    size_t n = wire::encodeOffer(out, addressFromText("192.168.1.200"), addressFromText("192.168.1.10"),
                                 hostToNet16(0xC350));
    EXPECT_EQ(Bytes(out, out + n), withHeader({1, 0, 0, 0, 0, 0, 0, 10, 192, 168, 1, 200, 192, 168, 1, 10, 0xC3, 0x50}));
    // Read back as another tool's would be; short, mistyped or foreign datagrams are none.
    uint32_t lent = 0, tool = 0;
    uint16_t port = 0;
    ASSERT_TRUE(wire::decodeOffer(out, n, &lent, &tool, &port));
    EXPECT_TRUE(lent == addressFromText("192.168.1.200") && tool == addressFromText("192.168.1.10") &&
                port == hostToNet16(0xC350));
    EXPECT_FALSE(wire::decodeOffer(out, n - 1, &lent, &tool, &port));
    for (size_t at : {0u, 4u}) {
        Bytes other(out, out + n);
        other[at] ^= 1;
        EXPECT_FALSE(wire::decodeOffer(other.data(), other.size(), &lent, &tool, &port)) << at;
    }
    n = wire::encodeSize(out, 2048);
    EXPECT_EQ(Bytes(out, out + n), withHeader({3, 0, 0, 0, 0, 0, 0, 8, 0, 0, 8, 0, 0, 0, 4, 0}));
    n = wire::encodeEnd(out, 0x01020304u, 3);
    EXPECT_EQ(Bytes(out, out + n), withHeader({6, 0, 0, 0, 0, 0, 0, 5, 1, 2, 3, 4, 3}));

    // The last block of a 1025-byte image: one byte, then zeros however
    // stale the buffer was; a block wholly past the end (also where
    // index * 1024 overflows 32 bits) is all zeros.
    Bytes image(1025, 0x5C);
    image[1024] = 0xEE;
    for (uint32_t index : {1u, 7u, 0x00400000u}) {
        std::memset(out, 0xAA, sizeof out);
        ASSERT_EQ(wire::encodeBlock(out, index, image.data(), image.size()), 1040u);
        EXPECT_EQ(Bytes(out, out + 12), withHeader({5, 0, 0, 0, 0, 0, 4, 4}));
        EXPECT_EQ(wire::readBe32(out + 12), index);
        Bytes want(1024, 0);
        want[0] = index == 1 ? 0xEE : 0;
        EXPECT_EQ(Bytes(out + 16, out + 1040), want) << index;
    }
}
