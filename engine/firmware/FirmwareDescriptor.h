// SPDX-License-Identifier: MIT
#pragma once

#include "platform/FileIdentity.h"

#include <cstdint>
#include <optional>
#include <string>

namespace brelvo {

// The lines of a firmware entry or version file that carry meaning:
// "product=" (exact case; the value with trailing CR, LF and spaces removed)
// and "checksum=" (any letter case; the value as written). Other lines, and
// lines too long to be either, are ignored.
struct FirmwareDescriptor {
    FileIdentity identity;         // of the file read, as found when it was opened
    bool unchanged = false;        // still that identity after the last byte: nothing torn
    bool hasProduct = false;
    std::string product;           // the last "product=" value
    bool productsDiffer = false;   // two "product=" lines name different products
    bool hasChecksum = false;
    std::string checksum;          // the last "checksum=" value

    // As a version file: whether its image may go to a device of
    // `productCode`. Every product line must name it; none at all passes.
    bool allows(const std::string& productCode) const;
    // The checksum value read with strtoul base-0 rules; 0 without a line.
    uint32_t checksumValue() const;
};

// Empty when `path` cannot be opened as a regular file.
std::optional<FirmwareDescriptor> readFirmwareDescriptor(const std::string& path);

// The version file beside an image: every ".bin" becomes "-ver.bin".
std::string versionFileFor(const std::string& imagePath);

} // namespace brelvo
