// SPDX-License-Identifier: MIT
#pragma once

#include "platform/FileIdentity.h"

namespace brelvo {

// `name` in the open folder `dirFd`, so a listing examines each entry once.
std::optional<FileIdentity> fileIdentityAt(int dirFd, const char* name);

} // namespace brelvo
