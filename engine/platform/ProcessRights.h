// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace brelvo {

constexpr int kCapNetRaw = 13;

// On Windows an elevated process counts as user 0 holding kCapNetRaw, any
// other as user 1000; it has no groups and no ping group range.

uint32_t effectiveUserId();
// The effective group first, then the supplementary groups.
std::vector<uint32_t> processGroupIds();
// True when capability number `bit` is in this process's effective set.
bool hasEffectiveCapability(int bit);

// The groups allowed to open unprivileged ICMP datagram sockets in this
// network namespace: [low, high]; "1 0", the default of a new namespace,
// allows none.
struct PingGroupRange {
    bool known = false;
    uint32_t low = 1;
    uint32_t high = 0;

    bool contains(uint32_t gid) const { return known && low <= gid && gid <= high; }
    std::string text() const { return known ? std::to_string(low) + " " + std::to_string(high) : "unknown"; }
};

PingGroupRange readPingGroupRange(const std::string& path = "/proc/sys/net/ipv4/ping_group_range");

} // namespace brelvo
