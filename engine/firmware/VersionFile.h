#pragma once

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

    // The version file beside an image: every ".bin" becomes "-ver.bin".
    static std::string pathForImage(const std::string& imagePath);
};

} // namespace brelvo
