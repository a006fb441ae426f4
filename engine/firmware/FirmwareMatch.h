// SPDX-License-Identifier: MIT
#pragma once

#include "platform/FileIdentity.h"

#include <string>

namespace brelvo {

// The firmware image for `productCode` in `firmwareDir`: among the entries
// whose names begin with "kvx" (any letter case), the last one in name
// order whose name (characters 4..10) or "product=" line equals the code;
// "-ver.bin" in the answer becomes ".bin". Empty when nothing matches.
std::string findFirmwareImage(const std::string& firmwareDir, const std::string& productCode);

// Reads the descriptor lines of `path`: a "product=" line replaces `code`
// (trailing CR, LF and spaces removed), a "checksum=" line in any letter
// case replaces `checksum` (untrimmed). 0, or -1 when the file cannot be
// opened (outputs unchanged).
int readFirmwareDescriptor(const std::string& path, std::string& code, std::string& checksum);

// The descriptor lines of one file: the last "product=" value (trimmed) and
// the last "checksum=" value (as written), each with whether it was there.
struct FirmwareDescriptor {
    bool hasProduct = false;
    std::string product;
    bool hasChecksum = false;
    std::string checksum;
};

// Reads `path`'s descriptor lines. False when the file cannot be opened
// (`out` untouched). `openedAs` receives the identity of the file that was
// read, as found when it was opened; `unchanged` says whether it still had
// that identity after the last byte was read (false: it was being written
// and what was read may be torn).
bool readFirmwareDescriptor(const std::string& path, FirmwareDescriptor* out, FileIdentity* openedAs = nullptr,
                            bool* unchanged = nullptr);

// One descriptor line applied to `code` and `checksum`.
void applyDescriptorLine(const std::string& line, std::string& code, std::string& checksum);

// The value of a "product=" line: everything after the key with trailing
// carriage returns, line feeds and spaces removed.
std::string trimProductValue(const std::string& value);

} // namespace brelvo
