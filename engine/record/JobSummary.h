// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

namespace brelvo {

// Everything the run report keeps of one job, taken when the job ends.
struct JobSummary {
    uint64_t jobId = 0;
    int64_t startedMs = 0;   // Unix time in ms: the request was accepted
    int64_t finishedMs = 0;  // Unix time in ms: the job ended
    uint32_t deviceAddress = 0; // network byte order
    uint16_t devicePort = 0;    // network byte order
    std::string productCode;    // as received: up to 63 arbitrary bytes
    uint32_t lentAddress = 0;   // network byte order; 0 when none was lent
    std::string imagePath;
    uint64_t bytesSent = 0;     // image bytes sent at least once (capped at the image length)
    uint32_t checksum = 0;      // as sent in End (or as it would have been)
    bool checksumKnown = false; // false when the job ended before its files were read
    uint8_t options = 0;        // the option byte of End
    bool optionsSent = false;   // End went out: `options` reached the device
    std::string configPath;     // as chosen by the operator; empty: none
    int resultCode = 0;         // the job's status code when it ended
    uint32_t blocksResent = 0;
    double seconds = 0;         // from accepted to ended
    uint64_t deviceMac = 0;     // the device's hardware address (platform/NeighbourTable.h); 0: not known
    std::string station;        // the host name of the machine that served it
};

} // namespace brelvo
