// SPDX-License-Identifier: MIT
#include "firmware/VersionFile.h"

#include "platform/Text.h"
#include "platform/TextFile.h"
#include "firmware/FirmwareMatch.h"

namespace brelvo {

namespace {
const char kProductKey[] = "product=";
const char kChecksumKey[] = "checksum=";
} // namespace

VersionFile::Result VersionFile::applyLine(const std::string& line, const std::string& productCode,
                                           uint32_t& checksum)
{
    if (startsWith(line, kProductKey)) {
        if (trimProductValue(mid(line, sizeof kProductKey - 1)) != productCode)
            return ProductMismatch;
    } else if (startsWithNoCase(line, kChecksumKey)) {
        checksum = parseUnsigned32(mid(line, sizeof kChecksumKey - 1));
    }
    return Ok;
}

VersionFile::Result VersionFile::checkLines(const std::vector<std::string>& lines,
                                            const std::string& productCode, uint32_t& checksum)
{
    for (const std::string& line : lines) {
        if (applyLine(line, productCode, checksum) != Ok)
            return ProductMismatch;
    }
    return Ok;
}

VersionFile::Result VersionFile::checkFile(const std::string& path, const std::string& productCode,
                                           uint32_t& checksum)
{
    TextFile file;
    if (!file.open(path))
        return CannotOpen;
    std::string line;
    while (file.readLine(line)) {
        if (applyLine(line, productCode, checksum) != Ok)
            return ProductMismatch;
    }
    return Ok;
}

bool VersionFile::readContents(const std::string& path, Contents* out)
{
    TextFile file;
    if (!file.open(path))
        return false;
    Contents c;
    const bool known = file.identity(&c.identity);
    std::string line;
    while (file.readLine(line)) {
        if (startsWith(line, kProductKey)) {
            std::string value = trimProductValue(mid(line, sizeof kProductKey - 1));
            if (c.productCount == 0) {
                c.product = std::move(value);
                c.productCount = 1;
            } else if (value != c.product) {
                c.productCount = 2;
            }
        } else if (startsWithNoCase(line, kChecksumKey)) {
            c.hasChecksum = true;
            c.checksum = parseUnsigned32(mid(line, sizeof kChecksumKey - 1));
        }
    }
    FileIdentity after;
    c.unchanged = known && file.identity(&after) && after == c.identity;
    *out = std::move(c);
    return true;
}

VersionFile::Result VersionFile::check(const Contents& contents, const std::string& productCode, uint32_t& checksum)
{
    // Any line naming another product refuses the file, so two different
    // names refuse every code.
    if (contents.productCount > 1 || (contents.productCount == 1 && contents.product != productCode))
        return ProductMismatch;
    if (contents.hasChecksum)
        checksum = contents.checksum;
    return Ok;
}

std::string VersionFile::pathForImage(const std::string& imagePath)
{
    std::string path = imagePath;
    replaceAll(path, ".bin", "-ver.bin");
    return path;
}

} // namespace brelvo
