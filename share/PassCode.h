#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace tallyhive {

class TimeService;

inline constexpr std::string_view kPassCodeSalt = "3kq52xb8m4";

// "%Y%m%d%H%M" of an instant in local time (12 digits); empty when it cannot be converted.
std::string LocalMinuteStamp(std::int64_t utcSeconds, const TimeService& time);

// The pass code for a time text: MD5 of the text followed by the salt, 32 lowercase hex digits;
// empty when the digest fails.
std::string PassCodeFor(std::string_view timeText);

// The share's pass code: from serverDateTime when it is not empty, else from the local clock.
std::string MakePassCode(std::string_view serverDateTime, const TimeService& time);

}  // namespace tallyhive
