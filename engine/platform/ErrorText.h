// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace brelvo {

// The system's text for an errno value (or, on Windows, a Windows Sockets
// code: 10000 and up), always in English whatever the process locale, so
// logs and reports read the same everywhere.
std::string errorTextEnglish(int code);

// The code front-ends explain in their own words: the port is taken.
bool isAddressInUse(int code);

} // namespace brelvo
