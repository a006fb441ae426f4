#include "platform/AddressText.h"
#include "server/WireFormat.h"

#include <gtest/gtest.h>

#include <vector>

using namespace brelvo;

namespace {
std::vector<uint8_t> bytes(std::initializer_list<int> list)
{
    std::vector<uint8_t> v;
    for (int b : list)
        v.push_back(static_cast<uint8_t>(b));
    return v;
}
} // namespace

TEST(WireFormat, OfferByteImage)
{
    uint8_t out[64];
    const size_t n = wire::encodeOffer(out, addressFromText("192.168.1.200"), addressFromText("192.168.1.10"),
                                       hostToNet16(0xC350));
    ASSERT_EQ(n, 22u);
    EXPECT_EQ(std::vector<uint8_t>(out, out + n),
              bytes({0x75, 0x70, 0x64, 0x3A, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0A, 0xC0, 0xA8,
                     0x01, 0xC8, 0xC0, 0xA8, 0x01, 0x0A, 0xC3, 0x50}));
}

TEST(WireFormat, SizeAndEndByteImages)
{
    uint8_t out[64];
    size_t n = wire::encodeSize(out, 2048);
    ASSERT_EQ(n, 20u);
    EXPECT_EQ(std::vector<uint8_t>(out, out + n),
              bytes({0x75, 0x70, 0x64, 0x3A, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00,
                     0x08, 0x00, 0x00, 0x00, 0x04, 0x00}));
    n = wire::encodeEnd(out, 0x01020304u, 3);
    ASSERT_EQ(n, 17u);
    EXPECT_EQ(std::vector<uint8_t>(out, out + n),
              bytes({0x75, 0x70, 0x64, 0x3A, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05, 0x01, 0x02,
                     0x03, 0x04, 0x03}));
}

TEST(WireFormat, BlockCarriesItsSliceOfTheImage)
{
    std::vector<uint8_t> image(4000);
    for (size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<uint8_t>(i * 31 + 7);
    std::vector<uint8_t> out(1040);
    ASSERT_EQ(wire::encodeBlock(out.data(), 2, image.data(), image.size()), 1040u);
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 16),
              bytes({0x75, 0x70, 0x64, 0x3A, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0x04, 0x00, 0x00,
                     0x00, 0x02}));
    EXPECT_EQ(std::vector<uint8_t>(out.begin() + 16, out.end()),
              std::vector<uint8_t>(image.begin() + 2048, image.begin() + 3072));
}

TEST(WireFormat, LastBlockFillerIsZeroNotStaleBuffer)
{
    std::vector<uint8_t> image(1025, 0x5C);
    image[1024] = 0xEE;
    std::vector<uint8_t> out(1040, 0xAA); // stale content from an earlier message
    wire::encodeBlock(out.data(), 1, image.data(), image.size());
    EXPECT_EQ(out[15], 1);
    EXPECT_EQ(out[16], 0xEE);
    for (size_t i = 17; i < out.size(); ++i)
        ASSERT_EQ(out[i], 0) << "filler byte " << i;

    // A block wholly past the image is all filler (a device asking for it
    // gets no stale bytes either).
    std::fill(out.begin(), out.end(), 0xAA);
    wire::encodeBlock(out.data(), 7, image.data(), image.size());
    for (size_t i = 16; i < out.size(); ++i)
        ASSERT_EQ(out[i], 0);
    // An index whose offset overflows 32 bits does not wrap to the start.
    std::fill(out.begin(), out.end(), 0xAA);
    wire::encodeBlock(out.data(), 0x00400000u, image.data(), image.size());
    EXPECT_EQ(out[16], 0);
}

TEST(WireFormat, HeaderReading)
{
    const uint8_t req[] = {'u', 'p', 'd', ':', 0xFF, 9, 9, 9, 0, 0, 1, 2};
    EXPECT_TRUE(wire::hasMagic(req, sizeof req));
    EXPECT_FALSE(wire::hasMagic(req, 3));
    EXPECT_FALSE(wire::hasMagic(nullptr, 12));
    const uint8_t caps[] = {'U', 'P', 'D', ':', 0};
    EXPECT_FALSE(wire::hasMagic(caps, sizeof caps));
    EXPECT_EQ(wire::messageType(req, sizeof req), -1); // top bit set: signed
    EXPECT_EQ(wire::messageType(req, 4), -1);          // no type byte
    EXPECT_EQ(wire::payloadLength(req, sizeof req), 0x0102u);
    EXPECT_EQ(wire::payloadLength(req, 11), 0u);
}

TEST(WireFormat, DecodersRefuseShortMessages)
{
    uint8_t ack[16] = {'u', 'p', 'd', ':', 4, 0, 0, 0, 0, 0, 0, 4, 0x80, 0, 0, 5};
    uint32_t index = 0;
    EXPECT_FALSE(wire::decodeBlockAck(ack, 15, &index));
    ASSERT_TRUE(wire::decodeBlockAck(ack, 16, &index));
    EXPECT_EQ(index, 0x80000005u);

    uint8_t prog[20] = {'u', 'p', 'd', ':', 8, 0, 0, 0, 0, 0, 0, 8, 0, 0, 0, 50, 0, 0, 0, 200};
    uint32_t w = 1, t = 1;
    EXPECT_FALSE(wire::decodeWriteProgress(prog, 19, &w, &t));
    EXPECT_EQ(w, 1u);
    ASSERT_TRUE(wire::decodeWriteProgress(prog, 20, &w, &t));
    EXPECT_EQ(w, 50u);
    EXPECT_EQ(t, 200u);
}
