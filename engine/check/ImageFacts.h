// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

namespace brelvo {

// An image as the server would load it for `code`: the version file beside
// it, then the image itself.
struct ImageFacts {
    std::string versionPath;
    enum Version { VersionOk, VersionMismatch, VersionMissing } version = VersionOk;
    uint32_t expectedChecksum = 0; // the version file's checksum= (0 without one)
    bool hasChecksumLine = false;
    bool imageReadable = false;   // also false for an image too large to send
    int imageError = 0;           // errno when the image could not be opened or read
    uint64_t size = 0;
    uint64_t blocks = 0;          // blocks of the transfer
    uint32_t computedChecksum = 0; // sum of the whole little-endian 32-bit words
};

ImageFacts inspectImage(const std::string& imagePath, const std::string& code);

} // namespace brelvo
