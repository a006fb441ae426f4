// SPDX-License-Identifier: MIT
#pragma once
// The device's view of the update protocol: what a device in update mode
// sends and what it expects to receive. Written from the byte layouts alone,
// on purpose separate from the tool's own encoders, so that the simulator
// cross-checks the tool instead of agreeing with it by construction.
//
// Every datagram starts with a 12-byte header: "upd:", a type byte, three
// bytes that the tool always sends as 0, and a big-endian payload length.
// Numbers in payloads are big-endian; addresses and ports are as on the wire.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace devsim {

constexpr uint16_t kRequestPort = 3281;
constexpr size_t kHeaderSize = 12;
constexpr uint32_t kBlockSize = 1024;

enum MessageType : uint8_t {
    TypeRequest = 0,
    TypeOffer = 1,
    TypeReady = 2,
    TypeSize = 3,
    TypeBlockAck = 4,
    TypeBlock = 5,
    TypeEnd = 6,
    TypeCheckFailed = 7,
    TypeWriteProgress = 8,
    TypeWriteComplete = 9,
    TypeWriteFailed = 10,
};

// Exact sizes and length fields of what the tool sends.
constexpr size_t kOfferSize = 22;
constexpr uint32_t kOfferLength = 10;
constexpr size_t kSizeMsgSize = 20;
constexpr uint32_t kSizeMsgLength = 8;
constexpr size_t kBlockMsgSize = 1040;
constexpr uint32_t kBlockMsgLength = 1028;
constexpr size_t kEndSize = 17;
constexpr uint32_t kEndLength = 5;

// A BlockAck with this index starts the block phase without acknowledging
// any real block (the tool ignores indexes beyond its block count).
constexpr uint32_t kKickOffIndex = 0xFFFFFFFFu;

uint32_t readBE32(const uint8_t* p);
void writeBE32(uint8_t* p, uint32_t v);

// Message type of an update-protocol datagram, or -1 when it is too short to
// hold a header or does not start with "upd:".
int messageType(const uint8_t* data, size_t size);

// What the device sends, written to `out`; each returns the bytes written.
// The longest is a Request with the longest product code, so a buffer of
// kMaxDeviceMessage bytes holds any of them.
constexpr size_t kMaxProductCode = 63;
constexpr size_t kMaxDeviceMessage = kHeaderSize + kMaxProductCode;
// 0 when the product code is longer than kMaxProductCode.
size_t encodeRequest(uint8_t* out, const std::string& productCode);
size_t encodeReady(uint8_t* out);
size_t encodeBlockAck(uint8_t* out, uint32_t index);
size_t encodeWriteProgress(uint8_t* out, uint32_t written, uint32_t total);
// CheckFailed, WriteComplete or WriteFailed: a bare header.
size_t encodeResult(uint8_t* out, MessageType type);
// The same as fresh buffers, for tests and tools that send a few messages by
// hand (an empty Request when the product code is too long).
std::vector<uint8_t> encodeRequest(const std::string& productCode);
std::vector<uint8_t> encodeReady();
std::vector<uint8_t> encodeBlockAck(uint32_t index);
std::vector<uint8_t> encodeWriteProgress(uint32_t written, uint32_t total);
std::vector<uint8_t> encodeResult(MessageType type);

// What the device receives. Each decoder returns an empty string when the
// datagram is well formed, otherwise a description of the first fault.
struct Offer {
    uint32_t lentAddr = 0;   // host order
    uint32_t toolAddr = 0;   // host order
    uint16_t jobPort = 0;    // host order
};
struct SizeInfo {
    uint32_t imageLength = 0;
    uint32_t blockSize = 0;
    uint32_t blockCount() const { return imageLength / kBlockSize + (imageLength % kBlockSize ? 1 : 0); }
};
struct Block {
    uint32_t index = 0;
    const uint8_t* bytes = nullptr; // kBlockSize bytes inside the datagram
};
struct EndInfo {
    uint32_t checksum = 0;
    uint8_t options = 0;
};

std::string decodeOffer(const uint8_t* data, size_t size, Offer& out);
std::string decodeSize(const uint8_t* data, size_t size, SizeInfo& out);
std::string decodeBlock(const uint8_t* data, size_t size, uint32_t blockCount, Block& out);
std::string decodeEnd(const uint8_t* data, size_t size, EndInfo& out);

// Sum of the little-endian 32-bit words at offsets 0, 4, 8, ... of the
// buffer's whole words, modulo 2^32 (a trailing partial word is left out).
uint32_t wordSum(const uint8_t* data, size_t size);

// With a configuration file the tool sends the image followed by the file,
// the whole little-endian 32-bit words from the one holding the image's last
// bytes up to the last whole word of the stream XORed with kConfigMask; a
// trailing partial word goes as it is. Writes bytes [offset, offset + n) of
// that stream to `out`; the range must lie within it.
constexpr uint32_t kConfigMask = 0x5A3C96E1u;
void maskedStreamBytes(const std::vector<uint8_t>& image, const std::vector<uint8_t>& config, size_t offset,
                       uint8_t* out, size_t n);

std::string addressText(uint32_t hostOrderAddr);
// Parses a dotted IPv4 address into host order; false when it is not one.
bool parseAddress(const std::string& text, uint32_t& hostOrderAddr);

} // namespace devsim
