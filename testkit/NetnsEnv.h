// SPDX-License-Identifier: MIT
#pragma once

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace brelvo_test {

// What tests/support/with-netns.sh handed this process; when !usable() the
// caller skips (with skipReason) instead of touching the machine's network.
struct NetnsEnv {
    std::string skipReason, toolAddr, devNs, devsim;
    std::vector<std::string> devAddrs;
    std::vector<std::string> devMacs; // each device's own hardware address (with-netns.sh --device-macs)

    bool usable() const { return skipReason.empty(); }
    static NetnsEnv fromEnvironment()
    {
        auto get = [](const char* n) { return std::string(std::getenv(n) ? std::getenv(n) : ""); };
        NetnsEnv e{get("BRELVO_NETNS_SKIP"), get("BRELVO_TOOL_ADDR"), get("BRELVO_DEV_NS"), get("BRELVO_DEVSIM"), {}, {}};
        std::istringstream in(get("BRELVO_DEV_ADDRS"));
        for (std::string a; in >> a;)
            e.devAddrs.push_back(a);
        std::istringstream macs(get("BRELVO_DEV_MACS"));
        for (std::string m; macs >> m;)
            e.devMacs.push_back(m);
        if (e.skipReason.empty() && (get("BRELVO_NETNS") != "1" || e.toolAddr.empty() || e.devNs.empty()))
            e.skipReason = "not running inside tests/support/with-netns.sh (no private network namespace)";
        return e;
    }
};

// `argv` run in the device namespace (through ip netns exec).
inline std::vector<std::string> inDeviceNamespace(const NetnsEnv& env, std::vector<std::string> argv)
{
    argv.insert(argv.begin(), {"ip", "netns", "exec", env.devNs});
    return argv;
}

} // namespace brelvo_test
