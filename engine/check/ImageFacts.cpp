// SPDX-License-Identifier: MIT
#include "check/ImageFacts.h"

#include "firmware/ConfigMask.h"
#include "firmware/FirmwareDescriptor.h"
#include "firmware/ImageStore.h"
#include "platform/RawFile.h"
#include "protocol/WireFormat.h"

#include <algorithm>
#include <cerrno>
#include <vector>

namespace brelvo {

ImageFacts inspectImage(const std::string& imagePath, const std::string& code)
{
    ImageFacts facts;
    facts.versionPath = versionFileFor(imagePath);
    const std::optional<FirmwareDescriptor> version = readFirmwareDescriptor(facts.versionPath);
    facts.version = !version                    ? ImageFacts::VersionMissing
                    : !version->allows(code)    ? ImageFacts::VersionMismatch
                                                : ImageFacts::VersionOk;
    facts.hasChecksumLine = version && version->hasChecksum;
    facts.expectedChecksum = version ? version->checksumValue() : 0;

    RawFile file;
    errno = 0;
    if (!file.open(imagePath)) {
        facts.imageError = errno ? errno : EISDIR; // opened but refused: a folder
        return facts;
    }
    facts.size = file.length();
    facts.blocks = (facts.size + wire::kBlockSize - 1) / wire::kBlockSize;
    // A job refuses it before reading a byte; so does the check.
    if (facts.size > kMaxImageBytes)
        return facts;
    // Whole words only, as the server sums them; a chunk is a whole number of words.
    std::vector<uint8_t> chunk(1u << 20);
    uint64_t done = 0;
    uint32_t sum = 0;
    errno = 0;
    while (done < facts.size) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(chunk.size(), facts.size - done));
        const size_t got = file.read(chunk.data(), want);
        sum += sumWords(chunk.data(), got / 4);
        done += got;
        if (got != want)
            break;
    }
    if (done != facts.size) {
        // Shrunk while being read, or a read error: not what the server would send.
        facts.imageError = errno ? errno : EIO;
        return facts;
    }
    facts.imageReadable = true;
    facts.computedChecksum = sum;
    return facts;
}

} // namespace brelvo
