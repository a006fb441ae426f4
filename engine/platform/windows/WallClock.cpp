// SPDX-License-Identifier: MIT
#include "platform/CalendarParts.h"
#include "platform/WallClock.h"

#include "platform/windows/WinSupport.h"

#include <ctime>
#include <mutex>

namespace brelvo {

// Local time and its offset east of UTC in seconds (summer time included):
// Windows' tm has no offset field, so it is the local fields read as UTC
// less the instant.
bool localCalendarParts(int64_t seconds, tm* out, long* offset)
{
    static std::mutex zone;
    std::lock_guard<std::mutex> lock(zone);
    _tzset();
    const __time64_t at = seconds;
    if (_localtime64_s(out, &at) != 0)
        return false;
    tm copy = *out;
    const __time64_t asUtc = _mkgmtime64(&copy);
    if (asUtc == -1)
        return false;
    *offset = static_cast<long>(asUtc - at);
    return true;
}

// UTC fields of any instant: the C runtime refuses those before 1970.
bool utcCalendarParts(int64_t seconds, tm* out)
{
    int64_t days = seconds / 86400, rest = seconds % 86400;
    if (rest < 0)
        rest += 86400, --days;
    // Civil date from days since 1970-01-01 (proleptic Gregorian).
    const int64_t z = days + 719468, era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097, yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100), mp = (5 * doy + 2) / 153;
    const int64_t month = mp < 10 ? mp + 3 : mp - 9;
    *out = tm{};
    out->tm_year = static_cast<int>(yoe + era * 400 + (month <= 2) - 1900);
    out->tm_mon = static_cast<int>(month - 1);
    out->tm_mday = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    out->tm_hour = static_cast<int>(rest / 3600);
    out->tm_min = static_cast<int>(rest / 60 % 60);
    out->tm_sec = static_cast<int>(rest % 60);
    return true;
}

int64_t unixTimeMs()
{
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    return win::unixNsFromFileTime(win::fileTimeTicks(now)) / 1000000;
}

} // namespace brelvo
