// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>

namespace brelvo {

// Every datagram of the update protocol, in both directions, begins with a
// 12-byte header: magic "upd:", a type byte, three bytes that are 0 in what
// the tool sends (the tool writes bytes 4..7 as the type in little-endian
// order), and the big-endian payload length.
namespace wire {

constexpr uint8_t kMagic[4] = {'u', 'p', 'd', ':'};
constexpr size_t kHeaderSize = 12;
constexpr size_t kTypeOffset = 4;
constexpr size_t kLengthOffset = 8;
constexpr size_t kPayloadOffset = 12;

constexpr uint16_t kRequestPort = 3281;
constexpr size_t kRequestBufferSize = 256;
constexpr size_t kProductCodeField = 64; // at most 63 characters
constexpr size_t kJobBufferSize = 4096;
constexpr uint32_t kBlockSize = 1024;

enum MessageType : int {
    UpdateRequest = 0,
    Offer = 1,
    Ready = 2,
    Size = 3,
    BlockAck = 4,
    Block = 5,
    End = 6,
    CheckFailed = 7,
    WriteProgress = 8,
    WriteComplete = 9,
    WriteFailed = 10,
};

constexpr size_t kOfferSize = 22;
constexpr size_t kSizeSize = 20;
constexpr size_t kBlockMessageSize = 12 + 4 + kBlockSize; // 1040
constexpr size_t kEndSize = 17;
constexpr size_t kBlockAckMinSize = 16;
constexpr size_t kWriteProgressMinSize = 20;

// Big-endian helpers.
inline uint32_t readBe32(const uint8_t* p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
inline void writeBe32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}
inline void writeLe32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

// True when at least 4 bytes are there and they are "upd:".
bool hasMagic(const uint8_t* data, size_t length);
// The type byte read as a signed 8-bit value; -1 when the datagram is
// shorter than 5 bytes (no type matches a negative value).
int messageType(const uint8_t* data, size_t length);
// The header's payload length field; 0 when shorter than 12 bytes.
uint32_t payloadLength(const uint8_t* data, size_t length);

// Writes the header for `type` with payload length `length`.
void encodeHeader(uint8_t* out, int type, uint32_t length);

// Encoders: each writes exactly its message size into `out` (which must
// hold that many bytes) and returns that size. Addresses and ports are in
// network byte order and are copied as they are.
size_t encodeOffer(uint8_t* out, uint32_t lentAddr, uint32_t localAddr, uint16_t port);
size_t encodeSize(uint8_t* out, uint32_t imageLength);
// Block `index` of `image`: the image bytes from index*1024, then zero
// filler up to 1024 bytes after the end of the image.
size_t encodeBlock(uint8_t* out, uint32_t index, const uint8_t* image, size_t imageLength);
size_t encodeEnd(uint8_t* out, uint32_t checksum, uint8_t options);

// Decoders: false when the datagram is too short for the fields read.
bool decodeBlockAck(const uint8_t* data, size_t length, uint32_t* index);
bool decodeWriteProgress(const uint8_t* data, size_t length, uint32_t* written, uint32_t* total);
// An Offer, from this tool or another: magic, type and size checked; the
// fields as they are on the wire (network byte order).
bool decodeOffer(const uint8_t* data, size_t length, uint32_t* lentAddr, uint32_t* toolAddr, uint16_t* port);

} // namespace wire
} // namespace brelvo
