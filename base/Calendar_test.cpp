#include "base/Calendar.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace tallyhive {
namespace {

TEST(UtcFields, InstantsAroundTheEpochAndTheCalendarsEdges) {
    struct Case {
        std::int64_t utc;
        DateTimeFields want;
        const char* why;
    };
    const Case cases[] = {
        {0, {1970, 1, 1, 0, 0, 0}, "the epoch"},
        {-1, {1969, 12, 31, 23, 59, 59}, "one second before it falls on the day before"},
        {-86400, {1969, 12, 31, 0, 0, 0}, "a whole day before"},
        {951782400, {2000, 2, 29, 0, 0, 0}, "a leap day of a year divisible by 400"},
        {4107542400, {2100, 3, 1, 0, 0, 0}, "2100 is no leap year"},
        {1782810307, {2026, 6, 30, 9, 5, 7}, "an assessment's time"},
        {-62135596800, {1, 1, 1, 0, 0, 0}, "the first day of the calendar"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        DateTimeFields fields;
        ASSERT_TRUE(UtcFields(c.utc, fields));
        EXPECT_EQ(fields, c.want);
        EXPECT_EQ(DaysFromCivil(c.want.year, c.want.month, c.want.day) * 86400 + c.want.hour * 3600 +
                      c.want.minute * 60 + c.want.second,
                  c.utc);
    }
    DateTimeFields untouched{1, 2, 3, 4, 5, 6};
    EXPECT_FALSE(UtcFields(INT64_MAX, untouched)) << "a year beyond int";
    EXPECT_EQ(untouched, (DateTimeFields{1, 2, 3, 4, 5, 6}));
}

TEST(FormatUtc, WritesTheUtcFieldsWhateverTheLocalZone) {
    EXPECT_EQ(FormatUtc(1782810307, "%Y%m%d%H%M"), "202606300905");
    EXPECT_EQ(FormatUtc(-1, "%Y-%m-%dT%H:%M:%SZ"), "1969-12-31T23:59:59Z");
    EXPECT_EQ(FormatUtc(INT64_MAX, "%Y"), "");
}

TEST(IsValidDateTime, EachFieldWithinItsRange) {
    struct Case {
        DateTimeFields fields;
        bool want;
    };
    const Case cases[] = {
        {{2024, 2, 29, 23, 59, 59}, true}, {{2023, 2, 29, 0, 0, 0}, false}, {{1900, 2, 29, 0, 0, 0}, false},
        {{2026, 13, 1, 0, 0, 0}, false},   {{2026, 0, 1, 0, 0, 0}, false},  {{2026, 4, 31, 0, 0, 0}, false},
        {{2026, 1, 1, 24, 0, 0}, false},   {{2026, 1, 1, 0, 60, 0}, false}, {{2026, 1, 1, 0, 0, -1}, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsValidDateTime(c.fields), c.want)
            << c.fields.year << "-" << c.fields.month << "-" << c.fields.day << " " << c.fields.hour << ":"
            << c.fields.minute << ":" << c.fields.second;
    }
}

}  // namespace
}  // namespace tallyhive
