// SPDX-License-Identifier: MIT
#include "platform/HostName.h"

#include "platform/windows/WinSupport.h"

namespace brelvo {

std::string hostName()
{
    // The DNS name, as gethostname gives it on the other side; no socket layer needed.
    wchar_t name[256] = {};
    DWORD size = sizeof name / sizeof name[0];
    if (!GetComputerNameExW(ComputerNameDnsHostname, name, &size))
        return std::string();
    return win::narrow(name, static_cast<int>(size));
}

} // namespace brelvo
