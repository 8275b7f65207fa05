#include <gtest/gtest.h>
#include <time.h>

#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Platform.h"

namespace tallyhive {
namespace {

// Fields as one text, so a mismatch shows every field at once.
std::string Text(const LocalDateTime& f) {
    return std::to_string(f.year) + "-" + std::to_string(f.month) + "-" + std::to_string(f.day) + " " +
           std::to_string(f.hour) + ":" + std::to_string(f.minute) + ":" + std::to_string(f.second);
}

// Runs each test in a fixed zone given as a POSIX rule, so no zone data file is needed and the
// machine's own zone never matters.
class PosixTime : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* tz = std::getenv("TZ")) m_savedTz = tz;
        Zone("UTC0");
        m_time = MakeTimeService();
    }
    void TearDown() override {
        if (m_savedTz) {
            ::setenv("TZ", m_savedTz->c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }
    static void Zone(const char* rule) {
        ::setenv("TZ", rule, 1);
        ::tzset();
    }

    std::unique_ptr<TimeService> m_time;

private:
    std::optional<std::string> m_savedTz;
};

constexpr const char* kBerlin = "CET-1CEST,M3.5.0,M10.5.0/3";
constexpr const char* kTokyo = "JST-9";

TEST_F(PosixTime, DateTextsAccepted) {
    struct Case {
        std::string_view in;
        LocalDateTime want;
        std::string_view why;
    };
    const Case cases[] = {
        {"June 28, 2026  1:10:42pm", {2026, 6, 28, 13, 10, 42}, "as the assessment tool writes it"},
        {"June 28, 2026 11:10:42am", {2026, 6, 28, 11, 10, 42}, "two-digit hour, one space"},
        {"June 28, 2026 01:10:42 PM", {2026, 6, 28, 13, 10, 42}, "padded hour, upper case, a space"},
        {"December 1, 2026 12:00:00am", {2026, 12, 1, 0, 0, 0}, "midnight is 12am"},
        {"December 1, 2026 12:30:00pm", {2026, 12, 1, 12, 30, 0}, "noon is 12pm"},
        {"january 5, 2026 1:02:03AM", {2026, 1, 5, 1, 2, 3}, "month names in any case"},
        {"Sep 9, 2026 9:09:09pm", {2026, 9, 9, 21, 9, 9}, "three-letter month"},
        {"June 28 2026 13:10:42", {2026, 6, 28, 13, 10, 42}, "no comma, 24-hour clock"},
        {"  June 28, 2026  1:10:42pm  ", {2026, 6, 28, 13, 10, 42}, "white space around"},
        {"February 29, 2024 1:00:00am", {2024, 2, 29, 1, 0, 0}, "leap day of a leap year"},
        {"February 29, 2000 1:00:00am", {2000, 2, 29, 1, 0, 0}, "leap day of a 400th year"},
        {"6/28/2026 1:10:42 PM", {2026, 6, 28, 13, 10, 42}, "en-US numeric"},
        {"12/31/2026 11:59:59 PM", {2026, 12, 31, 23, 59, 59}, "en-US last second of a year"},
        {"2026/06/28 13:10:42", {2026, 6, 28, 13, 10, 42}, "Japanese numeric"},
        {"2026/6/8 3:04:05", {2026, 6, 8, 3, 4, 5}, "Japanese unpadded"},
        {"2026-06-28 13:10:42", {2026, 6, 28, 13, 10, 42}, "year first with hyphens"},
        {"2026/06/28 13:10", {2026, 6, 28, 13, 10, 0}, "no seconds"},
        {"June 28, 2026", {2026, 6, 28, 0, 0, 0}, "a date alone is its midnight"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        LocalDateTime got;
        ASSERT_TRUE(m_time->ParseDateText(c.in, got)) << c.in;
        EXPECT_EQ(Text(got), Text(c.want)) << c.in;
    }
}

TEST_F(PosixTime, DateTextsRefused) {
    struct Case {
        std::string_view in, why;
    };
    const Case cases[] = {
        {"", "empty"},
        {"   ", "white space only"},
        {"Sunday June 28, 2026  1:10:42pm", "the day name is the caller's to remove"},
        {"June 28, 2026  1:10:42pm x", "trailing garbage"},
        {"June 28, 2026  1:10:42pmx", "letters glued to the marker"},
        {"June 28, 2026  1:10:42pm.", "a trailing full stop"},
        {"June 28, 2026x", "garbage after the date"},
        {"June 28, 202", "three-digit year"},
        {"June 28, 20266", "five-digit year"},
        {"Juni 28, 2026 1:10:42pm", "not an English month"},
        {"Ju 28, 2026 1:10:42pm", "a two-letter month"},
        {"June28, 2026 1:10:42pm", "month glued to the day"},
        {"June 0, 2026 1:10:42pm", "day 0"},
        {"June 31, 2026 1:10:42pm", "June has 30 days"},
        {"February 29, 2026 1:00:00am", "not a leap year"},
        {"February 29, 1900 1:00:00am", "a century that is not a leap year"},
        {"June 28, 2026 0:10:42pm", "hour 0 on the 12-hour clock"},
        {"June 28, 2026 13:10:42pm", "hour 13 on the 12-hour clock"},
        {"June 28, 2026 24:00:00", "hour 24"},
        {"June 28, 2026 1:60:42pm", "minute 60"},
        {"June 28, 2026 1:10:60pm", "second 60"},
        {"June 28, 2026 1:10:", "a colon without seconds"},
        {"June 28, 2026 1", "an hour without minutes"},
        {"June 28, 2026 -1:10:42", "a negative hour"},
        {"June 28, 2026 1:10:42 p.m.", "dotted marker"},
        {"June 28, 2026 1:10:42 noon", "unknown marker"},
        {"June 28, 2026 001:10:42", "three-digit hour"},
        {"13/28/2026 1:10:42 PM", "month 13"},
        {"28/06/2026 13:10:42", "day first is not the en-US order"},
        {"6/28/26 1:10:42 PM", "two-digit year"},
        {"2026/13/01 00:00:00", "month 13 year first"},
        {"2026/06/28/ 13:10:42", "an extra separator"},
        {"2026/06-28 13:10:42", "mixed separators"},
        {"2026.06.28 13:10:42", "dotted date"},
        {"0000/01/01 00:00:00", "year 0"},
        {"739795:47442552", "the day count form"},
        {"June 28, 2026\n1:10:42pm", "a line break is not a separator"},
        {"\xef\xbc\x96/28/2026 1:10:42 PM", "full-width digit"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        LocalDateTime got{1, 2, 3, 4, 5, 6};
        EXPECT_FALSE(m_time->ParseDateText(c.in, got)) << c.in;
        EXPECT_EQ(Text(got), Text({1, 2, 3, 4, 5, 6})) << "a refused text leaves the fields alone";
    }
}

TEST_F(PosixTime, DateTextIgnoresTheCLocale) {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_ALL, "ja_JP.UTF-8") == nullptr && std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr)
        GTEST_SKIP() << "no other locale installed (Debian package locales-all)";
    LocalDateTime got;
    EXPECT_TRUE(m_time->ParseDateText("June 28, 2026  1:10:42pm", got));
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_EQ(Text(got), Text({2026, 6, 28, 13, 10, 42}));
}

TEST_F(PosixTime, LocalConversionsFollowTheZone) {
    struct Case {
        const char* zone;
        LocalDateTime local;
        std::int64_t utc;
        std::string_view why;
    };
    const Case cases[] = {
        {"UTC0", {1970, 1, 1, 0, 0, 0}, 0, "the epoch"},
        {"UTC0", {1969, 12, 31, 23, 59, 59}, -1, "one second before the epoch is no failure"},
        {kTokyo, {2026, 6, 28, 13, 10, 42}, 1782619842, "nine hours east"},
        {kBerlin, {2026, 1, 15, 12, 0, 0}, 1768474800, "winter time, one hour east"},
        {kBerlin, {2026, 7, 15, 12, 0, 0}, 1784109600, "summer time, two hours east"},
        {"UTC0", {1601, 1, 1, 0, 0, 0}, -11644473600, "the oldest Windows file time"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        Zone(c.zone);
        std::int64_t utc = 0;
        ASSERT_TRUE(m_time->FromLocal(c.local, utc));
        EXPECT_EQ(utc, c.utc);
        LocalDateTime back;
        ASSERT_TRUE(m_time->ToLocal(c.utc, back));
        EXPECT_EQ(Text(back), Text(c.local));
    }
}

TEST_F(PosixTime, FieldsThatNameNoMomentAreRefused) {
    constexpr int kMinInt = std::numeric_limits<int>::min();
    struct Case {
        LocalDateTime local;
        std::string_view why;
    };
    const Case cases[] = {
        {{2026, 13, 1, 0, 0, 0}, "month 13 would carry into the next year"},
        {{2026, 0, 1, 0, 0, 0}, "month 0"},
        {{2026, 2, 30, 0, 0, 0}, "February 30 would carry into March"},
        {{2026, 6, 0, 0, 0, 0}, "day 0"},
        {{2026, 6, 28, 24, 0, 0}, "hour 24"},
        {{2026, 6, 28, -1, 0, 0}, "negative hour"},
        {{2026, 6, 28, 0, 60, 0}, "minute 60"},
        {{2026, 6, 28, 0, 0, 60}, "second 60"},
        {{kMinInt, 1, 1, 0, 0, 0}, "a year before any clock, whose offset from 1900 overflows"},
        {{kMinInt, kMinInt, kMinInt, kMinInt, kMinInt, kMinInt}, "every field at its minimum"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        std::int64_t utc = 42;
        EXPECT_FALSE(m_time->FromLocal(c.local, utc));
        EXPECT_EQ(utc, 42);
    }
}

// The last second of the largest year still fits the 64-bit clock; it must come back unchanged
// rather than overflow on the way (the year offset of 1900 is added in both directions).
TEST_F(PosixTime, LargestYearRoundTrips) {
    const LocalDateTime last{std::numeric_limits<int>::max(), 12, 31, 23, 59, 59};
    std::int64_t utc = 0;
    ASSERT_TRUE(m_time->FromLocal(last, utc));
    LocalDateTime back;
    ASSERT_TRUE(m_time->ToLocal(utc, back));
    EXPECT_EQ(Text(back), Text(last));
    EXPECT_FALSE(m_time->ToLocal(utc + 1, back)) << "one second later has no year of its own";
}

TEST_F(PosixTime, InstantsBeyondTheCalendarAreRefused) {
    for (const std::int64_t utc :
         {std::numeric_limits<std::int64_t>::max(), std::numeric_limits<std::int64_t>::min()}) {
        SCOPED_TRACE(utc);
        LocalDateTime out{1, 2, 3, 4, 5, 6};
        EXPECT_FALSE(m_time->ToLocal(utc, out));
    }
}

// Around the changes of daylight saving a local time occurs twice or not at all; the runtime picks
// an instant and nothing may crash or fail.
TEST_F(PosixTime, DaylightSavingChangesGiveAnInstant) {
    Zone(kBerlin);
    struct Case {
        LocalDateTime local;
        std::int64_t earliest, latest;
        std::string_view why;
    };
    const Case cases[] = {
        {{2026, 3, 29, 2, 30, 0}, 1774747800 - 3600, 1774747800 + 3600, "in the hour skipped in spring"},
        {{2026, 10, 25, 2, 30, 0}, 1792888200, 1792891800, "in the hour repeated in autumn"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        std::int64_t utc = 0;
        ASSERT_TRUE(m_time->FromLocal(c.local, utc));
        EXPECT_GE(utc, c.earliest);
        EXPECT_LE(utc, c.latest);
        LocalDateTime back;
        EXPECT_TRUE(m_time->ToLocal(utc, back));
    }
}

TEST_F(PosixTime, NowIsTheSystemClock) {
    const std::int64_t before = ::time(nullptr);
    const std::int64_t now = m_time->Now();
    EXPECT_GE(now, before);
    EXPECT_LE(now, ::time(nullptr));
}

}  // namespace
}  // namespace tallyhive
