// SPDX-License-Identifier: MIT
#include "platform/NeighbourTable.h"

#include "platform/ErrorText.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sstream>
#include <unistd.h>

namespace brelvo {

namespace {

constexpr const char* kTablePath = "/proc/net/arp";
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
        in_addr a{};
        char* end = nullptr;
        errno = 0;
        const unsigned long bits = std::strtoul(flags.c_str(), &end, 16);
        if (inet_pton(AF_INET, ip.c_str(), &a) != 1 || errno || *end || !(bits & kComplete))
            continue;
        n.address = a.s_addr;
        n.mac = parseMac(hw);
        if (n.mac != 0)
            out.push_back(n);
    }
    return out;
}

bool readNeighbourTable(std::vector<Neighbour>* out, Error* error)
{
    out->clear();
    const int fd = ::open(kTablePath, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int code = errno;
        return fail(error, code, std::string("cannot open ") + kTablePath + ": " + errorTextEnglish(code));
    }
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int code = errno;
            ::close(fd);
            return fail(error, code, std::string("cannot read ") + kTablePath + ": " + errorTextEnglish(code));
        }
        if (n == 0)
            break;
        text.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    *out = parseNeighbourTable(text);
    return true;
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
