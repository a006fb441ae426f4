// SPDX-License-Identifier: MIT
#pragma once

#include "firmware/FirmwareDescriptor.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace brelvo {

// One "kvx" entry of a firmware folder as matching sees it.
struct FirmwareEntry {
    std::string name;
    std::string path;          // folder, '/', name
    std::string codeByName;    // name characters 4..10
    bool isDirectory = false;  // listed, never matched
    bool readable = false;     // its lines were read; otherwise matched by its name only
    bool hasProduct = false;   // a "product=" line was found
    std::string product;       // the last one's value
    bool productCut = false;   // too long to be any code: serves none

    // The codes a request may name to be sent this entry: the one in its
    // name, and the one its "product=" line puts in place of it (an entry
    // matched by name still counts when that line names another model).
    std::vector<std::string> servedCodes() const;
    // What the server opens for it: "-ver.bin" anywhere becomes ".bin".
    std::string imagePath() const;
};

// Who is sent what for one product code: `matches` are the entries serving
// it, as indexes into the listing in name order; the last of them wins.
struct FirmwareChoice {
    std::string code;
    std::vector<size_t> matches;
    std::string imagePath;  // the winner's; empty when nothing matches
};

// The one walk over a listing that decides which image a request gets.
FirmwareChoice chooseFirmware(const std::vector<FirmwareEntry>& listing, const std::string& code);

// Matching without reading every image on every request: each entry's lines
// are kept with its identity (device, inode, size, times) and read again only
// when that changes, so firmware dropped in during a run is served at once.
// An entry that cannot be opened is matched by its name and tried again next
// time. Safe to call from several threads.
class FirmwareIndex {
public:
    // File times have a coarse grain: an entry read within `settleNs` of its
    // last change is read again, so a change in the same tick is not missed.
    static constexpr int64_t kDefaultSettleNs = 1000000000;
    explicit FirmwareIndex(int64_t settleNs = kDefaultSettleNs);

    // The image for `productCode` in `firmwareDir`; empty when nothing
    // matches, or when `stop` ended the walk (it is then asked no more).
    std::string find(const std::string& firmwareDir, const std::string& productCode, const StopCheck& stop = {});
    // Every kvx entry of `firmwareDir` in the order matching visits them.
    std::vector<FirmwareEntry> entries(const std::string& firmwareDir);

    // Files opened for their descriptor lines so far.
    uint64_t descriptorReads() const;

    FirmwareIndex(const FirmwareIndex&) = delete;
    FirmwareIndex& operator=(const FirmwareIndex&) = delete;

private:
    struct Known {
        FirmwareDescriptor lines;
        bool settled = false;  // read long enough after its last change to be trusted
    };

    // Brings the kept entries up to date with the folder; mutex_ held.
    // Empty when `stop` ended it: what was read so far is not kept.
    std::optional<std::vector<FirmwareEntry>> refresh(const std::string& firmwareDir, const StopCheck& stop);

    const int64_t settleNs_;
    mutable std::mutex mutex_;
    std::map<std::string, Known> known_;  // by entry name
    uint64_t reads_ = 0;
};

} // namespace brelvo
