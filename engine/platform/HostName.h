// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace brelvo {

// This machine's host name as the system gives it; empty when it will not.
std::string hostName();

} // namespace brelvo
