// The simulator's own reading of the wire format: it must accept exactly the
// messages the tool is meant to send and point out everything else.

#include "DeviceCodec.h"

#include <gtest/gtest.h>

#include <vector>

using namespace devsim;

namespace {

std::vector<uint8_t> bytes(std::initializer_list<int> v)
{
    std::vector<uint8_t> out;
    for (int b : v)
        out.push_back(uint8_t(b));
    return out;
}

std::vector<uint8_t> frame(uint8_t type, uint32_t length, size_t total)
{
    std::vector<uint8_t> m(total, 0);
    m[0] = 'u';
    m[1] = 'p';
    m[2] = 'd';
    m[3] = ':';
    m[4] = type;
    writeBE32(m.data() + 8, length);
    return m;
}

const std::vector<uint8_t> kOfferExample = bytes({0x75, 0x70, 0x64, 0x3A, 0x01, 0, 0, 0, 0, 0, 0, 0x0A, 0xC0, 0xA8,
                                                  0x01, 0xC8, 0xC0, 0xA8, 0x01, 0x0A, 0xC3, 0x50});

} // namespace

TEST(DevsimCodec, RequestAndDeviceMessagesHaveTheDocumentedBytes)
{
    EXPECT_EQ(encodeRequest("ABCDEFG"),
              bytes({'u', 'p', 'd', ':', 0, 0, 0, 0, 0, 0, 0, 7, 'A', 'B', 'C', 'D', 'E', 'F', 'G'}));
    EXPECT_EQ(encodeRequest(""), bytes({'u', 'p', 'd', ':', 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(encodeReady(), bytes({'u', 'p', 'd', ':', 2, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(encodeBlockAck(0x01020304),
              bytes({'u', 'p', 'd', ':', 4, 0, 0, 0, 0, 0, 0, 4, 1, 2, 3, 4}));
    EXPECT_EQ(encodeWriteProgress(50, 200),
              bytes({'u', 'p', 'd', ':', 8, 0, 0, 0, 0, 0, 0, 8, 0, 0, 0, 50, 0, 0, 0, 200}));
    EXPECT_EQ(encodeResult(TypeWriteComplete), bytes({'u', 'p', 'd', ':', 9, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(DevsimCodec, MessageTypeNeedsMagicAndAWholeHeader)
{
    auto ready = encodeReady();
    EXPECT_EQ(messageType(ready.data(), ready.size()), 2);
    EXPECT_EQ(messageType(ready.data(), 11), -1);
    ready[0] = 'U';
    EXPECT_EQ(messageType(ready.data(), ready.size()), -1);
    EXPECT_EQ(messageType(nullptr, 12), -1);
}

TEST(DevsimCodec, OfferExampleDecodesAndEveryDeviationIsNamed)
{
    Offer o;
    ASSERT_EQ(decodeOffer(kOfferExample.data(), kOfferExample.size(), o), "");
    EXPECT_EQ(addressText(o.lentAddr), "192.168.1.200");
    EXPECT_EQ(addressText(o.toolAddr), "192.168.1.10");
    EXPECT_EQ(o.jobPort, 0xC350);

    auto shortOne = kOfferExample;
    shortOne.pop_back();
    EXPECT_NE(decodeOffer(shortOne.data(), shortOne.size(), o), "");
    auto longOne = kOfferExample;
    longOne.push_back(0);
    EXPECT_NE(decodeOffer(longOne.data(), longOne.size(), o), "");
    auto badLength = kOfferExample;
    badLength[11] = 11;
    EXPECT_NE(decodeOffer(badLength.data(), badLength.size(), o).find("length field"), std::string::npos);
    auto reserved = kOfferExample;
    reserved[6] = 1;
    EXPECT_NE(decodeOffer(reserved.data(), reserved.size(), o).find("bytes 5..7"), std::string::npos);
    auto type = kOfferExample;
    type[4] = 3;
    EXPECT_NE(decodeOffer(type.data(), type.size(), o), "");
    auto noPort = kOfferExample;
    noPort[20] = noPort[21] = 0xFF;
    EXPECT_NE(decodeOffer(noPort.data(), noPort.size(), o), "");
}

TEST(DevsimCodec, SizeNeedsLengthEightAndBlockSize1024)
{
    auto size = bytes({0x75, 0x70, 0x64, 0x3A, 0x03, 0, 0, 0, 0, 0, 0, 0x08, 0, 0, 0x08, 0, 0, 0, 0x04, 0});
    SizeInfo s;
    ASSERT_EQ(decodeSize(size.data(), size.size(), s), "");
    EXPECT_EQ(s.imageLength, 2048u);
    EXPECT_EQ(s.blockCount(), 2u);
    s.imageLength = 2049;
    EXPECT_EQ(s.blockCount(), 3u);
    s.imageLength = 0;
    EXPECT_EQ(s.blockCount(), 0u);

    auto other = size;
    other[18] = 0x02; // block size 512
    EXPECT_NE(decodeSize(other.data(), other.size(), s), "");
    other = size;
    other[11] = 9;
    EXPECT_NE(decodeSize(other.data(), other.size(), s), "");
    EXPECT_NE(decodeSize(size.data(), 19, s), "");
}

TEST(DevsimCodec, BlockChecksLengthFieldSizeAndIndex)
{
    auto block = frame(TypeBlock, 1028, 1040);
    writeBE32(block.data() + 12, 2);
    block[16] = 0xAB;
    Block b;
    ASSERT_EQ(decodeBlock(block.data(), block.size(), 3, b), "");
    EXPECT_EQ(b.index, 2u);
    EXPECT_EQ(b.bytes[0], 0xAB);

    EXPECT_NE(decodeBlock(block.data(), block.size(), 2, b).find("beyond"), std::string::npos);
    auto wrongField = block;
    writeBE32(wrongField.data() + 8, 1024);
    EXPECT_NE(decodeBlock(wrongField.data(), wrongField.size(), 3, b).find("length field"), std::string::npos);
    EXPECT_NE(decodeBlock(block.data(), 1039, 3, b), "");
    auto top = block;
    writeBE32(top.data() + 12, 0x80000001u);
    EXPECT_NE(decodeBlock(top.data(), top.size(), 3, b), "");
}

TEST(DevsimCodec, EndExampleDecodesShortOrStrangeEndsDoNot)
{
    auto end = bytes({0x75, 0x70, 0x64, 0x3A, 0x06, 0, 0, 0, 0, 0, 0, 0x05, 1, 2, 3, 4, 3});
    EndInfo e;
    ASSERT_EQ(decodeEnd(end.data(), end.size(), e), "");
    EXPECT_EQ(e.checksum, 0x01020304u);
    EXPECT_EQ(e.options, 3);
    EXPECT_NE(decodeEnd(end.data(), 16, e), "");
    auto opts = end;
    opts[16] = 4;
    EXPECT_NE(decodeEnd(opts.data(), opts.size(), e), "");
    auto field = end;
    field[11] = 4;
    EXPECT_NE(decodeEnd(field.data(), field.size(), e), "");
}

TEST(DevsimCodec, WordSumIsLittleEndianOverWholeWords)
{
    auto b = bytes({1, 0, 0, 0, 0, 0, 0, 1, 0xFF});
    EXPECT_EQ(wordSum(b.data(), b.size()), 0x01000001u);
    auto wrap = bytes({0xFF, 0xFF, 0xFF, 0xFF, 0x02, 0, 0, 0});
    EXPECT_EQ(wordSum(wrap.data(), wrap.size()), 1u);
    EXPECT_EQ(wordSum(wrap.data(), 3), 0u);
}

TEST(DevsimCodec, AddressesParseStrictly)
{
    uint32_t a = 0;
    EXPECT_TRUE(parseAddress("10.213.7.50", a));
    EXPECT_EQ(a, 0x0AD50732u);
    EXPECT_EQ(addressText(a), "10.213.7.50");
    for (const char* bad : {"", "10.213.7", "10.213.7.256", "10.213.7.5x", "a.b.c.d", "1.2.3.4.5", " 1.2.3.4"})
        EXPECT_FALSE(parseAddress(bad, a)) << bad;
}
