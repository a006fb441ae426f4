// SPDX-License-Identifier: MIT
#include "protocol/EchoMessage.h"

#include <cstring>

namespace brelvo {

namespace {
constexpr size_t kIpHeaderMin = 20;
constexpr size_t kEchoFields = 12; // type .. send time
} // namespace

uint16_t internetChecksum(const uint8_t* data, size_t length)
{
    uint32_t sum = 0;
    size_t i = 0;
    for (; i + 1 < length; i += 2) {
        uint16_t word;
        std::memcpy(&word, data + i, 2);
        sum += word;
    }
    if (i < length) {
        uint16_t word = 0;
        std::memcpy(&word, data + i, 1);
        sum += word;
    }
    sum = (sum >> 16) + (sum & 0xFFFFu);
    sum += (sum >> 16);
    return static_cast<uint16_t>(~sum);
}

bool parseEchoReply(const uint8_t* data, size_t length, bool withIpHeader, EchoReply* reply)
{
    if (data == nullptr || reply == nullptr)
        return false;
    size_t offset = 0;
    if (withIpHeader) {
        if (length < kIpHeaderMin)
            return false;
        offset = static_cast<size_t>(data[0] & 0x0F) * 4;
        if (offset < kIpHeaderMin)
            return false;
    }
    if (length < offset || length - offset < kEchoFields)
        return false;
    const uint8_t* icmp = data + offset;
    reply->type = icmp[0];
    std::memcpy(&reply->identifier, icmp + 4, 2);
    std::memcpy(&reply->sequence, icmp + 6, 2);
    std::memcpy(&reply->sendTime, icmp + 8, 4);
    return true;
}

int answeredRequest(const EchoReply& reply, uint32_t from, bool checkIdentifier, uint16_t identifier,
                    const uint32_t* addresses, const uint16_t* sequences, int count)
{
    if (checkIdentifier && reply.identifier != identifier)
        return -1;
    for (int i = 0; i < count; ++i) {
        if (addresses[i] == from)
            return sequences[i] == reply.sequence ? i : -1;
    }
    return -1;
}

void buildEchoRequest(uint8_t* out, uint16_t identifier, uint16_t sequence, uint32_t sendTime)
{
    out[0] = 8;
    out[1] = 0;
    out[2] = 0;
    out[3] = 0;
    std::memcpy(out + 4, &identifier, 2);
    std::memcpy(out + 6, &sequence, 2);
    std::memcpy(out + 8, &sendTime, 4);
    const uint16_t sum = internetChecksum(out, kEchoRequestSize);
    std::memcpy(out + 2, &sum, 2);
}

} // namespace brelvo
