// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace brelvo_cli {

// The settings of `brelvo-cli check`.
struct CheckOptions {
    std::string address;
    std::string firmwareDir;
    std::string configPath; // empty: none
    bool json = false;      // one JSON document instead of text
};

} // namespace brelvo_cli
