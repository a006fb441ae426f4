// SPDX-License-Identifier: MIT
#include "platform/ProcessRights.h"

#include <cstdlib>
#include <fstream>
#include <grp.h>
#include <unistd.h>

namespace brelvo {

uint32_t effectiveUserId() { return static_cast<uint32_t>(::geteuid()); }

std::vector<uint32_t> processGroupIds()
{
    std::vector<uint32_t> ids{static_cast<uint32_t>(::getegid())};
    const int count = ::getgroups(0, nullptr);
    if (count <= 0)
        return ids;
    std::vector<gid_t> groups(static_cast<size_t>(count));
    const int got = ::getgroups(count, groups.data());
    for (int i = 0; i < got; ++i) {
        if (groups[static_cast<size_t>(i)] != ::getegid())
            ids.push_back(static_cast<uint32_t>(groups[static_cast<size_t>(i)]));
    }
    return ids;
}

bool hasEffectiveCapability(int bit)
{
    if (bit < 0 || bit > 63)
        return false;
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);) {
        if (line.compare(0, 7, "CapEff:") != 0)
            continue;
        char* end = nullptr;
        const unsigned long long set = std::strtoull(line.c_str() + 7, &end, 16);
        return (set >> bit) & 1u;
    }
    return false;
}

PingGroupRange readPingGroupRange(const std::string& path)
{
    PingGroupRange range;
    std::ifstream in(path);
    long long low = 0, high = 0;
    if (in >> low >> high && low >= 0 && high >= 0 && low <= 0xFFFFFFFFll && high <= 0xFFFFFFFFll) {
        range.known = true;
        range.low = static_cast<uint32_t>(low);
        range.high = static_cast<uint32_t>(high);
    }
    return range;
}

} // namespace brelvo
