// SPDX-License-Identifier: MIT
#include "platform/NeighbourTable.h"

#include "platform/AddressText.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace brelvo {

namespace {

constexpr unsigned kComplete = 0x2; // ATF_COM: the hardware address is known

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Exactly six pairs of hex digits joined by colons.
uint64_t parseMac(const std::string& text)
{
    if (text.size() != 17)
        return 0;
    uint64_t mac = 0;
    for (size_t i = 0; i < 17; i += 3) {
        const int high = hexDigit(text[i]), low = hexDigit(text[i + 1]);
        if (high < 0 || low < 0 || (i + 2 < 17 && text[i + 2] != ':'))
            return 0;
        mac = (mac << 8) | static_cast<uint64_t>(high * 16 + low);
    }
    return mac;
}

} // namespace

std::vector<Neighbour> parseNeighbourTable(const std::string& text)
{
    std::vector<Neighbour> out;
    std::istringstream lines(text);
    std::string line;
    std::getline(lines, line); // the column titles
    while (std::getline(lines, line)) {
        // IP address, HW type, Flags, HW address, Mask, Device
        std::istringstream fields(line);
        std::string ip, type, flags, hw;
        if (!(fields >> ip >> type >> flags >> hw))
            continue;
        Neighbour n;
        char* end = nullptr;
        errno = 0;
        const unsigned long bits = std::strtoul(flags.c_str(), &end, 16);
        // The all-ones address is also how malformed text reads.
        n.address = addressFromText(ip);
        if (n.address == 0xFFFFFFFFu || errno || *end || !(bits & kComplete))
            continue;
        n.mac = parseMac(hw);
        if (n.mac != 0)
            out.push_back(n);
    }
    return out;
}

std::string macText(uint64_t mac)
{
    if (mac == 0)
        return std::string();
    char text[18];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", unsigned(mac >> 40 & 0xFF),
                  unsigned(mac >> 32 & 0xFF), unsigned(mac >> 24 & 0xFF), unsigned(mac >> 16 & 0xFF),
                  unsigned(mac >> 8 & 0xFF), unsigned(mac & 0xFF));
    return text;
}

} // namespace brelvo
