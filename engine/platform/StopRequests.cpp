// SPDX-License-Identifier: MIT
#include "platform/StopRequests.h"

namespace brelvo {

int StopRequests::settle()
{
    int expected = 0;
    if (ending_.compare_exchange_strong(expected, -1) || expected < 0)
        return 0;
    return 128 + expected;
}

} // namespace brelvo
