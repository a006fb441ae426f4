#include "TempDir.h"
#include "server/FirmwareMatch.h"
#include "server/UpdateRequest.h"
#include "server/WireFormat.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace brelvo;
using brelvo_test::TempDir;

namespace {

std::vector<uint8_t> request(const std::string& code, int type = 0, const char* magic = "upd:",
                             int64_t declared = -1)
{
    std::vector<uint8_t> d(12 + code.size(), 0);
    std::memcpy(d.data(), magic, 4);
    d[4] = static_cast<uint8_t>(type);
    wire::writeBe32(d.data() + 8, static_cast<uint32_t>(declared < 0 ? code.size() : declared));
    std::memcpy(d.data() + 12, code.data(), code.size());
    return d;
}

struct Parsed {
    int result;
    int type;
    std::string code;
    bool fieldTailUntouched;
};

Parsed parse(const std::vector<uint8_t>& d, int received = -1)
{
    char field[wire::kProductCodeField + 8];
    std::memset(field, 0, wire::kProductCodeField);
    std::memset(field + wire::kProductCodeField, 0x7E, 8); // guard bytes
    int type = 0;
    Parsed p;
    p.result = parseUpdateRequest(d.data(), received < 0 ? static_cast<int>(d.size()) : received, &type, field);
    p.type = type;
    p.code = field;
    p.fieldTailUntouched = true;
    for (int i = 0; i < 8; ++i)
        p.fieldTailUntouched &= field[wire::kProductCodeField + i] == 0x7E;
    return p;
}

} // namespace

TEST(ParseUpdateRequest, AcceptsTheRequestAndReadsTheCode)
{
    Parsed p = parse(request("ABCDEFG"));
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(p.type, 0);
    EXPECT_EQ(p.code, "ABCDEFG");

    // The code ends at the first zero byte inside the payload.
    std::string withZero("ABC\0EFG", 7);
    p = parse(request(withZero));
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(p.code, "ABC");

    // Empty code.
    p = parse(request(""));
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(p.code, "");

    // Other types parse; the caller drops them.
    p = parse(request("ABCDEFG", 1));
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(p.type, 1);
    p = parse(request("ABCDEFG", 0x90));
    EXPECT_EQ(p.type, -112);
}

TEST(ParseUpdateRequest, DropsForeignAndMalformedDatagrams)
{
    EXPECT_EQ(parse(request("ABCDEFG", 0, "UPD:")).result, -1);
    EXPECT_EQ(parse(request("ABCDEFG", 0, "upd;")).result, -1);
    // Shorter than the header.
    EXPECT_EQ(parse(request(""), 11).result, -1);
    EXPECT_EQ(parse(request(""), 3).result, -1);
    // Declared payload runs past the received bytes.
    EXPECT_EQ(parse(request("ABCDEFG", 0, "upd:", 8)).result, -1);
    EXPECT_EQ(parse(request("ABCDEFG", 0, "upd:", 0xFFFFFFFFll)).result, -1);
    EXPECT_EQ(parse(request("ABCDEFG"), 18).result, -1);
    // Missing arguments.
    int type;
    char code[64];
    const auto d = request("A");
    EXPECT_EQ(parseUpdateRequest(nullptr, 13, &type, code), -1);
    EXPECT_EQ(parseUpdateRequest(d.data(), 13, nullptr, code), -1);
    EXPECT_EQ(parseUpdateRequest(d.data(), 13, &type, nullptr), -1);
}

TEST(ParseUpdateRequest, CodeLimitIsSixtyThreeCharacters)
{
    Parsed p = parse(request(std::string(63, 'C')));
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(p.code, std::string(63, 'C'));
    EXPECT_TRUE(p.fieldTailUntouched);

    p = parse(request(std::string(64, 'C')));
    EXPECT_EQ(p.result, -1);
    EXPECT_TRUE(p.fieldTailUntouched);
    p = parse(request(std::string(244, 'C')));
    EXPECT_EQ(p.result, -1);
    EXPECT_TRUE(p.fieldTailUntouched);

    // A long payload whose code ends early is fine.
    p = parse(request(std::string("SHORT\0", 6) + std::string(200, 'x')));
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(p.code, "SHORT");
}

class FirmwareMatch : public ::testing::Test {
protected:
    TempDir dir;
};

TEST_F(FirmwareMatch, MatchesByNameOnImageAndDescriptor)
{
    dir.write("kvx_ABCDEFG.bin", "image bytes\n");
    EXPECT_EQ(findFirmwareImage(dir.path(), "ABCDEFG"), dir.file("kvx_ABCDEFG.bin"));
    EXPECT_EQ(findFirmwareImage(dir.path(), "ABCDEFX"), "");
    EXPECT_EQ(findFirmwareImage(dir.path(), "abcdefg"), ""); // code case matters
}

