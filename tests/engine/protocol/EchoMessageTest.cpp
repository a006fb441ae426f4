// SPDX-License-Identifier: MIT
// The sweep's echo checksum: a wrong one gets no reply, and a host that
// does not reply is lent out although it is there. The reply reader is
// checked against the rules by tests/fuzz/fuzz_echo_reply.cpp.
#include "protocol/EchoMessage.h"

#include <gtest/gtest.h>

#include <vector>

using namespace brelvo;

TEST(EchoMessage, ChecksumVectorsAndTheRequestsOwn)
{
    // Read back as the big-endian value RFC 1071 writes.
    auto written = [](const std::vector<uint8_t>& b) {
        const uint16_t c = internetChecksum(b.data(), b.size());
        const auto* p = reinterpret_cast<const uint8_t*>(&c);
        return static_cast<uint16_t>(p[0] << 8 | p[1]);
    };
    EXPECT_EQ(written({0x00, 0x01, 0xf2, 0x03, 0xf4, 0xf5, 0xf6, 0xf7}), 0x220d);
    EXPECT_EQ(written({0x00, 0x01, 0xf2}), static_cast<uint16_t>(~(0x0001 + 0xf200)));
    // Summed as little-endian words, the first fold carries again.
    EXPECT_EQ(written({0xff, 0xff, 0xff, 0xff, 0x01, 0x00}), 0xfeff);
    uint8_t req[kEchoRequestSize];
    buildEchoRequest(req, 0x1234, 253, 0xDEADBEEF);
    EXPECT_EQ(internetChecksum(req, sizeof req), 0);
}
