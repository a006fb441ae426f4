// SPDX-License-Identifier: MIT
#include "check/FirmwareSurvey.h"

#include "firmware/ConfigMask.h"
#include "firmware/FirmwareMatch.h"
#include "firmware/VersionFile.h"
#include "platform/DirectorySearch.h"
#include "platform/RawFile.h"
#include "platform/Text.h"

#include <algorithm>
#include <cerrno>
#include <map>

namespace brelvo {

FirmwareSurvey surveyFirmwareFolder(const std::string& firmwareDir)
{
    // Follows findFirmwareImage step by step: an entry matches a code by its
    // name, and again by the code its own "product=" line leaves; the last
    // matching entry in name order wins.
    FirmwareSurvey survey;
    std::map<std::string, FirmwareChoice> byCode;
    for (const DirectoryEntry& d : findEntries(firmwareDir, "kvx")) {
        SurveyEntry entry;
        entry.name = d.name;
        entry.path = d.path;
        entry.isDirectory = d.isDirectory;
        const size_t index = survey.entries.size();
        if (!entry.isDirectory) {
            entry.nameCode = mid(d.name, 4, 7);
            // A product= value never ends in a line feed: the marker tells
            // "no line" apart from any value, in one read of the entry.
            std::string code = "\n";
            std::string checksum;
            entry.readable = readFirmwareDescriptor(d.path, code, checksum) == 0;
            entry.hasProductLine = entry.readable && code != "\n";
            entry.productCode = entry.hasProductLine ? code : std::string();
            if (!entry.hasProductLine)
                code = entry.nameCode;
            // An empty code counts too: a request may carry one.
            for (const std::string& served : {entry.nameCode, code}) {
                FirmwareChoice& choice = byCode[served];
                if (choice.matches.empty() || choice.matches.back() != index)
                    choice.matches.push_back(index);
            }
        }
        survey.entries.push_back(std::move(entry));
    }
    for (auto& item : byCode) {
        FirmwareChoice& choice = item.second;
        choice.code = item.first;
        choice.imagePath = survey.entries[choice.matches.back()].path;
        replaceAll(choice.imagePath, "-ver.bin", ".bin");
        survey.choices.push_back(std::move(choice));
    }
    return survey;
}

ImageFacts inspectImage(const std::string& imagePath, const std::string& code)
{
    ImageFacts facts;
    facts.versionPath = VersionFile::pathForImage(imagePath);
    uint32_t checksum = 0;
    switch (VersionFile::checkFile(facts.versionPath, code, checksum)) {
    case VersionFile::CannotOpen: facts.version = ImageFacts::VersionMissing; break;
    case VersionFile::ProductMismatch: facts.version = ImageFacts::VersionMismatch; break;
    case VersionFile::Ok: facts.version = ImageFacts::VersionOk; break;
    }
    facts.expectedChecksum = checksum;
    std::string ignoredCode, checksumText;
    readFirmwareDescriptor(facts.versionPath, ignoredCode, checksumText);
    facts.hasChecksumLine = !checksumText.empty();

    RawFile file;
    errno = 0;
    if (!file.open(imagePath)) {
        facts.imageError = errno ? errno : EISDIR; // opened but refused: a folder
        return facts;
    }
    facts.size = file.length();
    facts.blocks = (facts.size + kBlockBytes - 1) / kBlockBytes;
    // Whole words only, as the server sums them; a chunk is a whole number of words.
    std::vector<uint8_t> chunk(1u << 20);
    uint64_t done = 0;
    uint32_t sum = 0;
    errno = 0;
    while (done < facts.size) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(chunk.size(), facts.size - done));
        const size_t got = file.read(chunk.data(), want);
        sum += sumWords(chunk.data(), got / 4);
        done += got;
        if (got != want)
            break;
    }
    if (done != facts.size) {
        // Shrunk while being read, or a read error: not what the server would send.
        facts.imageError = errno ? errno : EIO;
        return facts;
    }
    facts.imageReadable = true;
    facts.computedChecksum = sum;
    return facts;
}

} // namespace brelvo
