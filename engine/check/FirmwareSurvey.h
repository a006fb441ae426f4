// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace brelvo {

// A "kvx" entry of a firmware folder and the product codes it serves. Not
// named FirmwareEntry: the firmware index has a struct of that name, and two
// different types of one name in one program (brelvo-cli links both) make
// the linker use one's inline code for the other's objects.
struct SurveyEntry {
    std::string name;
    std::string path;
    bool isDirectory = false;  // folders serve nothing
    std::string nameCode;      // characters 4..10 of the name
    std::string productCode;   // the last "product=" line of the entry itself
    bool hasProductLine = false;
    bool readable = true;      // false: its lines could not be read
};

// Which entry a device asking for `code` gets: the last of `matches`
// (indexes into FirmwareSurvey::entries, in name order), with the image
// path the server would open.
struct FirmwareChoice {
    std::string code;
    std::vector<size_t> matches;
    std::string imagePath;
};

// Everything findFirmwareImage would decide for the folder, for every code
// some entry serves, from one pass over the folder.
struct FirmwareSurvey {
    std::vector<SurveyEntry> entries;
    std::vector<FirmwareChoice> choices; // sorted by code (an empty code first)
};

FirmwareSurvey surveyFirmwareFolder(const std::string& firmwareDir);

// An image as the server would load it for `code`: the version file beside
// it, then the image itself.
struct ImageFacts {
    std::string versionPath;
    enum Version { VersionOk, VersionMismatch, VersionMissing } version = VersionOk;
    uint32_t expectedChecksum = 0; // the version file's checksum= (0 without one)
    bool hasChecksumLine = false;
    bool imageReadable = false;
    int imageError = 0;           // errno when the image could not be opened or read
    uint64_t size = 0;
    uint64_t blocks = 0;          // 1024-byte blocks
    uint32_t computedChecksum = 0; // sum of the whole little-endian 32-bit words
};

ImageFacts inspectImage(const std::string& imagePath, const std::string& code);

constexpr uint64_t kBlockBytes = 1024;

} // namespace brelvo
