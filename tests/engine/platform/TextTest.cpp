#include "platform/AddressText.h"
#include "platform/Text.h"

#include <gtest/gtest.h>

using namespace brelvo;

TEST(Text, MidGivesFewerNearTheEndAndNothingBeyond)
{
    EXPECT_EQ(mid("kvx_ABCDEFG.bin", 4, 7), "ABCDEFG");
    EXPECT_EQ(mid("kvx_ABC", 4, 7), "ABC");
    EXPECT_EQ(mid("kvx_", 4, 7), "");
    EXPECT_EQ(mid("kvx", 4, 7), "");
    EXPECT_EQ(mid("product=X", 8), "X");
}

TEST(Text, ReplaceAllIsNonOverlappingLeftToRight)
{
    std::string s = "aaaa";
    EXPECT_EQ(replaceAll(s, "aa", "b"), 2);
    EXPECT_EQ(s, "bb");
    s = "aaa";
    EXPECT_EQ(replaceAll(s, "aa", "b"), 1);
    EXPECT_EQ(s, "ba");
    // The replacement is not searched again.
    s = "/fw.bin/x.bin";
    EXPECT_EQ(replaceAll(s, ".bin", "-ver.bin"), 2);
    EXPECT_EQ(s, "/fw-ver.bin/x-ver.bin");
    s = "x.BIN";
    EXPECT_EQ(replaceAll(s, ".bin", "-ver.bin"), 0);
    EXPECT_EQ(s, "x.BIN");
    s = "abc";
    EXPECT_EQ(replaceAll(s, "", "z"), 0);
    EXPECT_EQ(s, "abc");
}

TEST(Text, PrefixTests)
{
    EXPECT_TRUE(startsWith("product=A", "product="));
    EXPECT_FALSE(startsWith("PRODUCT=A", "product="));
    EXPECT_FALSE(startsWith("prod", "product="));
    EXPECT_TRUE(startsWithNoCase("CheckSum=1", "checksum="));
    EXPECT_TRUE(startsWithNoCase("KVX_a", "kvx"));
    EXPECT_FALSE(startsWithNoCase("kv", "kvx"));
    EXPECT_FALSE(startsWithNoCase("kvy_a", "kvx"));
}

TEST(Text, ParseUnsigned32FollowsStrtoulBaseZero)
{
    EXPECT_EQ(parseUnsigned32("1234"), 1234u);
    EXPECT_EQ(parseUnsigned32("0x1A2b"), 0x1A2Bu);
    EXPECT_EQ(parseUnsigned32("0XFF"), 0xFFu);
    EXPECT_EQ(parseUnsigned32("017"), 15u);
    EXPECT_EQ(parseUnsigned32("019"), 1u);          // 9 is not octal: stops there
    EXPECT_EQ(parseUnsigned32("  \t42abc"), 42u);  // leading space skipped
    EXPECT_EQ(parseUnsigned32("4294967295"), 0xFFFFFFFFu);
    EXPECT_EQ(parseUnsigned32("4294967296"), 0xFFFFFFFFu); // beyond 32 bits
    EXPECT_EQ(parseUnsigned32("0x1FFFFFFFF"), 0xFFFFFFFFu);
    EXPECT_EQ(parseUnsigned32("99999999999999999999999"), 0xFFFFFFFFu);
    EXPECT_EQ(parseUnsigned32("-1"), 0xFFFFFFFFu);
    EXPECT_EQ(parseUnsigned32("-2"), 0xFFFFFFFEu);
    EXPECT_EQ(parseUnsigned32("+7"), 7u);
    EXPECT_EQ(parseUnsigned32(""), 0u);
    EXPECT_EQ(parseUnsigned32("abc"), 0u);
    EXPECT_EQ(parseUnsigned32("0x"), 0u);
    EXPECT_EQ(parseUnsigned32("0xg"), 0u);
    EXPECT_EQ(parseUnsigned32("12\r"), 12u);
}

TEST(AddressText, InvalidOrEmptyTextGivesAllOnes)
{
    EXPECT_EQ(addressFromText(""), 0xFFFFFFFFu);
    EXPECT_EQ(addressFromText("not an address"), 0xFFFFFFFFu);
    EXPECT_EQ(addressFromText("300.1.1.1"), 0xFFFFFFFFu);
}

TEST(AddressText, DottedTextRoundTripsInNetworkOrder)
{
    const uint32_t a = addressFromText("192.168.1.200");
    const uint8_t* b = reinterpret_cast<const uint8_t*>(&a);
    EXPECT_EQ(b[0], 192);
    EXPECT_EQ(b[1], 168);
    EXPECT_EQ(b[2], 1);
    EXPECT_EQ(b[3], 200);
    EXPECT_EQ(addressToText(a), "192.168.1.200");
    EXPECT_EQ(addressToText(0), "0.0.0.0");
    EXPECT_EQ(addressToText(0xFFFFFFFFu), "255.255.255.255");
    EXPECT_EQ(netToHost16(hostToNet16(3281)), 3281);
    const uint16_t p = hostToNet16(0xC350);
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(&p)[0], 0xC3);
}
