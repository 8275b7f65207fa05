// Time on Windows: the system clock, file-time conversions to local calendar fields, the runtime's
// calendar conversion back, and the locale-aware date parser of the automation library.
#include <windows.h>

#include <oleauto.h>

#include <ctime>
#include <memory>

#include "base/Calendar.h"
#include "platform/Platform.h"
#include "platform/win32/Win32Util.h"

namespace tallyhive {

namespace {

class Win32TimeService final : public TimeService {
public:
    std::int64_t Now() const override {
        FILETIME now{};
        ::GetSystemTimeAsFileTime(&now);
        return win32::UnixSeconds(now);
    }

    bool ToLocal(std::int64_t utcSeconds, LocalDateTime& out) const override {
        // File times start in 1601 and system times end in 30827.
        if (utcSeconds < -11644473600LL || utcSeconds > 910692730085LL) return false;
        const FILETIME utc = win32::FileTimeOf(utcSeconds);
        FILETIME local{};
        SYSTEMTIME fields{};
        if (!::FileTimeToLocalFileTime(&utc, &local) || !::FileTimeToSystemTime(&local, &fields))
            return false;
        out = LocalDateTime{fields.wYear, fields.wMonth,  fields.wDay,
                            fields.wHour, fields.wMinute, fields.wSecond};
        return true;
    }

    bool FromLocal(const LocalDateTime& fields, std::int64_t& utcSeconds) const override {
        std::tm tm = TmForMktime(fields);
        const __time64_t seconds = ::_mktime64(&tm);
        if (seconds == -1) return false;
        utcSeconds = seconds;
        return true;
    }

    bool ParseDateText(std::string_view text, LocalDateTime& out) const override {
        std::wstring wide = win32::Wide(text);
        DATE date = 0;
        if (FAILED(::VarDateFromStr(wide.data(), LOCALE_USER_DEFAULT, 0, &date))) return false;
        SYSTEMTIME fields{};
        if (!::VariantTimeToSystemTime(date, &fields)) return false;
        out = LocalDateTime{fields.wYear, fields.wMonth,  fields.wDay,
                            fields.wHour, fields.wMinute, fields.wSecond};
        return true;
    }
};

}  // namespace

std::unique_ptr<TimeService> MakeTimeService() {
    return std::make_unique<Win32TimeService>();
}

}  // namespace tallyhive
