// SPDX-License-Identifier: MIT
#pragma once

#include "TempDir.h"

#include <cstdint>
#include <string>
#include <vector>

namespace brelvo_test {

// Writes `stem`.bin with `image` and its version file for product ABCDEFG,
// with the image's checksum, into `dir`; the image's path.
std::string writeFirmware(const TempDir& dir, const std::string& stem, const std::vector<uint8_t>& image);

// A firmware folder holding one image of `bytes` pattern bytes for ABCDEFG.
struct FirmwareFolder {
    TempDir dir;
    std::vector<uint8_t> image;
    std::string imagePath;

    explicit FirmwareFolder(size_t bytes, const std::string& stem = "kvx_ABCDEFG_V2", uint32_t seed = 0xB1E55EDu);
};

} // namespace brelvo_test
