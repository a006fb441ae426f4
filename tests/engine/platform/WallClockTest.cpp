// SPDX-License-Identifier: MIT
// Times in reports and events: local time with the offset in force at that
// instant, also across summer time, odd offsets and before 1970.
#include "EnvironmentScope.h"
#include "ExpectedText.h"
#include "platform/WallClock.h"

#include <gtest/gtest.h>

#include <ctime>

using namespace brelvo;

TEST(WallClock, LocalTimeWithTheOffsetInForce)
{
    // 2026-12-07T01:41:05.123Z and a summer instant, 2026-07-01T12:00:00Z. An offset of no whole minutes (LMT)
    // is written as the same instant in UTC, the file name keeps the local time.
    const int64_t winter = 1796607665123, summer = 1782907200000;
    const std::pair<const char*, int64_t> cases[] = {
        {"UTC0", winter}, {"CST-8", winter}, {"NST+3:30", winter}, {"EST5EDT,M3.2.0,M11.1.0", winter},
        {"EST5EDT,M3.2.0,M11.1.0", summer}, {"LMT-8:05:43", summer}, {"UTC0", -1}};
    std::string out; // TZ, instant, the ISO form, the file name form
    for (const auto& [tz, ms] : cases) {
        brelvo_test::EnvironmentScope env("TZ", tz);
        out += std::string(tz) + " " + std::to_string(ms) + " " + isoLocalTime(ms) + " " + fileNameLocalTime(ms) + '\n';
    }
    EXPECT_EQ(brelvo_test::expectedFileDiff(BRELVO_EXPECTED_DIR "/wall-clock.txt", out), "");
    const int64_t before = static_cast<int64_t>(std::time(nullptr)) * 1000;
    const int64_t now = unixTimeMs();
    EXPECT_TRUE(now >= before && now < before + 2000);
}
