// SPDX-License-Identifier: MIT
#include "platform/ProcessRights.h"

#include "platform/windows/WinSupport.h"

namespace brelvo {

namespace {

// An elevated token (an administrator's "Run as administrator") is what
// raw sockets ask for on Windows.
bool elevated()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    const bool yes = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
                     elevation.TokenIsElevated != 0;
    CloseHandle(token);
    return yes;
}

} // namespace

// Windows has no numeric users: an elevated process counts as the
// superuser (0), any other as an ordinary user.
uint32_t effectiveUserId() { return elevated() ? 0 : 1000; }

std::vector<uint32_t> processGroupIds() { return {}; }

bool hasEffectiveCapability(int bit) { return bit == kCapNetRaw && elevated(); }

PingGroupRange readPingGroupRange(const std::string&)
{
    // No such setting: ICMP echo needs no right there (its echo service).
    return PingGroupRange{};
}

} // namespace brelvo
