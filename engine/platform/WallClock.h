// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

namespace brelvo {

// Wall-clock time for records people read: Unix time in milliseconds.
int64_t unixTimeMs();

// Local time with its offset, ISO 8601 extended format with milliseconds:
// "2026-12-07T09:41:05.123+08:00". The offset is the one in force at that
// instant (summer time included). An offset that is not whole minutes (old
// local mean times) cannot be written in this form; such instants are
// written in UTC ("...+00:00") so the text always names the right instant.
std::string isoLocalTime(int64_t unixMs);

// Local time as it may appear in a file name: "2026-12-07_09-41-05".
std::string fileNameLocalTime(int64_t unixMs);

} // namespace brelvo
