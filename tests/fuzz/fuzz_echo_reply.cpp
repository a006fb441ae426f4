// SPDX-License-Identifier: MIT
// The sweep's echo-reply reader on any bytes (after an IPv4 header of any
// declared length when byte 0 bit 0 is set), the checksum against RFC 1071,
// and the echo request built from the input's first bytes.

#include "FuzzCheck.h"

#include "server/AddressSweep.h"

#include <cstring>
#include <memory>

using namespace brelvo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const bool withIp = data[0] & 1;
    const size_t n = size - 1;
    std::unique_ptr<uint8_t[]> d(new uint8_t[n + !n]); // exact size, for AddressSanitizer
    std::memcpy(d.get(), data + 1, n);

    EchoReply r;
    const bool ok = parseEchoReply(d.get(), n, withIp, &r);
    const size_t offset = withIp ? (n >= 20 ? (d[0] & 0x0F) * 4u : 1000) : 0;
    FUZZ_CHECK(ok == (offset >= (withIp ? 20u : 0u) && offset <= n && n - offset >= 12));
    if (ok) {
        const uint8_t* icmp = d.get() + offset;
        FUZZ_CHECK(r.type == icmp[0] && std::memcmp(&r.identifier, icmp + 4, 2) == 0 &&
                   std::memcmp(&r.sequence, icmp + 6, 2) == 0 && std::memcmp(&r.sendTime, icmp + 8, 4) == 0);
    }
    FUZZ_CHECK(!parseEchoReply(d.get(), n, withIp, nullptr));

    // One's-complement sum of big-endian words; the checksum is stored so
    // that its bytes read in that order.
    uint64_t sum = 0;
    for (size_t i = 0; i < n; i += 2)
        sum += uint32_t(d[i]) << 8 | (i + 1 < n ? d[i + 1] : 0);
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    const uint16_t got = internetChecksum(d.get(), n);
    uint8_t stored[2];
    std::memcpy(stored, &got, 2);
    FUZZ_CHECK(uint64_t(stored[0] << 8 | stored[1]) == (~sum & 0xFFFF));

    if (n >= 8) {
        const uint16_t id = uint16_t(d[0] << 8 | d[1]), seq = uint16_t(d[2] << 8 | d[3]);
        const uint32_t t = uint32_t(d[4]) << 24 | d[5] << 16 | d[6] << 8 | d[7];
        uint8_t req[12];
        buildEchoRequest(req, id, seq, t);
        EchoReply back;
        FUZZ_CHECK(req[0] == 8 && req[1] == 0 && internetChecksum(req, sizeof req) == 0);
        FUZZ_CHECK(parseEchoReply(req, sizeof req, false, &back) && back.identifier == id && back.sequence == seq &&
                   back.sendTime == t);
    }
    return 0;
}
