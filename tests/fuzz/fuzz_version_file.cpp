// SPDX-License-Identifier: MIT
// The version-file readers (lines, file, firmware descriptor) against a
// reference written from the format. Input: byte 0 (mod 16) is the length of
// the product code that follows; the rest is the file.

#include "FuzzCheck.h"

#include "firmware/VersionFile.h"
#include "platform/Text.h"
#include "firmware/FirmwareMatch.h"

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

    // Lines end at LF, CRs before it included; "product=" (exact case) must
    // match once trailing CR/LF/spaces go; "checksum=" (any case), read like a
    // 32-bit strtoul, counts until a mismatch; the descriptor keeps the last of each.
    std::vector<std::string> lines;
    for (size_t start = 0, end = 0; start < file.size(); start = end + 1) {
        end = std::min(file.find('\n', start), file.size());
        lines.push_back(file.substr(start, end - start));
        while (!lines.back().empty() && lines.back().back() == '\r')
            lines.back().pop_back();
    }
    auto result = VersionFile::Ok;
    uint32_t checksum = 0xC0FFEE00u;
    std::string lastProduct = "unchanged", lastChecksum = "unchanged";
    for (const std::string& line : lines) {
        FUZZ_CHECK(parseUnsigned32(line) == strtoul32(line));
        if (line.compare(0, 8, "product=") == 0) {
            lastProduct = line.substr(8);
            while (!lastProduct.empty() && std::string("\r\n ").find(lastProduct.back()) != std::string::npos)
                lastProduct.pop_back();
            if (result == VersionFile::Ok && lastProduct != code)
                result = VersionFile::ProductMismatch;
        } else if (strncasecmp(line.c_str(), "checksum=", 9) == 0) {
            lastChecksum = line.substr(9);
            checksum = result == VersionFile::Ok ? strtoul32(lastChecksum) : checksum;
        }
    }
    uint32_t sum = 0xC0FFEE00u, fileSum = sum;
    FUZZ_CHECK(VersionFile::checkLines(lines, code, sum) == result && sum == checksum);

    // A real file, kept in memory.
    static const std::string path = "/proc/self/fd/" + std::to_string(memfd_create("brelvo-fuzz-ver", 0));
    FILE* f = std::fopen(path.c_str(), "wb");
    const bool written = f && std::fwrite(file.data(), 1, file.size(), f) == file.size();
    if (!f || std::fclose(f) != 0 || !written)
        return 0;
    FUZZ_CHECK(VersionFile::checkFile(path, code, fileSum) == result && fileSum == checksum);
    // Read once, checked for any code later: the same verdict (the checksum
    // counts only when the file is taken).
    VersionFile::Contents contents;
    uint32_t keptSum = 0xC0FFEE00u;
    FUZZ_CHECK(VersionFile::readContents(path, &contents) && VersionFile::check(contents, code, keptSum) == result &&
               (result != VersionFile::Ok || keptSum == checksum));
    std::string descCode = "unchanged", descSum = "unchanged";
    FUZZ_CHECK(readFirmwareDescriptor(path, descCode, descSum) == 0 && descCode == lastProduct &&
               descSum == lastChecksum);
    return 0;
}
