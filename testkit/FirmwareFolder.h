// SPDX-License-Identifier: MIT
#pragma once

#include "TempDir.h"

#include <cstdio>

namespace brelvo_test {

// Writes `stem`.bin with `image` and its version file for product ABCDEFG,
// with the image's checksum, into `dir` (CR LF line ends and a line the tool
// ignores, as vendors' files have); the image's path.
inline std::string writeFirmware(const TempDir& dir, const std::string& stem, const std::vector<uint8_t>& image)
{
    char sum[64];
    std::snprintf(sum, sizeof sum, "checksum=0x%08x\r\n", wordSum(image));
    dir.writeText(stem + "-ver.bin", std::string("version=2\r\nproduct=ABCDEFG\r\n") + sum);
    return dir.writeBytes(stem + ".bin", image);
}

// A firmware folder holding one image of `bytes` pattern bytes for ABCDEFG.
struct FirmwareFolder {
    TempDir dir;
    std::vector<uint8_t> image;
    std::string imagePath;

    explicit FirmwareFolder(size_t bytes, const std::string& stem = "kvx_ABCDEFG_V2", uint32_t seed = 0xB1E55EDu)
        : image(patternBytes(bytes, seed)), imagePath(writeFirmware(dir, stem, image))
    {
    }
};

} // namespace brelvo_test
