// SPDX-License-Identifier: MIT
#pragma once

#include "platform/FileIdentity.h"

#include <cstdint>
#include <string>
#include <vector>

namespace brelvo {

// Reading of a firmware's version file: "product=" lines (exact case; the
// value with trailing CR, LF and spaces removed) must name the requested
// product; "checksum=" lines (any letter case) give the checksum, read with
// strtoul base-0 rules; a later checksum line wins.
class VersionFile {
public:
    enum Result { Ok = 0, ProductMismatch = 1, CannotOpen = 2 };

    // One line; ProductMismatch when it names another product.
    static Result applyLine(const std::string& line, const std::string& productCode, uint32_t& checksum);
    // Lines in order; stops at the first mismatch.
    static Result checkLines(const std::vector<std::string>& lines, const std::string& productCode,
                             uint32_t& checksum);
    // The file at `path`, read line by line.
    static Result checkFile(const std::string& path, const std::string& productCode, uint32_t& checksum);

    // What a product check needs from a version file, read once and kept
    // so that every request for another product code can be checked
    // without reading the file again.
    struct Contents {
        FileIdentity identity;    // of the file read, as found when it was opened
        bool unchanged = false;   // still that identity after the last line
        int productCount = 0;     // distinct "product=" values, counted up to 2
        std::string product;      // the first of them
        bool hasChecksum = false;
        uint32_t checksum = 0;    // the last "checksum=" value
    };
    // False when the file cannot be opened.
    static bool readContents(const std::string& path, Contents* out);
    // checkFile()'s answer for contents read before.
    static Result check(const Contents& contents, const std::string& productCode, uint32_t& checksum);

    // The version file beside an image: every ".bin" becomes "-ver.bin".
    static std::string pathForImage(const std::string& imagePath);
};

} // namespace brelvo
