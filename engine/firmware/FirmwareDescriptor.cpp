// SPDX-License-Identifier: MIT
#include "firmware/FirmwareDescriptor.h"

#include "platform/Text.h"
#include "platform/TextFile.h"

namespace brelvo {

namespace {

const char kProductKey[] = "product=";
const char kChecksumKey[] = "checksum=";

std::string trimProductValue(const std::string& value)
{
    size_t end = value.size();
    while (end > 0 && (value[end - 1] == '\r' || value[end - 1] == '\n' || value[end - 1] == ' '))
        --end;
    return value.substr(0, end);
}

} // namespace

bool FirmwareDescriptor::allows(const std::string& productCode) const
{
    return !hasProduct || (!productsDiffer && !productCut && product == productCode);
}

uint32_t FirmwareDescriptor::checksumValue() const { return hasChecksum ? parseUnsigned32(checksum) : 0; }

std::optional<FirmwareDescriptor> readFirmwareDescriptor(const std::string& path, const StopCheck& stop)
{
    TextFile file;
    if (!file.open(path, stop))
        return std::nullopt;
    FirmwareDescriptor found;
    const std::optional<FileIdentity> before = file.identity();
    found.identity = before.value_or(FileIdentity());
    // Most lines of an image are binary noise: look at their first bytes in
    // place and copy only the two kinds of line that count.
    const char* data = nullptr;
    size_t length = 0;
    bool cut = false;
    while (file.readLine(&data, &length, &cut)) {
        if (length < sizeof kProductKey - 1)
            continue;
        const char first = data[0];
        if (first != 'p' && first != 'c' && first != 'C')
            continue;
        const std::string line(data, length);
        if (startsWith(line, kProductKey)) {
            // An over-long one names some product, just none a device can
            // ask for: dropping it would let its image pass the model check.
            std::string value = trimProductValue(mid(line, sizeof kProductKey - 1));
            found.productsDiffer = found.productsDiffer || (found.hasProduct && value != found.product);
            found.hasProduct = true;
            found.productCut = cut;
            found.product = std::move(value);
        } else if (!cut && startsWithNoCase(line, kChecksumKey)) {
            found.hasChecksum = true;
            found.checksum = mid(line, sizeof kChecksumKey - 1);
        }
    }
    found.stopped = file.stopped();
    found.unchanged = !found.stopped && before && file.identity() == before;
    return found;
}

std::string versionFileFor(const std::string& imagePath)
{
    std::string path = imagePath;
    replaceAll(path, ".bin", "-ver.bin");
    return path;
}

} // namespace brelvo
