// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

namespace brelvo {

// One job as a front-end shows it, copied out of the table in one step.
struct JobSnapshot {
    uint64_t id = 0;          // unique for the server's lifetime
    int status = 0;           // JobStatus
    int progress = 0;         // 0..100
    bool finished = false;
    uint32_t lentAddress = 0; // network byte order; 0: none lent
    uint32_t deviceAddress = 0;
    uint16_t devicePort = 0;
    std::string productCode;  // as received: up to 63 arbitrary bytes
    uint64_t mac = 0;         // the device's hardware address; 0: not known (yet)
    std::string imagePath;
    uint32_t checksum = 0;    // what End carries, once the image was read
    bool checksumKnown = false;
    uint8_t options = 0;      // the option byte of End
};

} // namespace brelvo
