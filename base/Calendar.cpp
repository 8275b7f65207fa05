#include "base/Calendar.h"

#include <limits>

namespace tallyhive {

std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t z, std::int64_t& y, int& m, int& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = yoe + era * 400 + (m <= 2 ? 1 : 0);
}

int DaysInMonth(std::int64_t year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

bool IsValidDateTime(const DateTimeFields& f) {
    return f.month >= 1 && f.month <= 12 && f.day >= 1 && f.day <= DaysInMonth(f.year, f.month) &&
           f.hour >= 0 && f.hour <= 23 && f.minute >= 0 && f.minute <= 59 && f.second >= 0 && f.second <= 59;
}

bool UtcFields(std::int64_t utcSeconds, DateTimeFields& fields) {
    constexpr std::int64_t kSecondsPerDay = 86400;
    // Floor division, so instants before 1970 fall on the day they belong to.
    std::int64_t days = utcSeconds / kSecondsPerDay;
    std::int64_t rest = utcSeconds % kSecondsPerDay;
    if (rest < 0) {
        rest += kSecondsPerDay;
        --days;
    }
    std::int64_t year = 0;
    int month = 0;
    int day = 0;
    CivilFromDays(days, year, month, day);
    if (year < std::numeric_limits<int>::min() || year > std::numeric_limits<int>::max()) return false;
    fields = DateTimeFields{static_cast<int>(year),
                            month,
                            day,
                            static_cast<int>(rest / 3600),
                            static_cast<int>(rest / 60 % 60),
                            static_cast<int>(rest % 60)};
    return true;
}

std::string FormatUtc(std::int64_t utcSeconds, const char* layout) {
    DateTimeFields fields;
    if (!UtcFields(utcSeconds, fields)) return {};
    std::tm tm = TmForMktime(fields);
    tm.tm_isdst = 0;
    char text[64];
    const std::size_t length = std::strftime(text, sizeof text, layout, &tm);
    return std::string(text, length);
}

std::tm TmForMktime(const DateTimeFields& fields) {
    std::tm tm{};
    tm.tm_year = fields.year - 1900;
    tm.tm_mon = fields.month - 1;
    tm.tm_mday = fields.day;
    tm.tm_hour = fields.hour;
    tm.tm_min = fields.minute;
    tm.tm_sec = fields.second;
    tm.tm_isdst = -1;
    tm.tm_wday = -1;
    return tm;
}

}  // namespace tallyhive
