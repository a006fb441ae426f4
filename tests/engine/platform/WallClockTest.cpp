// SPDX-License-Identifier: MIT
// Times in reports and events: local time with the offset in force at that
// instant, also across summer time, odd offsets and before 1970.
#include "EnvironmentScope.h"
#include "platform/WallClock.h"

#include <gtest/gtest.h>

#include <ctime>

using namespace brelvo;

TEST(WallClock, LocalTimeWithTheOffsetInForce)
{
    // 2026-12-07T01:41:05.123Z and a summer instant, 2026-07-01T12:00:00Z.
    const int64_t winter = 1796607665123, summer = 1782907200000;
    struct Case {
        const char* tz;
        int64_t ms;
        const char *iso, *fileName;
    } const cases[] = {
        {"UTC0", winter, "2026-12-07T01:41:05.123+00:00", "2026-12-07_01-41-05"},
        {"CST-8", winter, "2026-12-07T09:41:05.123+08:00", "2026-12-07_09-41-05"},
        {"NST+3:30", winter, "2026-12-06T22:11:05.123-03:30", "2026-12-06_22-11-05"},
        {"EST5EDT,M3.2.0,M11.1.0", winter, "2026-12-06T20:41:05.123-05:00", "2026-12-06_20-41-05"},
        {"EST5EDT,M3.2.0,M11.1.0", summer, "2026-07-01T08:00:00.000-04:00", "2026-07-01_08-00-00"},
        // Not whole minutes: the same instant in UTC.
        {"LMT-8:05:43", summer, "2026-07-01T12:00:00.000+00:00", "2026-07-01_20-05-43"},
        {"UTC0", -1, "1969-12-31T23:59:59.999+00:00", "1969-12-31_23-59-59"},
    };
    for (const Case& c : cases) {
        brelvo_test::EnvironmentScope env("TZ", c.tz);
        EXPECT_EQ(isoLocalTime(c.ms), c.iso) << c.tz;
        EXPECT_EQ(fileNameLocalTime(c.ms), c.fileName) << c.tz;
    }
    const int64_t before = static_cast<int64_t>(std::time(nullptr)) * 1000;
    const int64_t now = unixTimeMs();
    EXPECT_TRUE(now >= before && now < before + 2000);
}
