// SPDX-License-Identifier: MIT
#include "platform/CalendarParts.h"
#include "platform/WallClock.h"

#include <mutex>

namespace brelvo {

int64_t unixTimeMs()
{
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// localtime_r reads the zone rules only once per process unless told to
// look again; tzset() is cheap when nothing changed. tzset() replaces the C
// library's zone strings, so the engine's threads (a report writer, a front
// end's log) take turns here.
bool localCalendarParts(int64_t seconds, tm* out, long* offsetSeconds)
{
    const time_t at = static_cast<time_t>(seconds);
    static std::mutex zone;
    std::lock_guard<std::mutex> lock(zone);
    ::tzset();
    if (!::localtime_r(&at, out))
        return false;
    *offsetSeconds = out->tm_gmtoff;
    return true;
}

bool utcCalendarParts(int64_t seconds, tm* out)
{
    const time_t at = static_cast<time_t>(seconds);
    return ::gmtime_r(&at, out) != nullptr;
}

} // namespace brelvo
