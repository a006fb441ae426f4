#include "EngineTestSupport.h"
#include "platform/AddressText.h"
#include "server/AddressSweep.h"
#include "firmware/FirmwareMatch.h"
#include "protocol/UpdateRequest.h"

using namespace brelvo;
using brelvo_test::TempDir;

namespace {
using Bytes = std::vector<uint8_t>;
const Bytes kHead = {0x75, 0x70, 0x64, 0x3A};

Bytes cat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
} // namespace

TEST(WireFormat, ByteImagesOfOfferSizeEndAndBlock)
{
    uint8_t out[1040];
    size_t n = wire::encodeOffer(out, addressFromText("192.168.1.200"), addressFromText("192.168.1.10"),
                                 hostToNet16(0xC350));
    EXPECT_EQ(Bytes(out, out + n), cat(kHead, {1, 0, 0, 0, 0, 0, 0, 10, 192, 168, 1, 200, 192, 168, 1, 10, 0xC3, 0x50}));
    n = wire::encodeSize(out, 2048);
    EXPECT_EQ(Bytes(out, out + n), cat(kHead, {3, 0, 0, 0, 0, 0, 0, 8, 0, 0, 8, 0, 0, 0, 4, 0}));
    n = wire::encodeEnd(out, 0x01020304u, 3);
    EXPECT_EQ(Bytes(out, out + n), cat(kHead, {6, 0, 0, 0, 0, 0, 0, 5, 1, 2, 3, 4, 3}));

    // The last block of a 1025-byte image: one byte, then zeros however
    // stale the buffer was; a block wholly past the end is all zeros.
    Bytes image(1025, 0x5C);
    image[1024] = 0xEE;
    for (uint32_t index : {1u, 7u, 0x00400000u}) {
        std::memset(out, 0xAA, sizeof out);
        ASSERT_EQ(wire::encodeBlock(out, index, image.data(), image.size()), 1040u);
        EXPECT_EQ(Bytes(out, out + 12), cat(kHead, {5, 0, 0, 0, 0, 0, 4, 4}));
        EXPECT_EQ(wire::readBe32(out + 12), index);
        Bytes want(1024, 0);
        if (index == 1)
            want[0] = 0xEE;
        EXPECT_EQ(Bytes(out + 16, out + 1040), want) << index;
    }
}

TEST(InternetChecksum, Rfc1071Vectors)
{
    // Read back as the big-endian value the RFC writes.
    auto written = [](const Bytes& b) {
        const uint16_t c = internetChecksum(b.data(), b.size());
        const auto* p = reinterpret_cast<const uint8_t*>(&c);
        return static_cast<uint16_t>(p[0] << 8 | p[1]);
    };
    EXPECT_EQ(written({0x00, 0x01, 0xf2, 0x03, 0xf4, 0xf5, 0xf6, 0xf7}), 0x220d);
    EXPECT_EQ(written({0x00, 0x01, 0xf2}), static_cast<uint16_t>(~(0x0001 + 0xf200)));
    EXPECT_EQ(written(Bytes(4096, 0xFF)), 0); // carries fold back
    uint8_t req[12];
    buildEchoRequest(req, 0x1234, 253, 0xDEADBEEF);
    EXPECT_EQ(internetChecksum(req, sizeof req), 0);
}

TEST(EchoReply, HeaderLengthIsHonouredAndShortMessagesSkipped)
{
    Bytes dgram(28 + 12, 0x01);
    dgram[0] = 0x47; // 8 bytes of options: the message starts at 28
    buildEchoRequest(dgram.data() + 28, 0x4242, 7, 99);
    dgram[28] = 0;
    EchoReply r;
    ASSERT_TRUE(parseEchoReply(dgram.data(), dgram.size(), true, &r));
    EXPECT_EQ(r.type, 0);
    EXPECT_EQ(r.identifier, 0x4242);
    EXPECT_EQ(r.sequence, 7);
    EXPECT_EQ(r.sendTime, 99u);
    EXPECT_FALSE(parseEchoReply(dgram.data(), dgram.size() - 1, true, &r));
    ASSERT_TRUE(parseEchoReply(dgram.data() + 28, 12, false, &r));
    EXPECT_FALSE(parseEchoReply(dgram.data() + 28, 11, false, &r));
    for (uint8_t ihl : {0x44, 0x4F}) { // shorter than 20; longer than the datagram
        dgram[0] = ihl;
        EXPECT_FALSE(parseEchoReply(dgram.data(), dgram.size(), true, &r));
    }
}

