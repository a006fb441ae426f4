// SPDX-License-Identifier: MIT
#pragma once

#include "platform/FileIdentity.h"
#include "platform/TextFile.h"

#include <cstdint>
#include <optional>
#include <string>

namespace brelvo {

// The lines of a firmware entry or version file that carry meaning:
// "product=" (exact case; the value with trailing CR, LF and spaces removed)
// and "checksum=" (any letter case; the value as written). Other lines, and
// lines too long to be a checksum, are ignored; a product line too long to be
// kept names a product no device can be.
struct FirmwareDescriptor {
    FileIdentity identity;         // of the file read, as found when it was opened
    bool unchanged = false;        // still that identity after the last byte: nothing torn
    bool stopped = false;          // abandoned for `stop`: the lines after are unread
    bool hasProduct = false;
    std::string product;           // the last "product=" value (the start of it when cut)
    bool productCut = false;       // a "product=" line was too long: no code is it
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
std::optional<FirmwareDescriptor> readFirmwareDescriptor(const std::string& path, const StopCheck& stop = {});

// The version file beside an image: every ".bin" becomes "-ver.bin".
std::string versionFileFor(const std::string& imagePath);

} // namespace brelvo
