// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <vector>

namespace brelvo {

// A local port free at this moment, in network byte order: a TCP socket is
// bound to port 0 and the port the system chose is read back. The port is
// also checked to be free for UDP, which is what the job binds it for; a
// number taken there is skipped and the system asked again. 0xFFFF when no
// socket could be made, bound or asked, or no free number turned up.
uint16_t findFreePort();

// The same, skipping the numbers in `exclude` (ports already handed to jobs
// that may not have bound them yet).
uint16_t findFreePortExcluding(const std::vector<uint16_t>& exclude);

} // namespace brelvo
