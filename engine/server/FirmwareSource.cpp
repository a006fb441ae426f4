// SPDX-License-Identifier: MIT
#include "server/FirmwareSource.h"

#include "firmware/FirmwareIndex.h"

namespace brelvo {

namespace {

class FolderFirmware : public FirmwareSource {
public:
    std::string find(const std::string& firmwareDir, const std::string& productCode, const StopCheck& stop) override
    {
        return index_.find(firmwareDir, productCode, stop);
    }
    std::shared_ptr<const PreparedImage> prepare(const std::string& imagePath, const std::string& productCode,
                                                 const std::string& configPath, Error* error,
                                                 const StopCheck& stop) override
    {
        return store_.prepare(imagePath, productCode, configPath, error, stop);
    }

private:
    FirmwareIndex index_;
    ImageStore store_;
};

} // namespace

std::unique_ptr<FirmwareSource> folderFirmware() { return std::make_unique<FolderFirmware>(); }

} // namespace brelvo
