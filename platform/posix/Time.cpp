// Time services on POSIX: the C library's local time conversions and a date text parser of our own.
#include <time.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <string_view>

#include "base/Calendar.h"
#include "base/Text.h"
#include "platform/Platform.h"

namespace tallyhive {
namespace {

// A cursor over the date text. Only ASCII is ever accepted, so the C locale plays no part.
class Scanner {
public:
    explicit Scanner(std::string_view text) : m_text(text) {}

    bool AtEnd() const { return m_pos == m_text.size(); }
    char Peek() const { return AtEnd() ? '\0' : m_text[m_pos]; }

    // Skips spaces and tabs; true when at least one was skipped.
    bool SkipBlanks() {
        const std::size_t start = m_pos;
        while (!AtEnd() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t')) ++m_pos;
        return m_pos > start;
    }

    bool Take(char c) {
        if (Peek() != c) return false;
        ++m_pos;
        return true;
    }

    // Reads between minDigits and maxDigits decimal digits; a longer run is refused, not split.
    bool Number(std::size_t minDigits, std::size_t maxDigits, int& value) {
        std::size_t count = 0;
        int result = 0;
        while (!AtEnd() && m_text[m_pos] >= '0' && m_text[m_pos] <= '9') {
            if (++count > maxDigits) return false;
            result = result * 10 + (m_text[m_pos] - '0');
            ++m_pos;
        }
        if (count < minDigits) return false;
        value = result;
        return true;
    }

    std::string_view Word() {
        const std::size_t start = m_pos;
        while (!AtEnd() && ((m_text[m_pos] >= 'a' && m_text[m_pos] <= 'z') ||
                            (m_text[m_pos] >= 'A' && m_text[m_pos] <= 'Z'))) {
            ++m_pos;
        }
        return m_text.substr(start, m_pos - start);
    }

private:
    std::string_view m_text;
    std::size_t m_pos = 0;
};

// English month names whatever the locale: the assessment tool writes them so on every system.
int MonthFromName(std::string_view word) {
    static constexpr std::array<std::string_view, 12> kMonths = {
        "January", "February", "March",     "April",   "May",      "June",
        "July",    "August",   "September", "October", "November", "December"};
    for (std::size_t i = 0; i < kMonths.size(); ++i) {
        if (EqualsIgnoringAsciiCase(word, kMonths[i]) ||
            EqualsIgnoringAsciiCase(word, kMonths[i].substr(0, 3)))
            return static_cast<int>(i) + 1;
    }
    return 0;
}

// "June 28, 2026" (the comma may be left out).
bool ParseNamedDate(Scanner& s, LocalDateTime& f) {
    f.month = MonthFromName(s.Word());
    if (f.month == 0 || !s.SkipBlanks() || !s.Number(1, 2, f.day)) return false;
    const bool comma = s.Take(',');
    const bool blanks = s.SkipBlanks();
    return (comma || blanks) && s.Number(4, 4, f.year);
}

// "2026/06/28", "2026-06-28" (year first) or the en-US "6/28/2026".
bool ParseNumericDate(Scanner& s, LocalDateTime& f) {
    int first = 0;
    Scanner probe = s;
    if (probe.Number(4, 4, first)) {
        const char separator = probe.Peek();
        if (separator != '/' && separator != '-') return false;
        s = probe;
        f.year = first;
        return s.Take(separator) && s.Number(1, 2, f.month) && s.Take(separator) && s.Number(1, 2, f.day);
    }
    return s.Number(1, 2, f.month) && s.Take('/') && s.Number(1, 2, f.day) && s.Take('/') &&
           s.Number(4, 4, f.year);
}

// "1:10:42pm", "01:10:42 PM", "13:10:42", "13:10"; false on anything else.
bool ParseTime(Scanner& s, LocalDateTime& f) {
    if (!s.Number(1, 2, f.hour) || !s.Take(':') || !s.Number(1, 2, f.minute)) return false;
    f.second = 0;
    if (s.Take(':') && !s.Number(1, 2, f.second)) return false;
    s.SkipBlanks();
    const std::string_view marker = s.Word();
    if (marker.empty()) return true;
    const bool am = EqualsIgnoringAsciiCase(marker, "am");
    const bool pm = EqualsIgnoringAsciiCase(marker, "pm");
    if (!am && !pm) return false;
    // On the 12-hour clock there is no hour 0 and no hour 13: "0:30pm" is no time at all.
    if (f.hour < 1 || f.hour > 12) return false;
    f.hour = f.hour % 12 + (pm ? 12 : 0);
    return true;
}

class PosixTimeService final : public TimeService {
public:
    std::int64_t Now() const override { return static_cast<std::int64_t>(::time(nullptr)); }

    bool ToLocal(std::int64_t utcSeconds, LocalDateTime& out) const override {
        if (utcSeconds < std::numeric_limits<time_t>::min() ||
            utcSeconds > std::numeric_limits<time_t>::max())
            return false;
        const time_t t = static_cast<time_t>(utcSeconds);
        struct tm fields {};
        if (::localtime_r(&t, &fields) == nullptr) return false;
        // tm_year counts from 1900 and may itself be near the limit of int.
        const long long year = static_cast<long long>(fields.tm_year) + 1900;
        if (year > std::numeric_limits<int>::max()) return false;
        out = LocalDateTime{static_cast<int>(year), fields.tm_mon + 1, fields.tm_mday,
                            fields.tm_hour,         fields.tm_min,     fields.tm_sec};
        // A leap second from the zone data is shown as the last second of its minute.
        if (out.second > 59) out.second = 59;
        return true;
    }

    bool FromLocal(const LocalDateTime& f, std::int64_t& utcSeconds) const override {
        // mktime would quietly carry month 13 or February 30 into the next month.
        if (!IsValidDateTime(f) || f.year < std::numeric_limits<int>::min() + 1900) return false;
        struct tm fields = TmForMktime(f);
        const time_t t = ::mktime(&fields);
        if (t == static_cast<time_t>(-1) && fields.tm_wday == -1) return false;
        utcSeconds = static_cast<std::int64_t>(t);
        return true;
    }

    bool ParseDateText(std::string_view text, LocalDateTime& out) const override {
        Scanner s(text);
        s.SkipBlanks();
        LocalDateTime f;
        const char c = s.Peek();
        const bool named = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!(named ? ParseNamedDate(s, f) : ParseNumericDate(s, f))) return false;
        // A date alone stands for its midnight, as the Windows parser takes it.
        const bool blanks = s.SkipBlanks();
        if (!s.AtEnd()) {
            if (!blanks || !ParseTime(s, f)) return false;
            s.SkipBlanks();
            if (!s.AtEnd()) return false;
        }
        if (f.year < 1 || !IsValidDateTime(f)) return false;
        out = f;
        return true;
    }
};

}  // namespace

std::unique_ptr<TimeService> MakeTimeService() {
    return std::make_unique<PosixTimeService>();
}

}  // namespace tallyhive
