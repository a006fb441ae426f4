// SPDX-License-Identifier: MIT
#include "platform/HostName.h"

#include <unistd.h>

namespace brelvo {

std::string hostName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return std::string();
    return name;
}

} // namespace brelvo
