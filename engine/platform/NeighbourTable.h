// SPDX-License-Identifier: MIT
#pragma once

#include "platform/Error.h"

#include <cstdint>
#include <string>
#include <vector>

namespace brelvo {

// One complete entry of the system's IPv4 neighbour table: which hardware
// address an address of a directly attached network answered with. The
// address is in network byte order; the hardware address holds its six
// bytes in the low 48 bits, the first byte highest (0: none).
struct Neighbour {
    uint32_t address = 0;
    uint64_t mac = 0;
};

// The complete entries of the system's table (on Linux, this network
// namespace's), read without any privilege. False when it cannot be read.
// The one call here that asks the system: each side has its own.
bool readNeighbourTable(std::vector<Neighbour>* out, Error* error = nullptr);

// The entries of a table in the form of Linux's /proc/net/arp: complete
// ones with a six-byte hardware address; other lines are left out.
std::vector<Neighbour> parseNeighbourTable(const std::string& text);

// "aa:bb:cc:dd:ee:ff", lower case; empty for 0.
std::string macText(uint64_t mac);

} // namespace brelvo
