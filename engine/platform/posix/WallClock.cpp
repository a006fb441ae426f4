// SPDX-License-Identifier: MIT
#include "platform/WallClock.h"

#include <cstdio>
#include <ctime>
#include <mutex>

namespace brelvo {

namespace {

// Seconds and milliseconds, rounded down also before 1970.
void split(int64_t unixMs, time_t* seconds, int* millis)
{
    int64_t s = unixMs / 1000, ms = unixMs % 1000;
    if (ms < 0)
        ms += 1000, --s;
    *seconds = static_cast<time_t>(s);
    *millis = static_cast<int>(ms);
}

// localtime_r reads the zone rules only once per process unless told to
// look again; tzset() is cheap when nothing changed. tzset() replaces the C
// library's zone strings, so the engine's threads (a report writer, a front
// end's log) take turns here.
bool localParts(time_t seconds, tm* out)
{
    static std::mutex zone;
    std::lock_guard<std::mutex> lock(zone);
    ::tzset();
    return ::localtime_r(&seconds, out) != nullptr;
}

} // namespace

int64_t unixTimeMs()
{
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

std::string isoLocalTime(int64_t unixMs)
{
    time_t seconds = 0;
    int millis = 0;
    split(unixMs, &seconds, &millis);
    tm t{};
    if (!localParts(seconds, &t) || t.tm_gmtoff % 60 != 0) {
        if (!::gmtime_r(&seconds, &t))
            return std::string();
        t.tm_gmtoff = 0;
    }
    const long offset = t.tm_gmtoff;
    const long magnitude = offset < 0 ? -offset : offset;
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02ld:%02ld", t.tm_year + 1900,
                  t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, millis, offset < 0 ? '-' : '+',
                  magnitude / 3600, magnitude / 60 % 60);
    return text;
}

std::string fileNameLocalTime(int64_t unixMs)
{
    time_t seconds = 0;
    int millis = 0;
    split(unixMs, &seconds, &millis);
    tm t{};
    if (!localParts(seconds, &t))
        return std::string();
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d_%02d-%02d-%02d", t.tm_year + 1900, t.tm_mon + 1,
                  t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    return text;
}

} // namespace brelvo
