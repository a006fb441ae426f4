// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

namespace brelvo {

// Dotted text to a network-order IPv4 address with inet_addr rules: text
// that is empty or not an address gives the all-ones address.
uint32_t addressFromText(const std::string& text);
// Network-order address to dotted decimal text.
std::string addressToText(uint32_t address);

// Host/network byte order for the 16- and 32-bit values the engine builds.
uint16_t hostToNet16(uint16_t v);
uint32_t hostToNet32(uint32_t v);
uint16_t netToHost16(uint16_t v);
uint32_t netToHost32(uint32_t v);

} // namespace brelvo
