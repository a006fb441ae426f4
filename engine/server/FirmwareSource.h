// SPDX-License-Identifier: MIT
#pragma once

#include "firmware/ImageStore.h"
#include "platform/Error.h"
#include "platform/TextFile.h"

#include <memory>
#include <string>

namespace brelvo {

// Where the listener reads a request's files: the firmware folder's index
// and the store of prepared images. A test may stand in for them.
class FirmwareSource {
public:
    virtual ~FirmwareSource() = default;
    virtual std::string find(const std::string& firmwareDir, const std::string& productCode, const StopCheck& stop) = 0;
    virtual std::shared_ptr<const PreparedImage> prepare(const std::string& imagePath, const std::string& productCode,
                                                         const std::string& configPath, Error* error,
                                                         const StopCheck& stop) = 0;
};

// The firmware folder as it is: an index of its entries and a store of the
// images prepared from it.
std::unique_ptr<FirmwareSource> folderFirmware();

} // namespace brelvo