TEST_F(FirmwareMatch, DescriptorMatchGivesItsImagePath)
{
    dir.write("kvx_HIJKLMN-ver.bin", "checksum=1\n");
    EXPECT_EQ(findFirmwareImage(dir.path(), "HIJKLMN"), dir.file("kvx_HIJKLMN.bin"));
}

TEST_F(FirmwareMatch, ProductLineWithTrailingSpacesMatches)
{
    dir.write("kvx_XXXXXXX-ver.bin", "product=ABCDEFG   \r\nchecksum=0x10\n");
    EXPECT_EQ(findFirmwareImage(dir.path(), "ABCDEFG"), dir.file("kvx_XXXXXXX.bin"));
    // The name still matches its own code even though product= names another.
    EXPECT_EQ(findFirmwareImage(dir.path(), "XXXXXXX"), dir.file("kvx_XXXXXXX.bin"));
}

TEST_F(FirmwareMatch, UppercaseProductKeyIsNotAProductLine)
{
    dir.write("kvx_XXXXXXX-ver.bin", "PRODUCT=ABCDEFG\n");
    EXPECT_EQ(findFirmwareImage(dir.path(), "ABCDEFG"), "");
}

TEST_F(FirmwareMatch, LeadingSpaceInProductIsKept)
{
    dir.write("kvx_XXXXXXX-ver.bin", "product= ABCDEFG\n");
    EXPECT_EQ(findFirmwareImage(dir.path(), "ABCDEFG"), "");
    EXPECT_EQ(findFirmwareImage(dir.path(), " ABCDEFG"), dir.file("kvx_XXXXXXX.bin"));
}

TEST_F(FirmwareMatch, LaterEntryWinsAndDirectoriesAreSkipped)
{
    dir.write("kvx_ABCDEFG_V1.bin", "x");
    dir.write("kvx_ABCDEFG_V2.bin", "x");
    dir.makeDir("kvx_ABCDEFG_V3");
    EXPECT_EQ(findFirmwareImage(dir.path(), "ABCDEFG"), dir.file("kvx_ABCDEFG_V2.bin"));

    TempDir only;
    only.makeDir("kvx_ABCDEFG");
    EXPECT_EQ(findFirmwareImage(only.path(), "ABCDEFG"), "");
}

TEST_F(FirmwareMatch, LaterProductLineWins)
{
    dir.write("kvx_QQQQQQQ-ver.bin", "product=ABCDEFG\nproduct=OTHERXX\n");
    EXPECT_EQ(findFirmwareImage(dir.path(), "ABCDEFG"), "");
    EXPECT_EQ(findFirmwareImage(dir.path(), "OTHERXX"), dir.file("kvx_QQQQQQQ.bin"));
}

TEST_F(FirmwareMatch, EmptyAndLongCodes)
{
    dir.write("kvx_", "x");
    dir.write("KVX.bin", "x"); // listed (prefix case ignored) but its code is "bin"
    EXPECT_EQ(findFirmwareImage(dir.path(), ""), dir.file("kvx_"));

    TempDir d2;
    d2.write("kvx_ZZZZZZZ-ver.bin", "product=\n");
    EXPECT_EQ(findFirmwareImage(d2.path(), ""), d2.file("kvx_ZZZZZZZ.bin"));

    TempDir d3;
    d3.write("kvx_ABCDEFGHIJ.bin", "x");
    EXPECT_EQ(findFirmwareImage(d3.path(), "ABCDEFGHIJ"), "");
    d3.write("kvx_ABCDEFG-ver.bin", "product=ABCDEFGHIJ\n");
    EXPECT_EQ(findFirmwareImage(d3.path(), "ABCDEFGHIJ"), d3.file("kvx_ABCDEFG.bin"));
}

TEST_F(FirmwareMatch, MissingDirectoryMatchesNothing)
{
    EXPECT_EQ(findFirmwareImage(dir.file("absent"), "ABCDEFG"), "");
    EXPECT_EQ(findFirmwareImage(dir.path(), "ABCDEFG"), "");
}

TEST(FirmwareDescriptor, ReadsKeysInAnyOrderLastWins)
{
    TempDir dir;
    const auto p = dir.write("kvx_A-ver.bin", "CHECKSUM= 0x10 \nproduct=P1\nChecksum=22\r\nnoise\n");
    std::string code = "old", checksum = "none";
    EXPECT_EQ(readFirmwareDescriptor(p, code, checksum), 0);
    EXPECT_EQ(code, "P1");
    EXPECT_EQ(checksum, "22");

    code = "keep";
    checksum = "keep";
    EXPECT_EQ(readFirmwareDescriptor(dir.file("missing"), code, checksum), -1);
    EXPECT_EQ(code, "keep");
    EXPECT_EQ(checksum, "keep");
}
