// SPDX-License-Identifier: MIT
#include "firmware/FirmwareMatch.h"

#include "platform/DirectorySearch.h"
#include "platform/Text.h"
#include "platform/TextFile.h"

namespace brelvo {

namespace {
const char kProductKey[] = "product=";
const char kChecksumKey[] = "checksum=";
} // namespace

std::string trimProductValue(const std::string& value)
{
    size_t end = value.size();
    while (end > 0 && (value[end - 1] == '\r' || value[end - 1] == '\n' || value[end - 1] == ' '))
        --end;
    return value.substr(0, end);
}

void applyDescriptorLine(const std::string& line, std::string& code, std::string& checksum)
{
    if (startsWith(line, kProductKey))
        code = trimProductValue(mid(line, sizeof kProductKey - 1));
    else if (startsWithNoCase(line, kChecksumKey))
        checksum = mid(line, sizeof kChecksumKey - 1);
}

bool readFirmwareDescriptor(const std::string& path, FirmwareDescriptor* out, FileIdentity* openedAs, bool* unchanged)
{
    TextFile file;
    if (!file.open(path))
        return false;
    FileIdentity before;
    const bool known = file.identity(&before);
    if (openedAs)
        *openedAs = before;
    FirmwareDescriptor found;
    // Most lines of an image are binary noise: look at their first bytes in
    // place and copy only the two kinds of line that count.
    const char* data = nullptr;
    size_t length = 0;
    while (file.readLine(&data, &length)) {
        if (length < sizeof kProductKey - 1)
            continue;
        const char first = data[0];
        if (first != 'p' && first != 'c' && first != 'C')
            continue;
        const std::string line(data, length);
        if (startsWith(line, kProductKey)) {
            found.hasProduct = true;
            found.product = trimProductValue(mid(line, sizeof kProductKey - 1));
        } else if (startsWithNoCase(line, kChecksumKey)) {
            found.hasChecksum = true;
            found.checksum = mid(line, sizeof kChecksumKey - 1);
        }
    }
    if (unchanged) {
        FileIdentity after;
        *unchanged = known && file.identity(&after) && after == before;
    }
    file.close();
    *out = std::move(found);
    return true;
}

int readFirmwareDescriptor(const std::string& path, std::string& code, std::string& checksum)
{
    FirmwareDescriptor d;
    if (!readFirmwareDescriptor(path, &d))
        return -1;
    if (d.hasProduct)
        code = d.product;
    if (d.hasChecksum)
        checksum = d.checksum;
    return 0;
}

std::string findFirmwareImage(const std::string& firmwareDir, const std::string& productCode)
{
    std::string chosen;
    for (const DirectoryEntry& entry : findEntries(firmwareDir, "kvx")) {
        if (entry.isDirectory)
            continue;
        std::string code = mid(entry.name, 4, 7);
        if (code == productCode)
            chosen = entry.path;
        std::string checksum;
        readFirmwareDescriptor(entry.path, code, checksum);
        if (code == productCode)
            chosen = entry.path;
    }
    replaceAll(chosen, "-ver.bin", ".bin");
    return chosen;
}

} // namespace brelvo
