// The sweep's echo-reply reader on any bytes: with an IPv4 header of any
// declared length, or as a bare ICMP message. Checked against the offsets
// of the format; and the echo request the sweep builds must carry a
// checksum that makes the whole message sum to zero, for any field values.
//
// Input layout: byte 0 bit 0 says whether the rest starts with an IPv4
// header; the rest is the received datagram.

#include "FuzzCheck.h"

#include "server/AddressSweep.h"

#include <cstring>
#include <memory>

using namespace brelvo;

namespace {

// RFC 1071 over bytes taken as big-endian words; the result is compared
// in the same order as the checksum is stored.
uint16_t referenceChecksumBe(const uint8_t* d, size_t n)
{
    uint64_t sum = 0;
    for (size_t i = 0; i + 1 < n; i += 2)
        sum += (uint32_t(d[i]) << 8) | d[i + 1];
    if (n % 2)
        sum += uint32_t(d[n - 1]) << 8;
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(~sum);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const bool withIp = data[0] & 1;
    const size_t length = size - 1;
    std::unique_ptr<uint8_t[]> d(new uint8_t[length ? length : 1]);
    if (length)
        std::memcpy(d.get(), data + 1, length);

    EchoReply r;
    r.type = 0xEE;
    const bool ok = parseEchoReply(d.get(), length, withIp, &r);
    size_t offset = 0;
    bool expectOk = true;
    if (withIp) {
        if (length < 20) {
            expectOk = false;
        } else {
            offset = size_t(d[0] & 0x0F) * 4;
            expectOk = offset >= 20;
        }
    }
    if (expectOk)
        expectOk = length >= offset && length - offset >= 12;
    FUZZ_CHECK(ok == expectOk);
    if (ok) {
        const uint8_t* icmp = d.get() + offset;
        FUZZ_CHECK(r.type == icmp[0]);
        FUZZ_CHECK(std::memcmp(&r.identifier, icmp + 4, 2) == 0);
        FUZZ_CHECK(std::memcmp(&r.sequence, icmp + 6, 2) == 0);
        FUZZ_CHECK(std::memcmp(&r.sendTime, icmp + 8, 4) == 0);
    }
    FUZZ_CHECK(!parseEchoReply(d.get(), length, withIp, nullptr));

    // The checksum over any bytes, compared in storage order.
    const uint16_t sum = internetChecksum(d.get(), length);
    const uint16_t ref = referenceChecksumBe(d.get(), length);
    uint8_t stored[2];
    std::memcpy(stored, &sum, 2);
    FUZZ_CHECK(((uint16_t(stored[0]) << 8) | stored[1]) == ref);

    // A request built from the first bytes checks out to zero.
    if (length >= 8) {
        uint16_t id, seq;
        uint32_t t;
        std::memcpy(&id, d.get(), 2);
        std::memcpy(&seq, d.get() + 2, 2);
        std::memcpy(&t, d.get() + 4, 4);
        uint8_t req[12];
        buildEchoRequest(req, id, seq, t);
        FUZZ_CHECK(req[0] == 8 && req[1] == 0);
        FUZZ_CHECK(internetChecksum(req, sizeof req) == 0);
        EchoReply back;
        FUZZ_CHECK(parseEchoReply(req, sizeof req, false, &back));
        FUZZ_CHECK(back.identifier == id && back.sequence == seq && back.sendTime == t);
    }
    return 0;
}
