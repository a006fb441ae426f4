// SPDX-License-Identifier: MIT
#include "DeviceCodec.h"

#include <cstdio>
#include <cstring>

namespace devsim {

uint32_t readBE32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

void writeBE32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

int messageType(const uint8_t* data, size_t size)
{
    if (!data || size < kHeaderSize || std::memcmp(data, "upd:", 4) != 0)
        return -1;
    return data[4];
}

namespace {

size_t header(uint8_t* m, MessageType type, uint32_t length)
{
    std::memcpy(m, "upd:", 4);
    m[4] = type;
    m[5] = m[6] = m[7] = 0;
    writeBE32(m + 8, length);
    return kHeaderSize;
}

const char* typeName(int type)
{
    static const char* names[] = {"Request", "Offer", "Ready", "Size", "BlockAck", "Block",
                                  "End", "CheckFailed", "WriteProgress", "WriteComplete", "WriteFailed"};
    return type >= 0 && type <= 10 ? names[type] : "unknown";
}

// Common checks of a message from the tool: magic, type, the three bytes
// after the type (always 0 from the tool), length field and exact size.
std::string checkFrame(const uint8_t* data, size_t size, MessageType type, uint32_t length, size_t total)
{
    char buf[160];
    if (!data || size < kHeaderSize) {
        std::snprintf(buf, sizeof buf, "%s: %zu bytes, shorter than a header", typeName(type), size);
        return buf;
    }
    if (std::memcmp(data, "upd:", 4) != 0)
        return std::string(typeName(type)) + ": magic is not \"upd:\"";
    if (data[4] != type) {
        std::snprintf(buf, sizeof buf, "%s: type byte is %u", typeName(type), unsigned(data[4]));
        return buf;
    }
    if (data[5] || data[6] || data[7]) {
        std::snprintf(buf, sizeof buf, "%s: bytes 5..7 are %02x %02x %02x, not 0", typeName(type),
                      unsigned(data[5]), unsigned(data[6]), unsigned(data[7]));
        return buf;
    }
    uint32_t field = readBE32(data + 8);
    if (field != length) {
        std::snprintf(buf, sizeof buf, "%s: length field is %u, not %u", typeName(type), unsigned(field),
                      unsigned(length));
        return buf;
    }
    if (size != total) {
        std::snprintf(buf, sizeof buf, "%s: datagram is %zu bytes, not %zu", typeName(type), size, total);
        return buf;
    }
    return {};
}

} // namespace

size_t encodeRequest(uint8_t* out, const std::string& productCode)
{
    if (productCode.size() > kMaxProductCode)
        return 0;
    header(out, TypeRequest, uint32_t(productCode.size()));
    std::memcpy(out + kHeaderSize, productCode.data(), productCode.size());
    return kHeaderSize + productCode.size();
}

size_t encodeReady(uint8_t* out) { return header(out, TypeReady, 0); }

size_t encodeBlockAck(uint8_t* out, uint32_t index)
{
    header(out, TypeBlockAck, 4);
    writeBE32(out + 12, index);
    return 16;
}

size_t encodeWriteProgress(uint8_t* out, uint32_t written, uint32_t total)
{
    header(out, TypeWriteProgress, 8);
    writeBE32(out + 12, written);
    writeBE32(out + 16, total);
    return 20;
}

size_t encodeResult(uint8_t* out, MessageType type) { return header(out, type, 0); }

namespace {
template <typename Encode>
std::vector<uint8_t> fresh(Encode encode)
{
    std::vector<uint8_t> m(kMaxDeviceMessage);
    m.resize(encode(m.data()));
    return m;
}
} // namespace

std::vector<uint8_t> encodeRequest(const std::string& productCode)
{
    return fresh([&](uint8_t* p) { return encodeRequest(p, productCode); });
}
std::vector<uint8_t> encodeReady()
{
    return fresh([](uint8_t* p) { return encodeReady(p); });
}
std::vector<uint8_t> encodeBlockAck(uint32_t index)
{
    return fresh([&](uint8_t* p) { return encodeBlockAck(p, index); });
}
std::vector<uint8_t> encodeWriteProgress(uint32_t written, uint32_t total)
{
    return fresh([&](uint8_t* p) { return encodeWriteProgress(p, written, total); });
}
std::vector<uint8_t> encodeResult(MessageType type)
{
    return fresh([&](uint8_t* p) { return encodeResult(p, type); });
}

std::string decodeOffer(const uint8_t* data, size_t size, Offer& out)
{
    auto err = checkFrame(data, size, TypeOffer, kOfferLength, kOfferSize);
    if (!err.empty())
        return err;
    out.lentAddr = readBE32(data + 12);
    out.toolAddr = readBE32(data + 16);
    out.jobPort = uint16_t(data[20] << 8 | data[21]);
    if (out.jobPort == 0 || out.jobPort == 0xFFFF)
        return "Offer: job port " + std::to_string(out.jobPort) + " is not usable";
    return {};
}

std::string decodeSize(const uint8_t* data, size_t size, SizeInfo& out)
{
    auto err = checkFrame(data, size, TypeSize, kSizeMsgLength, kSizeMsgSize);
    if (!err.empty())
        return err;
    out.imageLength = readBE32(data + 12);
    out.blockSize = readBE32(data + 16);
    if (out.blockSize != kBlockSize)
        return "Size: block size is " + std::to_string(out.blockSize) + ", not 1024";
    return {};
}

std::string decodeBlock(const uint8_t* data, size_t size, uint32_t blockCount, Block& out)
{
    auto err = checkFrame(data, size, TypeBlock, kBlockMsgLength, kBlockMsgSize);
    if (!err.empty())
        return err;
    out.index = readBE32(data + 12);
    out.bytes = data + 16;
    if (out.index >= blockCount)
        return "Block: index " + std::to_string(out.index) + " is beyond the block count " +
               std::to_string(blockCount);
    return {};
}

std::string decodeEnd(const uint8_t* data, size_t size, EndInfo& out)
{
    auto err = checkFrame(data, size, TypeEnd, kEndLength, kEndSize);
    if (!err.empty())
        return err;
    out.checksum = readBE32(data + 12);
    out.options = data[16];
    if (out.options & ~0x03u)
        return "End: option byte " + std::to_string(out.options) + " has bits beyond the two write options";
    return {};
}

uint32_t wordSum(const uint8_t* data, size_t size)
{
    uint32_t sum = 0;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    // A plain load is the little-endian word here, and the compiler can sum
    // several at once: a hundred devices check megabytes each at End.
    for (size_t i = 0; i + 4 <= size; i += 4) {
        uint32_t w;
        std::memcpy(&w, data + i, 4);
        sum += w;
    }
#else
    for (size_t i = 0; i + 4 <= size; i += 4)
        sum += uint32_t(data[i]) | uint32_t(data[i + 1]) << 8 | uint32_t(data[i + 2]) << 16 |
               uint32_t(data[i + 3]) << 24;
#endif
    return sum;
}

void maskedStreamBytes(const std::vector<uint8_t>& image, const std::vector<uint8_t>& config, size_t offset,
                       uint8_t* out, size_t n)
{
    const size_t total = image.size() + config.size();
    const size_t maskFrom = image.size() / 4 * 4;
    const size_t maskTo = total / 4 * 4;
    for (size_t k = 0; k < n; ++k) {
        const size_t i = offset + k;
        uint8_t b = i < image.size() ? image[i] : config[i - image.size()];
        if (i >= maskFrom && i < maskTo)
            b ^= uint8_t(kConfigMask >> (8 * (i % 4)));
        out[k] = b;
    }
}

std::string addressText(uint32_t a)
{
    char buf[20];
    std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", a >> 24, (a >> 16) & 255, (a >> 8) & 255, a & 255);
    return buf;
}

bool parseAddress(const std::string& text, uint32_t& out)
{
    unsigned p[4];
    char tail;
    if (std::sscanf(text.c_str(), "%3u.%3u.%3u.%3u%c", &p[0], &p[1], &p[2], &p[3], &tail) != 4)
        return false;
    for (unsigned v : p)
        if (v > 255)
            return false;
    for (char c : text)
        if (!(c == '.' || (c >= '0' && c <= '9')))
            return false;
    out = p[0] << 24 | p[1] << 16 | p[2] << 8 | p[3];
    return true;
}

} // namespace devsim
