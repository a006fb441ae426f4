// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

namespace brelvo_test {

// What tests/support/with-netns.sh handed this process; when !usable() the
// caller skips (with skipReason) instead of touching the machine's network.
struct NetnsEnv {
    std::string skipReason, toolAddr, devNs, devsim;
    std::vector<std::string> devAddrs;

    bool usable() const { return skipReason.empty(); }
    static NetnsEnv fromEnvironment();
};

// `argv` run in the device namespace (through ip netns exec).
std::vector<std::string> inDeviceNamespace(const NetnsEnv& env, std::vector<std::string> argv);

} // namespace brelvo_test
