#include "server/JobPreparer.h"

#include "firmware/ConfigMask.h"
#include "firmware/FirmwareMatch.h"
#include "firmware/VersionFile.h"
#include "job/JobStatus.h"
#include "platform/RawFile.h"

namespace brelvo {

namespace {
constexpr uint64_t kMinConfigLength = 65536;
constexpr uint64_t kMaxTotalLength = 16777216;
} // namespace

std::string JobPreparer::find(const std::string& firmwareDir, const std::string& productCode)
{
    return findFirmwareImage(firmwareDir, productCode);
}

JobPreparer::Prepared JobPreparer::prepare(const std::string& imagePath, const std::string& productCode,
                                           const std::string& configPath)
{
    Prepared p;
    const std::string versionPath = VersionFile::pathForImage(imagePath);
    uint32_t sum = 0;
    switch (VersionFile::checkFile(versionPath, productCode, sum)) {
    case VersionFile::CannotOpen:
        p.status = FileError;
        p.reason = "cannot open the version file " + versionPath;
        return p;
    case VersionFile::ProductMismatch:
        p.status = ModelMismatch;
        p.reason = "the version file " + versionPath + " names another product";
        return p;
    case VersionFile::Ok:
        break;
    }
    RawFile file;
    if (!file.open(imagePath)) {
        p.status = FileError;
        p.reason = "cannot open the image " + imagePath;
        return p;
    }
    auto bytes = std::make_shared<std::vector<uint8_t>>();
    const uint32_t length = static_cast<uint32_t>(file.length());
    try {
        bytes->assign(length, 0);
    } catch (...) {
        p.status = FileError;
        p.reason = "no memory for the image " + imagePath;
        return p;
    }
    if (file.read(bytes->data(), length) != length) {
        p.status = FileError;
        p.reason = "the image " + imagePath + " is shorter than its size";
        return p;
    }
    file.close();
    if (!configPath.empty()) {
        RawFile config;
        if (!config.open(configPath)) {
            p.status = FileError;
            p.reason = "cannot open the configuration " + configPath;
            return p;
        }
        const uint64_t configLength = config.length();
        if (configLength < kMinConfigLength) {
            p.status = FileError;
            p.reason = "the configuration " + configPath + " has " + std::to_string(configLength) +
                       " bytes; at least 65536 are needed";
            return p;
        }
        const uint64_t total = bytes->size() + configLength;
        if (total > kMaxTotalLength) {
            p.status = FileError;
            p.reason = "image and configuration " + configPath + " together exceed 16 MiB";
            return p;
        }
        const size_t imageWords = bytes->size() / 4;
        if (sumWords(bytes->data(), imageWords) != sum) {
            p.status = FileError;
            p.reason = "the image " + imagePath + " does not match the checksum of its version file";
            return p;
        }
        const size_t imageBytes = bytes->size();
        bytes->resize(static_cast<size_t>(total));
        if (config.read(bytes->data() + imageBytes, static_cast<size_t>(configLength)) != configLength) {
            p.status = FileError;
            p.reason = "the configuration " + configPath + " could not be read whole";
            return p;
        }
        const size_t totalWords = static_cast<size_t>(total / 4);
        maskWords(bytes->data(), imageWords, totalWords);
        sum = sumWords(bytes->data(), totalWords);
    }
    p.bytes = std::move(bytes);
    p.checksum = sum;
    return p;
}

} // namespace brelvo
