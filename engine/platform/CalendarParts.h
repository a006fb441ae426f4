// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <ctime>

namespace brelvo {

// What each system's side tells the portable wall clock about an instant
// (whole seconds since 1970, negative before it).

// Local fields and their offset east of UTC in seconds, summer time included.
bool localCalendarParts(int64_t seconds, tm* out, long* offsetSeconds);

// UTC fields.
bool utcCalendarParts(int64_t seconds, tm* out);

} // namespace brelvo
