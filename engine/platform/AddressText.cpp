// SPDX-License-Identifier: MIT
#include "platform/AddressText.h"

#include <cstdio>
#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#endif

namespace brelvo {

uint32_t addressFromText(const std::string& text)
{
    // inet_addr also stops at an embedded zero byte; the std::string may hold
    // one, so c_str() gives exactly that behaviour.
    return ::inet_addr(text.c_str());
}

std::string addressToText(uint32_t address)
{
    const uint32_t h = ntohl(address);
    char out[16];
    std::snprintf(out, sizeof out, "%u.%u.%u.%u", (h >> 24) & 0xFFu, (h >> 16) & 0xFFu,
                  (h >> 8) & 0xFFu, h & 0xFFu);
    return out;
}

uint16_t hostToNet16(uint16_t v) { return htons(v); }
uint32_t hostToNet32(uint32_t v) { return htonl(v); }
uint16_t netToHost16(uint16_t v) { return ntohs(v); }
uint32_t netToHost32(uint32_t v) { return ntohl(v); }

} // namespace brelvo
