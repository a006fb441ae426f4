// SPDX-License-Identifier: MIT
#include "firmware/FirmwareIndex.h"

#include "platform/DirectorySearch.h"
#include "platform/Text.h"

namespace brelvo {

std::vector<std::string> FirmwareEntry::servedCodes() const
{
    if (isDirectory)
        return {};
    if (readable && hasProduct && !productCut && product != codeByName)
        return {codeByName, product};
    return {codeByName};
}

std::string FirmwareEntry::imagePath() const
{
    std::string image = path;
    replaceAll(image, "-ver.bin", ".bin");
    return image;
}

FirmwareChoice chooseFirmware(const std::vector<FirmwareEntry>& listing, const std::string& code)
{
    FirmwareChoice choice;
    choice.code = code;
    for (size_t i = 0; i < listing.size(); ++i) {
        for (const std::string& served : listing[i].servedCodes()) {
            if (served == code) {
                choice.matches.push_back(i);
                break;
            }
        }
    }
    if (!choice.matches.empty())
        choice.imagePath = listing[choice.matches.back()].imagePath();
    return choice;
}

FirmwareIndex::FirmwareIndex(int64_t settleNs) : settleNs_(settleNs) {}

uint64_t FirmwareIndex::descriptorReads() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return reads_;
}

std::optional<std::vector<FirmwareEntry>> FirmwareIndex::refresh(const std::string& firmwareDir,
                                                                 const StopCheck& stop)
{
    // Only what this listing holds is kept, so another folder starts over.
    std::vector<FirmwareEntry> out;
    std::map<std::string, Known> next;
    for (DirectoryEntry& listed : findEntries(firmwareDir, "kvx")) {
        FirmwareEntry e;
        e.name = std::move(listed.name);
        e.path = std::move(listed.path);
        e.codeByName = mid(e.name, 4, 7);
        e.isDirectory = listed.isDirectory;
        if (e.isDirectory) {
            out.push_back(std::move(e));
            continue;
        }
        auto kept = known_.find(e.name);
        std::optional<Known> k;
        if (kept != known_.end() && listed.identityKnown && kept->second.settled &&
            kept->second.lines.identity == listed.identity) {
            k = std::move(kept->second);
        } else if (!listed.identityKnown || listed.identity.kind == FileKind::Regular) {
            // A pipe or a device would be refused when opened; opening one
            // at all can disturb whoever uses it.
            const int64_t readStart = wallClockNs();
            ++reads_;
            std::optional<FirmwareDescriptor> lines = readFirmwareDescriptor(e.path, stop);
            if (lines && lines->stopped)
                return std::nullopt;
            if (lines) {
                // A file written while it was read is used as read but not
                // kept: the next call reads it again.
                const bool settled = lines->unchanged && identitySettled(lines->identity, readStart, settleNs_);
                k = Known{std::move(*lines), settled};
            }
        }
        if (k) {
            e.readable = true;
            e.hasProduct = k->lines.hasProduct;
            e.product = k->lines.product;
            e.productCut = k->lines.productCut;
            next.emplace(e.name, std::move(*k));
        }
        out.push_back(std::move(e));
    }
    known_.swap(next);
    return out;
}

std::string FirmwareIndex::find(const std::string& firmwareDir, const std::string& productCode, const StopCheck& stop)
{
    std::optional<std::vector<FirmwareEntry>> listing;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        listing = refresh(firmwareDir, stop);
    }
    return listing ? chooseFirmware(*listing, productCode).imagePath : std::string();
}

std::vector<FirmwareEntry> FirmwareIndex::entries(const std::string& firmwareDir)
{
    std::lock_guard<std::mutex> lock(mutex_);
    return *refresh(firmwareDir, {});
}

} // namespace brelvo
