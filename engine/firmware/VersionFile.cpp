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

std::string VersionFile::pathForImage(const std::string& imagePath)
{
    std::string path = imagePath;
    replaceAll(path, ".bin", "-ver.bin");
    return path;
}

} // namespace brelvo
