#include "job/UpdateJob.h"

#include "firmware/ConfigMask.h"
#include "firmware/VersionFile.h"
#include "platform/RawFile.h"
#include "protocol/WireFormat.h"

#include <new>

namespace brelvo {

namespace {

constexpr uint64_t kMinConfigLength = 65536;
constexpr uint64_t kMaxTotalLength = 16777216;

int32_t blocksFor(uint64_t length)
{
    return static_cast<int32_t>((length + wire::kBlockSize - 1) / wire::kBlockSize);
}

} // namespace

void UpdateJob::loadImage(const uint8_t* bytes, size_t length, uint32_t sum)
{
    image.assign(bytes, bytes + length);
    imageLength = static_cast<uint32_t>(length);
    checksum = sum;
    blockCount = blocksFor(length);
    ackFlags.assign(static_cast<size_t>(blockCount.load()), 0);
    ackFlagsPresent = true;
    ackedBlocks = 0;
}

int UpdateJob::loadFirmware()
{
    const std::string imagePath = firmwarePath;
    firmwarePath = VersionFile::pathForImage(imagePath);

    uint32_t sum = checksum;
    switch (VersionFile::checkFile(firmwarePath, productCode, sum)) {
    case VersionFile::CannotOpen:
        status = FileError;
        return -1;
    case VersionFile::ProductMismatch:
        status = ModelMismatch;
        return -1;
    case VersionFile::Ok:
        break;
    }
    checksum = sum;

    RawFile file;
    if (!file.open(imagePath)) {
        status = FileError;
        return -1;
    }
    const uint32_t length = static_cast<uint32_t>(file.length());
    try {
        image.assign(length, 0);
    } catch (...) {
        status = FileError;
        return -1;
    }
    if (file.read(image.data(), length) != length) {
        image.clear();
        status = FileError;
        return -1;
    }
    file.close();
    imageLength = length;
    blockCount = blocksFor(length);
    ackFlags.assign(static_cast<size_t>(blockCount.load()), 0);
    ackFlagsPresent = true;

    if (appendConfig(configPath) < 0)
        return -1;
    return 0;
}

int64_t UpdateJob::appendConfig(const std::string& path)
{
    if (path.empty())
        return 0;
    RawFile file;
    if (!file.open(path))
        return 0;
    const uint64_t configLength = static_cast<uint32_t>(file.length());
    if (configLength < kMinConfigLength)
        return 0;
    const uint64_t imageBytes = image.size();
    const uint64_t total = imageBytes + configLength;
    if (total > kMaxTotalLength)
        return 0;

    std::vector<uint8_t> joined;
    try {
        joined.assign(static_cast<size_t>(total), 0);
    } catch (...) {
        return 0;
    }
    std::copy(image.begin(), image.end(), joined.begin());
    const size_t imageWords = static_cast<size_t>(imageBytes / 4);
    if (sumWords(joined.data(), imageWords) != checksum) {
        status = FileError;
        return -1;
    }
    if (file.read(joined.data() + imageBytes, static_cast<size_t>(configLength)) != configLength)
        return 0;

    const size_t totalWords = static_cast<size_t>(total / 4);
    maskWords(joined.data(), imageWords, totalWords);
    checksum = sumWords(joined.data(), totalWords);
    image.swap(joined);
    imageLength = static_cast<uint32_t>(total);
    blockCount = blocksFor(total);
    ackFlags.assign(static_cast<size_t>(blockCount.load()), 0);
    ackFlagsPresent = true;
    return static_cast<int64_t>(total);
}

} // namespace brelvo
