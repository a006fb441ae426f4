// The version-file reader against a reference written here from the file
// format: lines end at LF (a CR before it belongs to the line end);
// "product=" (exact case) must name the requested product after trailing
// CR, LF and spaces are removed; "checksum=" (any case) is read like
// strtoul with base 0 into 32 bits, a later line winning. The same bytes go
// through the line API, the file reader and the firmware-descriptor reader.
//
// Input layout: byte 0 (mod 16) is the length of the requested product
// code, taken from the bytes that follow; the rest is the file.

#include "FuzzCheck.h"

#include "job/VersionFile.h"
#include "platform/Text.h"
#include "server/FirmwareMatch.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

using namespace brelvo;

namespace {

// strtoul(text, 0, 0) as a platform with a 32-bit unsigned long gives it:
// a magnitude beyond 32 bits gives 0xFFFFFFFF, a minus sign negates
// modulo 2^32.
uint32_t referenceStrtoul32(const std::string& text)
{
    const std::string s(text.c_str()); // the C function stops at a zero byte
    size_t i = 0;
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i])))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    // A second sign or white space after the sign ends the number; the
    // 64-bit strtoull below would accept them.
    if (i >= s.size() || s[i] == '+' || s[i] == '-' || std::isspace(static_cast<unsigned char>(s[i])))
        return 0;
    errno = 0;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(s.c_str() + i, &end, 0);
    if (errno == ERANGE || v > 0xFFFFFFFFull)
        return 0xFFFFFFFFu;
    const uint32_t v32 = static_cast<uint32_t>(v);
    return negative ? static_cast<uint32_t>(0u - v32) : v32;
}

bool prefixNoCase(const std::string& s, const char* p)
{
    const size_t n = std::strlen(p);
    if (s.size() < n)
        return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(s[i])) != p[i])
            return false;
    return true;
}

std::string trimmed(std::string v)
{
    while (!v.empty() && (v.back() == '\r' || v.back() == '\n' || v.back() == ' '))
        v.pop_back();
    return v;
}

std::vector<std::string> splitLines(const std::string& file)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < file.size()) {
        size_t end = file.find('\n', start);
        std::string line = file.substr(start, end == std::string::npos ? std::string::npos : end - start);
        while (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return lines;
}

struct Expected {
    VersionFile::Result result = VersionFile::Ok;
    uint32_t checksum = 0;
    std::string lastProduct;      // for the descriptor reader
    bool sawProduct = false;
    std::string lastChecksumText; // untrimmed
    bool sawChecksum = false;
};

Expected reference(const std::vector<std::string>& lines, const std::string& code, uint32_t initial)
{
    Expected e;
    e.checksum = initial;
    bool stopped = false;
    for (const std::string& line : lines) {
        if (line.compare(0, 8, "product=") == 0 && line.size() >= 8) {
            e.lastProduct = trimmed(line.substr(8));
            e.sawProduct = true;
            if (!stopped && e.lastProduct != code) {
                e.result = VersionFile::ProductMismatch;
                stopped = true;
            }
        } else if (prefixNoCase(line, "checksum=")) {
            e.lastChecksumText = line.substr(9);
            e.sawChecksum = true;
            if (!stopped)
                e.checksum = referenceStrtoul32(e.lastChecksumText);
        }
    }
    return e;
}

// The file lives in memory (memfd) and is opened again by its /proc path,
// so the reader sees a real file without touching the disk.
const std::string& scratchFile()
{
    static const std::string path = [] {
        const int fd = memfd_create("brelvo-fuzz-ver", 0);
        return fd < 0 ? std::string() : "/proc/self/fd/" + std::to_string(fd);
    }();
    return path;
}

bool writeScratch(const std::string& bytes)
{
    if (scratchFile().empty())
        return false;
    FILE* f = std::fopen(scratchFile().c_str(), "wb"); // truncates
    if (!f)
        return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    size_t codeLength = data[0] % 16;
    if (codeLength > size - 1)
        codeLength = size - 1;
    const std::string code(reinterpret_cast<const char*>(data + 1), codeLength);
    const std::string file(reinterpret_cast<const char*>(data + 1 + codeLength), size - 1 - codeLength);
    const std::vector<std::string> lines = splitLines(file);
    const uint32_t initial = 0xC0FFEE00u;
    const Expected e = reference(lines, code, initial);

    // Every line on its own through the number reader.
    for (const std::string& line : lines)
        FUZZ_CHECK(parseUnsigned32(line) == referenceStrtoul32(line));

    uint32_t sum = initial;
    FUZZ_CHECK(VersionFile::checkLines(lines, code, sum) == e.result);
    FUZZ_CHECK(sum == e.checksum);

    if (!writeScratch(file))
        return 0;
    sum = initial;
    FUZZ_CHECK(VersionFile::checkFile(scratchFile(), code, sum) == e.result);
    FUZZ_CHECK(sum == e.checksum);

    // The firmware matching reads the same kind of lines without stopping.
    std::string descCode = "unchanged";
    std::string descSum = "unchanged";
    FUZZ_CHECK(readFirmwareDescriptor(scratchFile(), descCode, descSum) == 0);
    FUZZ_CHECK(descCode == (e.sawProduct ? e.lastProduct : std::string("unchanged")));
    FUZZ_CHECK(descSum == (e.sawChecksum ? e.lastChecksumText : std::string("unchanged")));
    return 0;
}
