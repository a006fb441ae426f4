// SPDX-License-Identifier: MIT
#pragma once

#include "check/Finding.h"

#include <string>

namespace brelvo {

// The English one-line texts of a finding, for the command line and logs.
// The window translates by id and arguments instead.
std::string findingMessage(const Finding& finding);
// What to do about it; empty for findings that need nothing done.
std::string findingRemedy(const Finding& finding);

} // namespace brelvo
