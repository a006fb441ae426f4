// SPDX-License-Identifier: MIT
#include "platform/WallClock.h"

#include "platform/CalendarParts.h"

#include <cstdio>

namespace brelvo {

namespace {

// Seconds and milliseconds, rounded down also before 1970.
void split(int64_t unixMs, int64_t* seconds, int* millis)
{
    int64_t s = unixMs / 1000, ms = unixMs % 1000;
    if (ms < 0)
        ms += 1000, --s;
    *seconds = s;
    *millis = static_cast<int>(ms);
}

// The fields of an instant and its milliseconds: local, or UTC (offset 0)
// where the local ones cannot be had or, for a text that states its offset,
// that offset is no whole minute.
bool fieldsOf(int64_t unixMs, tm* t, long* offset, int* millis, bool statesOffset)
{
    int64_t seconds = 0;
    split(unixMs, &seconds, millis);
    if (localCalendarParts(seconds, t, offset) && (!statesOffset || *offset % 60 == 0))
        return true;
    *offset = 0;
    return utcCalendarParts(seconds, t);
}

} // namespace

std::string isoLocalTime(int64_t unixMs)
{
    tm t{};
    long offset = 0;
    int millis = 0;
    if (!fieldsOf(unixMs, &t, &offset, &millis, true))
        return std::string();
    const long magnitude = offset < 0 ? -offset : offset;
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02ld:%02ld", t.tm_year + 1900,
                  t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, millis, offset < 0 ? '-' : '+',
                  magnitude / 3600, magnitude / 60 % 60);
    return text;
}

std::string fileNameLocalTime(int64_t unixMs)
{
    tm t{};
    long offset = 0;
    int millis = 0;
    if (!fieldsOf(unixMs, &t, &offset, &millis, false))
        return std::string();
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d_%02d-%02d-%02d", t.tm_year + 1900, t.tm_mon + 1,
                  t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    return text;
}

} // namespace brelvo
