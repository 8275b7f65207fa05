#include "service/PassCodeWindow.h"

#include <cstdio>
#include <ctime>

#include "base/Calendar.h"
#include "share/PassCode.h"

namespace tallyhive::service {

std::string UtcMinuteStamp(std::int64_t utcSeconds) {
    return FormatUtc(utcSeconds, "%Y%m%d%H%M");
}

void PassCodeWindow::Rebuild(std::int64_t minute) {
    std::unordered_set<std::string> codes;
    codes.reserve(2000);
    for (std::int64_t m = minute - kServerMinutes; m <= minute; ++m) {
        const std::string stamp = m_localStamp(m * 60);
        if (!stamp.empty()) codes.insert(PassCodeFor(stamp));
    }
    // Every local minute of every time zone is some UTC minute shifted by the zone's offset, so the
    // UTC stamps of this span cover them all, half-hour and quarter-hour zones included.
    for (std::int64_t m = minute + kEarliestOffsetMinutes; m <= minute + kLatestOffsetMinutes; ++m)
        codes.insert(PassCodeFor(UtcMinuteStamp(m * 60)));
    m_codes = std::move(codes);
    m_minute = minute;
}

bool PassCodeWindow::Accepts(std::string_view passCode, std::int64_t nowUtc) {
    const std::int64_t minute = nowUtc >= 0 ? nowUtc / 60 : (nowUtc - 59) / 60;
    {
        std::shared_lock lock(m_mutex);
        if (m_minute == minute) return m_codes.count(std::string(passCode)) != 0;
    }
    std::unique_lock lock(m_mutex);
    if (m_minute != minute) Rebuild(minute);
    return m_codes.count(std::string(passCode)) != 0;
}

}  // namespace tallyhive::service
