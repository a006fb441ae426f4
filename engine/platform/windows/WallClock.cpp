// SPDX-License-Identifier: MIT
#include "platform/WallClock.h"

#include "platform/windows/WinSupport.h"

#include <cstdio>
#include <ctime>
#include <mutex>

namespace brelvo {

namespace {

void split(int64_t unixMs, __time64_t* seconds, int* millis)
{
    int64_t s = unixMs / 1000, ms = unixMs % 1000;
    if (ms < 0)
        ms += 1000, --s;
    *seconds = s;
    *millis = static_cast<int>(ms);
}

// Local time and its offset east of UTC in seconds (summer time included):
// Windows' tm has no offset field, so it is the local fields read as UTC
// less the instant.
bool localParts(__time64_t seconds, tm* out, long* offset)
{
    static std::mutex zone;
    std::lock_guard<std::mutex> lock(zone);
    _tzset();
    if (_localtime64_s(out, &seconds) != 0)
        return false;
    tm copy = *out;
    const __time64_t asUtc = _mkgmtime64(&copy);
    if (asUtc == -1)
        return false;
    *offset = static_cast<long>(asUtc - seconds);
    return true;
}

// UTC fields of any instant: the C runtime refuses those before 1970.
void utcParts(__time64_t seconds, tm* out)
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
}

} // namespace

int64_t unixTimeMs()
{
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    return win::unixNsFromFileTime(win::fileTimeTicks(now)) / 1000000;
}

std::string isoLocalTime(int64_t unixMs)
{
    __time64_t seconds = 0;
    int millis = 0;
    split(unixMs, &seconds, &millis);
    tm t{};
    long offset = 0;
    if (!localParts(seconds, &t, &offset) || offset % 60 != 0) {
        utcParts(seconds, &t);
        offset = 0;
    }
    const long magnitude = offset < 0 ? -offset : offset;
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02ld:%02ld", t.tm_year + 1900,
                  t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, millis, offset < 0 ? '-' : '+',
                  magnitude / 3600, magnitude / 60 % 60);
    return text;
}

std::string fileNameLocalTime(int64_t unixMs)
{
    __time64_t seconds = 0;
    int millis = 0;
    split(unixMs, &seconds, &millis);
    tm t{};
    long offset = 0;
    if (!localParts(seconds, &t, &offset))
        utcParts(seconds, &t);
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d_%02d-%02d-%02d", t.tm_year + 1900, t.tm_mon + 1,
                  t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    return text;
}

} // namespace brelvo
