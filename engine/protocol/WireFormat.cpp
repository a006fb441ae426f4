// SPDX-License-Identifier: MIT
#include "protocol/WireFormat.h"

#include <cstring>

namespace brelvo {
namespace wire {

bool hasMagic(const uint8_t* data, size_t length)
{
    return data != nullptr && length >= 4 && std::memcmp(data, kMagic, 4) == 0;
}

int messageType(const uint8_t* data, size_t length)
{
    if (data == nullptr || length <= kTypeOffset)
        return -1;
    return static_cast<int>(static_cast<int8_t>(data[kTypeOffset]));
}

uint32_t payloadLength(const uint8_t* data, size_t length)
{
    if (data == nullptr || length < kHeaderSize)
        return 0;
    return readBe32(data + kLengthOffset);
}

void encodeHeader(uint8_t* out, int type, uint32_t length)
{
    std::memcpy(out, kMagic, 4);
    writeLe32(out + kTypeOffset, static_cast<uint32_t>(type));
    writeBe32(out + kLengthOffset, length);
}

size_t encodeOffer(uint8_t* out, uint32_t lentAddr, uint32_t localAddr, uint16_t port)
{
    encodeHeader(out, Offer, 10);
    std::memcpy(out + 12, &lentAddr, 4);
    std::memcpy(out + 16, &localAddr, 4);
    std::memcpy(out + 20, &port, 2);
    return kOfferSize;
}

size_t encodeSize(uint8_t* out, uint32_t imageLength)
{
    encodeHeader(out, Size, 8);
    writeBe32(out + 12, imageLength);
    writeBe32(out + 16, kBlockSize);
    return kSizeSize;
}

size_t encodeBlock(uint8_t* out, uint32_t index, const uint8_t* image, size_t imageLength)
{
    encodeHeader(out, Block, 4 + kBlockSize);
    writeBe32(out + 12, index);
    uint8_t* body = out + 16;
    const uint64_t start = static_cast<uint64_t>(index) * kBlockSize;
    size_t n = 0;
    if (image != nullptr && start < imageLength) {
        const uint64_t left = imageLength - start;
        n = static_cast<size_t>(left < kBlockSize ? left : kBlockSize);
        std::memcpy(body, image + start, n);
    }
    std::memset(body + n, 0, kBlockSize - n);
    return kBlockMessageSize;
}

size_t encodeEnd(uint8_t* out, uint32_t checksum, uint8_t options)
{
    encodeHeader(out, End, 5);
    writeBe32(out + 12, checksum);
    out[16] = options;
    return kEndSize;
}

bool decodeBlockAck(const uint8_t* data, size_t length, uint32_t* index)
{
    if (data == nullptr || length < kBlockAckMinSize)
        return false;
    if (index)
        *index = readBe32(data + 12);
    return true;
}

bool decodeWriteProgress(const uint8_t* data, size_t length, uint32_t* written, uint32_t* total)
{
    if (data == nullptr || length < kWriteProgressMinSize)
        return false;
    if (written)
        *written = readBe32(data + 12);
    if (total)
        *total = readBe32(data + 16);
    return true;
}

bool decodeOffer(const uint8_t* data, size_t length, uint32_t* lentAddr, uint32_t* toolAddr, uint16_t* port)
{
    if (length < kOfferSize || !hasMagic(data, length) || messageType(data, length) != Offer)
        return false;
    std::memcpy(lentAddr, data + 12, 4);
    std::memcpy(toolAddr, data + 16, 4);
    std::memcpy(port, data + 20, 2);
    return true;
}

} // namespace wire
} // namespace brelvo
