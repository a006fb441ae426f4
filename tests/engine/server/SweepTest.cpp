#include "PrivateNetns.h"
#include "platform/AddressText.h"
#include "server/AddressSweep.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

using namespace brelvo;

namespace {
// The checksum as it sits in memory, read back as the big-endian value the
// RFC writes.
uint16_t asWritten(uint16_t stored)
{
    uint8_t b[2];
    std::memcpy(b, &stored, 2);
    return static_cast<uint16_t>((b[0] << 8) | b[1]);
}
} // namespace

TEST(InternetChecksum, RfcExampleAndOddLengths)
{
    const uint8_t rfc[] = {0x00, 0x01, 0xf2, 0x03, 0xf4, 0xf5, 0xf6, 0xf7};
    // The RFC's one's complement sum is 0xddf2; the checksum is its complement.
    EXPECT_EQ(asWritten(internetChecksum(rfc, sizeof rfc)), 0x220d);

    // A trailing odd byte counts as the high byte of a word padded with zero.
    const uint8_t odd[] = {0x00, 0x01, 0xf2};
    EXPECT_EQ(asWritten(internetChecksum(odd, sizeof odd)), static_cast<uint16_t>(~(0x0001 + 0xf200)));
    const uint8_t one[] = {0xAB};
    EXPECT_EQ(asWritten(internetChecksum(one, 1)), static_cast<uint16_t>(~0xAB00));
    EXPECT_EQ(internetChecksum(nullptr, 0), 0xFFFF);

    // Carries fold back: many 0xFFFF words still give a valid checksum.
    std::vector<uint8_t> ones(4096, 0xFF);
    EXPECT_EQ(internetChecksum(ones.data(), ones.size()), 0);
}

TEST(InternetChecksum, AStoredChecksumMakesTheMessageSumToZero)
{
    uint8_t req[12];
    buildEchoRequest(req, 0x1234, 253, 0xDEADBEEF);
    EXPECT_EQ(req[0], 8);
    EXPECT_EQ(req[1], 0);
    EXPECT_EQ(internetChecksum(req, sizeof req), 0);
    uint16_t id, seq;
    std::memcpy(&id, req + 4, 2);
    std::memcpy(&seq, req + 6, 2);
    EXPECT_EQ(id, 0x1234);
    EXPECT_EQ(seq, 253);
}

TEST(EchoReply, HonoursTheIpHeaderLength)
{
    std::vector<uint8_t> dgram(20 + 12, 0);
    dgram[0] = 0x45; // version 4, 5 words
    uint8_t* icmp = dgram.data() + 20;
    buildEchoRequest(icmp, 0x4242, 7, 99);
    icmp[0] = 0; // echo reply
    EchoReply r;
    ASSERT_TRUE(parseEchoReply(dgram.data(), dgram.size(), true, &r));
    EXPECT_EQ(r.type, 0);
    EXPECT_EQ(r.identifier, 0x4242);
    EXPECT_EQ(r.sequence, 7);
    EXPECT_EQ(r.sendTime, 99u);

    // With 8 bytes of options the message starts at 28, not at 20.
    std::vector<uint8_t> opt(28 + 12, 0x01);
    opt[0] = 0x47;
    std::memcpy(opt.data() + 28, icmp, 12);
    ASSERT_TRUE(parseEchoReply(opt.data(), opt.size(), true, &r));
    EXPECT_EQ(r.type, 0);
    EXPECT_EQ(r.identifier, 0x4242);

    // The same bytes without an IP header (datagram ICMP socket).
    ASSERT_TRUE(parseEchoReply(icmp, 12, false, &r));
    EXPECT_EQ(r.sequence, 7);
}

TEST(EchoReply, TooShortOrImpossibleHeadersAreSkipped)
{
    std::vector<uint8_t> dgram(40, 0);
    dgram[0] = 0x45;
    EchoReply r;
    EXPECT_FALSE(parseEchoReply(dgram.data(), 31, true, &r)); // one byte short of the send time
    EXPECT_TRUE(parseEchoReply(dgram.data(), 32, true, &r));
    EXPECT_FALSE(parseEchoReply(dgram.data(), 15, true, &r));
    dgram[0] = 0x44; // header length 16: impossible
    EXPECT_FALSE(parseEchoReply(dgram.data(), 40, true, &r));
    dgram[0] = 0x4F; // 60-byte header, datagram of 40
    EXPECT_FALSE(parseEchoReply(dgram.data(), 40, true, &r));
    EXPECT_FALSE(parseEchoReply(dgram.data(), 11, false, &r));
    EXPECT_FALSE(parseEchoReply(nullptr, 40, false, &r));
}

