// SPDX-License-Identifier: MIT
// The descriptor reader under the matching and the version-file check,
// against a reference written from the format. Input: byte 0 (mod 16) is the
// length of the product code that follows; the rest is the file.

#include "FuzzCheck.h"

#include "firmware/FirmwareDescriptor.h"
#include "platform/Text.h"
#include "platform/TextFile.h"

#include <sys/mman.h>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <string>
#include <strings.h>
#include <vector>

using namespace brelvo;

// strtoul(text, 0, 0) where unsigned long has 32 bits.
static uint32_t strtoul32(const std::string& text)
{
    const char* s = text.c_str(); // the C function stops at a zero byte
    while (std::isspace(static_cast<unsigned char>(*s)))
        ++s;
    const bool negative = *s == '-';
    s += *s == '-' || *s == '+';
    if (*s == '-' || *s == '+' || std::isspace(static_cast<unsigned char>(*s)))
        return 0; // strtoull below would take a second sign or space
    errno = 0;
    const unsigned long long v = std::strtoull(s, nullptr, 0);
    if (errno == ERANGE || v > 0xFFFFFFFFull)
        return 0xFFFFFFFFu;
    return negative ? 0u - uint32_t(v) : uint32_t(v);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const size_t codeLength = std::min<size_t>(data[0] % 16, size - 1);
    const std::string code(reinterpret_cast<const char*>(data + 1), codeLength);
    const std::string file(reinterpret_cast<const char*>(data + 1 + codeLength), size - 1 - codeLength);

    // Lines end at LF, CRs before it dropped; longer ones are skipped.
    // "product=" (exact case) must match once trailing CR/LF/spaces go;
    // "checksum=" (any case) is read like a 32-bit strtoul; the last of each counts.
    std::vector<std::string> lines;
    for (size_t start = 0, end = 0; start < file.size(); start = end + 1) {
        end = std::min(file.find('\n', start), file.size());
        if (end - start > TextFile::kMaxLineBytes)
            continue;
        lines.push_back(file.substr(start, end - start));
        while (!lines.back().empty() && lines.back().back() == '\r')
            lines.back().pop_back();
    }
    bool allowed = true;
    std::string lastProduct, lastChecksum;
    bool hasProduct = false, hasChecksum = false;
    for (const std::string& line : lines) {
        FUZZ_CHECK(parseUnsigned32(line) == strtoul32(line));
        if (line.compare(0, 8, "product=") == 0) {
            lastProduct = line.substr(8);
            while (!lastProduct.empty() && std::string("\r\n ").find(lastProduct.back()) != std::string::npos)
                lastProduct.pop_back();
            allowed = allowed && lastProduct == code;
            hasProduct = true;
        } else if (strncasecmp(line.c_str(), "checksum=", 9) == 0) {
            lastChecksum = line.substr(9);
            hasChecksum = true;
        }
    }

    // A real file, kept in memory.
    static const std::string path = "/proc/self/fd/" + std::to_string(memfd_create("brelvo-fuzz-ver", 0));
    FILE* f = std::fopen(path.c_str(), "wb");
    const bool written = f && std::fwrite(file.data(), 1, file.size(), f) == file.size();
    if (!f || std::fclose(f) != 0 || !written)
        return 0;
    const auto read = readFirmwareDescriptor(path);
    FUZZ_CHECK(read && read->allows(code) == allowed);
    FUZZ_CHECK(read->hasProduct == hasProduct && read->product == lastProduct);
    FUZZ_CHECK(read->hasChecksum == hasChecksum && read->checksum == lastChecksum);
    FUZZ_CHECK(read->checksumValue() == (hasChecksum ? strtoul32(lastChecksum) : 0));
    return 0;
}
