#include "share/PassCode.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "assessment/Services.h"
#include "base/Md5.h"
#include "base/Text.h"

namespace tallyhive {

std::string LocalMinuteStamp(std::int64_t utcSeconds, const TimeService& time) {
    LocalDateTime local;
    if (!time.ToLocal(utcSeconds, local)) return {};
    // The service expects exactly twelve digits; a year that does not fit four digits makes none.
    if (local.year < 0 || local.year > 9999) return {};
    char text[32];
    const int length = std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d", local.year, local.month,
                                     local.day, local.hour, local.minute);
    if (length != 12) return {};
    return std::string(text, static_cast<std::size_t>(length));
}

std::string PassCodeFor(std::string_view timeText) {
    std::string input(timeText);
    input += kPassCodeSalt;
    Md5Digest digest{};
    if (!ComputeMd5(input, digest)) return {};
    return HexText(digest);
}

std::string MakePassCode(std::string_view serverDateTime, const TimeService& time) {
    // The service's own time text is used exactly as the page gave it, spaces and all.
    if (!serverDateTime.empty()) return PassCodeFor(serverDateTime);
    const std::string stamp = LocalMinuteStamp(time.Now(), time);
    // Without a local time there is nothing the service could check; a code made from the salt
    // alone would only look valid.
    if (stamp.empty()) return {};
    return PassCodeFor(stamp);
}

}  // namespace tallyhive
