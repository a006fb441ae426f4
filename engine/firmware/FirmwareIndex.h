// SPDX-License-Identifier: MIT
#pragma once

#include "platform/FileIdentity.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace brelvo {

// One "kvx" entry of a firmware folder as matching sees it.
struct FirmwareEntry {
    std::string name;
    std::string path;          // folder, '/', name
    std::string codeByName;    // name characters 4..10
    bool hasProduct = false;   // a "product=" line was found
    std::string product;       // its value, trimmed; the last line wins
    bool hasChecksum = false;  // a "checksum=" line (any letter case) was found
    std::string checksum;      // its value as written; the last line wins
    bool readable = false;     // opened and read; otherwise matched by its name only
    bool isDirectory = false;  // listed, never matched
    uint64_t size = 0;         // bytes, when it could be examined
};

// The answer of findFirmwareImage() without reading every image on every
// request: each entry's descriptor lines are read once and kept with the
// entry's identity (device, inode, size, times). Each call lists the
// folder again and examines each entry once, and reads only entries that
// are new or changed, so firmware dropped into the folder during a run is
// served on the next request. An entry that cannot be opened is matched by
// its name and tried again next time. One folder at a time: asking about
// another folder starts over. Safe to call from several threads.
class FirmwareIndex {
public:
    // File times have a coarse grain: an entry read within `settleNs` of
    // its last change is read again on the next call, so a change made in
    // the same tick as the read is not missed.
    static constexpr int64_t kDefaultSettleNs = 1000000000;
    explicit FirmwareIndex(int64_t settleNs = kDefaultSettleNs);

    // The image for `productCode` in `firmwareDir`, exactly as
    // findFirmwareImage() answers it; empty when nothing matches.
    std::string find(const std::string& firmwareDir, const std::string& productCode);
    // Every kvx entry of `firmwareDir` in the order matching visits them.
    std::vector<FirmwareEntry> entries(const std::string& firmwareDir);

    // Files opened for their descriptor lines so far.
    uint64_t descriptorReads() const;

    FirmwareIndex(const FirmwareIndex&) = delete;
    FirmwareIndex& operator=(const FirmwareIndex&) = delete;

private:
    struct Known {
        FileIdentity identity;  // of the file read, as found when it was opened
        bool settled = false;   // read long enough after its last change to be trusted
        bool hasProduct = false;
        std::string product;
        bool hasChecksum = false;
        std::string checksum;
    };

    // Brings the kept entries up to date with the folder; mutex_ held.
    std::vector<FirmwareEntry> refresh(const std::string& firmwareDir);

    const int64_t settleNs_;
    mutable std::mutex mutex_;
    std::string dir_;
    std::map<std::string, Known> known_;  // by entry name
    uint64_t reads_ = 0;
};

} // namespace brelvo
