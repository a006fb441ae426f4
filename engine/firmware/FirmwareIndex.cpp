// SPDX-License-Identifier: MIT
#include "firmware/FirmwareIndex.h"

#include "firmware/FirmwareMatch.h"
#include "platform/DirectorySearch.h"
#include "platform/Text.h"

namespace brelvo {

FirmwareIndex::FirmwareIndex(int64_t settleNs) : settleNs_(settleNs) {}

uint64_t FirmwareIndex::descriptorReads() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return reads_;
}

std::vector<FirmwareEntry> FirmwareIndex::refresh(const std::string& firmwareDir)
{
    if (firmwareDir != dir_) {
        known_.clear();
        dir_ = firmwareDir;
    }
    std::vector<FirmwareEntry> out;
    std::map<std::string, Known> next;
    for (DirectoryEntry& listed : findEntries(firmwareDir, "kvx")) {
        FirmwareEntry e;
        e.name = std::move(listed.name);
        e.path = std::move(listed.path);
        e.codeByName = mid(e.name, 4, 7);
        e.isDirectory = listed.isDirectory;
        e.size = listed.identityKnown ? listed.identity.size : 0;
        if (e.isDirectory) {
            out.push_back(std::move(e));
            continue;
        }
        auto kept = known_.find(e.name);
        const bool reuse = kept != known_.end() && listed.identityKnown && kept->second.settled &&
                           kept->second.identity == listed.identity;
        Known k;
        if (reuse) {
            k = std::move(kept->second);
            e.readable = true;
        } else if (listed.identityKnown && listed.identity.kind != FileKind::Regular) {
            // A pipe or a device would be refused when opened; opening one
            // at all can disturb whoever uses it.
            e.readable = false;
        } else {
            const int64_t readStart = wallClockNs();
            FirmwareDescriptor d;
            bool unchanged = false;
            ++reads_;
            e.readable = readFirmwareDescriptor(e.path, &d, &k.identity, &unchanged);
            if (e.readable) {
                // A file written while it was read is used as read but not
                // kept: the next call reads it again.
                k.settled = unchanged && identitySettled(k.identity, readStart, settleNs_);
                k.hasProduct = d.hasProduct;
                k.product = std::move(d.product);
                k.hasChecksum = d.hasChecksum;
                k.checksum = std::move(d.checksum);
                e.size = k.identity.size;
            }
        }
        if (e.readable) {
            e.hasProduct = k.hasProduct;
            e.product = k.product;
            e.hasChecksum = k.hasChecksum;
            e.checksum = k.checksum;
            next.emplace(e.name, std::move(k));
        }
        out.push_back(std::move(e));
    }
    known_.swap(next);
    return out;
}

std::string FirmwareIndex::find(const std::string& firmwareDir, const std::string& productCode)
{
    std::vector<FirmwareEntry> listing;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        listing = refresh(firmwareDir);
    }
    // The same walk as findFirmwareImage(): a name match, then the entry's
    // "product=" line in place of its name; the last match wins.
    std::string chosen;
    for (const FirmwareEntry& e : listing) {
        if (e.isDirectory)
            continue;
        const std::string* code = &e.codeByName;
        if (*code == productCode)
            chosen = e.path;
        if (e.readable && e.hasProduct)
            code = &e.product;
        if (*code == productCode)
            chosen = e.path;
    }
    replaceAll(chosen, "-ver.bin", ".bin");
    return chosen;
}

std::vector<FirmwareEntry> FirmwareIndex::entries(const std::string& firmwareDir)
{
    std::lock_guard<std::mutex> lock(mutex_);
    return refresh(firmwareDir);
}

} // namespace brelvo