TEST(ParseUpdateRequest, DropsWhatIsNotAWellFormedRequest)
{
    auto parse = [](Bytes d, int received = -1, int* type = nullptr) {
        char field[wire::kProductCodeField + 8];
        std::memset(field, 0x7E, sizeof field);
        std::memset(field, 0, wire::kProductCodeField);
        int t = -100;
        const int r = parseUpdateRequest(d.data(), received < 0 ? int(d.size()) : received, &t, field);
        EXPECT_EQ(field[wire::kProductCodeField], 0x7E) << "written past the field";
        if (type)
            *type = t;
        return r == 0 ? std::string(field) : std::string("DROPPED");
    };
    int type = 0;
    EXPECT_EQ(parse(brelvo_test::request("ABCDEFG")), "ABCDEFG");
    EXPECT_EQ(parse(brelvo_test::message(1, {}, "ABCDEFG"), -1, &type), "ABCDEFG");
    EXPECT_EQ(type, 1); // parsed; the caller drops it
    EXPECT_EQ(parse(brelvo_test::message(0, {}, "ABCDEFG", "UPD:")), "DROPPED");
    EXPECT_EQ(parse(brelvo_test::request(std::string("AB\0CD", 5))), "AB");
    EXPECT_EQ(parse(brelvo_test::request(std::string(63, 'C'))), std::string(63, 'C'));
    EXPECT_EQ(parse(brelvo_test::request(std::string(64, 'C'))), "DROPPED");
    EXPECT_EQ(parse(brelvo_test::request("ABCDEFG"), 18), "DROPPED"); // 12 + L > received
    EXPECT_EQ(parse(brelvo_test::request(""), 11), "DROPPED");
    Bytes huge = brelvo_test::request("ABCDEFG");
    wire::writeBe32(huge.data() + 8, 0xFFFFFFF5u); // 12 + L wraps in 32 bits
    EXPECT_EQ(parse(huge), "DROPPED");
}

TEST(FirmwareMatch, EdgeCases)
{
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, std::string>> files; // name, content ("/" = folder)
        std::string code;
        std::string want; // file name, "" for none
    };
    const Case cases[] = {
        {"name", {{"kvx_ABCDEFG.bin", "img\n"}}, "ABCDEFG", "kvx_ABCDEFG.bin"},
        {"code case counts", {{"kvx_ABCDEFG.bin", "x"}}, "abcdefg", ""},
        {"-ver.bin names its image", {{"kvx_HIJKLMN-ver.bin", "checksum=1\n"}}, "HIJKLMN", "kvx_HIJKLMN.bin"},
        {"trailing spaces", {{"kvx_XXXXXXX-ver.bin", "product=ABCDEFG   \r\nchecksum=1\n"}}, "ABCDEFG", "kvx_XXXXXXX.bin"},
        {"leading space kept", {{"kvx_XXXXXXX-ver.bin", "product= ABCDEFG\n"}}, "ABCDEFG", ""},
        {"PRODUCT= ignored", {{"kvx_XXXXXXX-ver.bin", "PRODUCT=ABCDEFG\n"}}, "ABCDEFG", ""},
        {"later product line wins", {{"kvx_QQQQQQQ-ver.bin", "product=ABCDEFG\nproduct=OTHERXX\n"}}, "ABCDEFG", ""},
        {"later entry wins", {{"kvx_ABCDEFG_V1.bin", "x"}, {"kvx_ABCDEFG_V2.bin", "x"}, {"kvx_ABCDEFG_V3", "/"}},
         "ABCDEFG", "kvx_ABCDEFG_V2.bin"},
        {"folder skipped", {{"kvx_ABCDEFG", "/"}}, "ABCDEFG", ""},
        {"empty code by name", {{"kvx_", "x"}, {"KVX.bin", "x"}}, "", "kvx_"},
        {"empty product=", {{"kvx_ZZZZZZZ-ver.bin", "product=\n"}}, "", "kvx_ZZZZZZZ.bin"},
        {"long code not by name", {{"kvx_ABCDEFGHIJ.bin", "x"}}, "ABCDEFGHIJ", ""},
        {"long code by product=", {{"kvx_ABCDEFG-ver.bin", "product=ABCDEFGHIJ\n"}}, "ABCDEFGHIJ", "kvx_ABCDEFG.bin"},
        {"product= among binary lines",
         {{"kvx_AAAAAAA-ver.bin", std::string("\x7f\0\r\n", 4) + std::string(300000, 'p') + "\nproduct=BINARYX\r\n\0"}},
         "BINARYX", "kvx_AAAAAAA.bin"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        for (const auto& f : c.files)
            f.second == "/" ? (void)::mkdir(dir.file(f.first).c_str(), 0755) : (void)dir.writeText(f.first, f.second);
        EXPECT_EQ(findFirmwareImage(dir.path(), c.code), c.want.empty() ? "" : dir.file(c.want)) << c.what;
    }
    EXPECT_EQ(findFirmwareImage("/nonexistent/brelvo", "ABCDEFG"), "");

    TempDir dir;
    const std::string p = dir.writeText("v", "CHECKSUM= 0x10 \nproduct=P1\nChecksum=22\r\n");
    std::string code = "old", checksum;
    EXPECT_EQ(readFirmwareDescriptor(p, code, checksum), 0);
    EXPECT_EQ(code, "P1");
    EXPECT_EQ(checksum, "22");
    EXPECT_EQ(readFirmwareDescriptor(dir.file("missing"), code, checksum), -1);
}
