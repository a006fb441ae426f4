// SPDX-License-Identifier: MIT
#pragma once
// Inside the platform folder only: identities from the OS's stat records.

#include "platform/FileIdentity.h"

struct stat;

namespace brelvo {

FileIdentity identityFromStat(const struct stat& st);
// The identity of an open descriptor; false when it cannot be had.
bool descriptorIdentity(int fd, FileIdentity* out);

} // namespace brelvo
