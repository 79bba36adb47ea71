// The POSIX crash handler's clock against the C library's localtime_r,
// across the offset changes of zones with summer time (one with half an hour
// of it), with quarter-hour and half-hour offsets, and with none at all.

#include "platform/crash_posix_p.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

namespace {
class TimeZone
{
public:
    explicit TimeZone(const char *zone)
    {
        const char *previous = std::getenv("TZ");
        m_had = previous != nullptr;
        if (m_had)
            m_previous = previous;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~TimeZone()
    {
        if (m_had)
            setenv("TZ", m_previous.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    bool m_had = false;
    std::string m_previous;
};
} // namespace

TEST(CrashClock, MatchesTheLibraryAcrossOffsetChanges)
{
    for (const char *zone : {"UTC", "Asia/Shanghai", "Europe/Berlin", "America/New_York", "Australia/Lord_Howe",
                             "Asia/Kolkata", "Pacific/Chatham", "America/Santiago"}) {
        const TimeZone scope(zone);
        const std::time_t from = 1700000000; // mid-November 2023
        kyplatform::crashdetail::LocalClock clock;
        clock.prepare(from);
        int mismatches = 0;
        auto check = [&](std::time_t when) {
            struct tm expected;
            localtime_r(&when, &expected);
            const kyplatform::CrashTime got = clock.localTime(when);
            const bool same = got.year == expected.tm_year + 1900 && got.month == expected.tm_mon + 1
                && got.day == expected.tm_mday && got.hour == expected.tm_hour && got.minute == expected.tm_min
                && got.second == expected.tm_sec;
            if (!same && mismatches++ == 0)
                ADD_FAILURE() << zone << " at " << when << ": " << got.year << "-" << got.month << "-" << got.day << " "
                              << got.hour << ":" << got.minute << ":" << got.second;
        };
        // Every 37 minutes for two years, and every second of the stretch in
        // which the offset changes.
        const std::time_t step = 37 * 60;
        long previousOffset = 0;
        for (std::time_t when = from; when < from + 2 * 365 * 86400; when += step) {
            check(when);
            struct tm fields;
            localtime_r(&when, &fields);
            if (when != from && fields.tm_gmtoff != previousOffset) {
                for (std::time_t near = when - step; near <= when; ++near)
                    check(near);
            }
            previousOffset = fields.tm_gmtoff;
        }
        EXPECT_EQ(mismatches, 0) << zone;
    }
}
