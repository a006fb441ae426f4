// SPDX-License-Identifier: MIT
#include "FirmwareFolder.h"

#include "Files.h"

#include <cstdio>

namespace brelvo_test {

std::string writeFirmware(const TempDir& dir, const std::string& stem, const std::vector<uint8_t>& image)
{
    // CR LF line ends and a line the tool ignores, as vendors' files have.
    char sum[64];
    std::snprintf(sum, sizeof sum, "checksum=0x%08x\r\n", wordSum(image));
    dir.writeText(stem + "-ver.bin", std::string("version=2\r\nproduct=ABCDEFG\r\n") + sum);
    return dir.writeBytes(stem + ".bin", image);
}

FirmwareFolder::FirmwareFolder(size_t bytes, const std::string& stem, uint32_t seed)
    : image(patternBytes(bytes, seed)), imagePath(writeFirmware(dir, stem, image))
{
}

} // namespace brelvo_test
