// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace brelvo {

// What a run serves with. Texts are UTF-8 paths and a dotted IPv4 address.
struct ServerSettings {
    std::string firmwareDir;
    std::string configPath;   // empty: no configuration is sent
    std::string localAddress;
    int options = 1;          // OptionUpdateBoot | OptionEraseBoot
    bool writeReport = true;  // a CSV row per device
    std::string reportPath;   // empty: a new file per start in the default folder
};

} // namespace brelvo
