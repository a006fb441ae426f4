// SPDX-License-Identifier: MIT
#pragma once

#include "platform/FileIdentity.h"
#include "platform/windows/WinSupport.h"

namespace brelvo::win {

// The identity of an open file handle; empty when it cannot be examined.
std::optional<FileIdentity> handleIdentity(HANDLE h);
// A handle that reads only a file's (or a folder's) attributes, links
// followed; INVALID_HANDLE_VALUE with GetLastError() on failure.
HANDLE openForAttributes(const std::string& path);

} // namespace brelvo::win
