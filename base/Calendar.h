#pragma once
#include <cstdint>
#include <ctime>
#include <string>

// Calendar arithmetic on the proleptic Gregorian calendar, exact for any year, without the C
// runtime's time zone state (which differs between platforms and is not thread-safe everywhere).
namespace tallyhive {

// Calendar fields; month 1-12, day 1-31. Local or UTC as the function that fills them says.
struct DateTimeFields {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    bool operator==(const DateTimeFields&) const = default;
};

// Days since 1970-01-01 of a date, and the date of such a day (H. Hinnant's era-based algorithms).
std::int64_t DaysFromCivil(std::int64_t year, int month, int day);
void CivilFromDays(std::int64_t days, std::int64_t& year, int& month, int& day);
// 28 to 31; `month` must be 1-12.
int DaysInMonth(std::int64_t year, int month);

// A real date and time of day: month 1-12, the day within its month, 00:00:00 to 23:59:59.
bool IsValidDateTime(const DateTimeFields& fields);

// The UTC calendar fields of an instant (seconds since 1970-01-01 UTC); false when the year does
// not fit an int.
bool UtcFields(std::int64_t utcSeconds, DateTimeFields& fields);

// The instant in UTC written by std::strftime's `layout` ("%Y-%m-%d %H:%M"). Only the date and time
// fields are known, so a layout needing a weekday or a time zone name is not for this. Empty when the
// instant cannot be written.
std::string FormatUtc(std::int64_t utcSeconds, const char* layout);

// A struct tm of local calendar fields, ready for mktime: daylight saving left to the runtime
// (tm_isdst -1) and tm_wday set to -1, so a failure can be told from the instant one second
// before 1970, for which mktime also returns -1.
std::tm TmForMktime(const DateTimeFields& fields);

}  // namespace tallyhive