TEST(SweepTargets, FirstThreeOctetsWhateverTheNetmask)
{
    uint32_t t[kSweepTargets];
    sweepTargets(addressFromText("10.1.2.77"), t);
    EXPECT_EQ(addressToText(t[0]), "10.1.2.1");
    EXPECT_EQ(addressToText(t[76]), "10.1.2.77");
    EXPECT_EQ(addressToText(t[252]), "10.1.2.253");

    sweepTargets(addressFromText(""), t);
    EXPECT_EQ(addressToText(t[0]), "255.255.255.1");
    EXPECT_EQ(addressToText(t[252]), "255.255.255.253");
}

namespace {

// In the private namespace: 10.213.9.1 is ours, the rest of its /24 routes
// to loopback where nobody answers.
void addSilentNetwork()
{
    if (std::system("ip addr add 10.213.9.1/32 dev lo && "
                    "ip route add 10.213.9.0/24 dev lo src 10.213.9.1") != 0)
        brelvo_test::childSkip("cannot add a test network in the private namespace (ip missing?)");
}

void checkOnlyOwnAddressAnswered(int n, const uint32_t* out)
{
    CHILD_CHECK(n == 252);
    CHILD_CHECK(addressToText(out[0]) == "10.213.9.2");
    CHILD_CHECK(addressToText(out[251]) == "10.213.9.253");
    for (int i = 1; i < n; ++i)
        CHILD_CHECK(netToHost32(out[i]) == netToHost32(out[i - 1]) + 1);
}

} // namespace

TEST(Sweep, RawSocketFindsTheSilentAddresses)
{
    EXPECT_CHILD_PASSES(brelvo_test::runInPrivateNetns([] {
        addSilentNetwork();
        SocketHandle probe = openRawIcmpSocket();
        if (probe == kInvalidSocket)
            brelvo_test::childSkip("no raw ICMP socket here");
        closeSocket(probe);
        uint32_t out[255] = {};
        checkOnlyOwnAddressAnswered(sweepFreeAddresses("10.213.9.77", 500, out, 255), out);
        // The capacity bounds what is written.
        uint32_t few[4] = {};
        CHILD_CHECK(sweepFreeAddresses("10.213.9.77", 500, few, 3) == 3);
        CHILD_CHECK(few[3] == 0);
        // Everybody answers on 127/8.
        CHILD_CHECK(sweepFreeAddresses("127.0.0.1", 500, out, 255) == 0);
    }));
}

TEST(Sweep, FallsBackToTheDatagramIcmpSocket)
{
    EXPECT_CHILD_PASSES(brelvo_test::runInPrivateNetns([] {
        addSilentNetwork();
        // Allow the unprivileged echo socket for everybody in this namespace.
        std::ofstream("/proc/sys/net/ipv4/ping_group_range") << "0 2147483647";
        if (!brelvo_test::dropToNobodyWithoutThreads() || !brelvo_test::raiseThreadLimit())
            brelvo_test::childSkip("cannot drop to an unprivileged user");
        SocketHandle raw = openRawIcmpSocket();
        CHILD_CHECK(raw == kInvalidSocket); // the raw socket is really refused
        SocketHandle dgram = openIcmpDatagramSocket();
        if (dgram == kInvalidSocket)
            brelvo_test::childSkip("the datagram ICMP socket is not allowed here");
        closeSocket(dgram);
        uint32_t out[255] = {};
        checkOnlyOwnAddressAnswered(sweepFreeAddresses("10.213.9.77", 500, out, 255), out);
    }));
}

TEST(Sweep, NoIcmpSocketAtAllFails)
{
    EXPECT_CHILD_PASSES(brelvo_test::runInPrivateNetns([] {
        std::ofstream("/proc/sys/net/ipv4/ping_group_range") << "1 0";
        if (!brelvo_test::dropToNobodyWithoutThreads() || !brelvo_test::raiseThreadLimit())
            brelvo_test::childSkip("cannot drop to an unprivileged user");
        uint32_t out[255];
        CHILD_CHECK(sweepFreeAddresses("127.0.0.1", 500, out, 255) == -1);
    }));
}
