#pragma once
#include <cstdint>
#include <functional>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_set>

namespace tallyhive::service {

// Which pass codes the service accepts at a given moment: those made from the time stamps its own
// result pages handed out in the last half hour, and those made from a client's local clock, whose
// minute may lie anywhere in the span of the world's time zones (UTC-12 to UTC+14) with a few
// minutes of clock error either side. The set is built once per minute, so checking a post costs a
// lookup, not a thousand digests.
class PassCodeWindow {
public:
    // `localStamp` gives the service's own "%Y%m%d%H%M" for an instant (what its pages carry).
    using LocalStamp = std::function<std::string(std::int64_t utcSeconds)>;
    explicit PassCodeWindow(LocalStamp localStamp) : m_localStamp(std::move(localStamp)) {}

    static constexpr std::int64_t kServerMinutes = 30;
    static constexpr std::int64_t kEarliestOffsetMinutes = -12 * 60 - 10;
    static constexpr std::int64_t kLatestOffsetMinutes = 14 * 60 + 10;

    bool Accepts(std::string_view passCode, std::int64_t nowUtc);

private:
    void Rebuild(std::int64_t minute);

    LocalStamp m_localStamp;
    std::shared_mutex m_mutex;
    std::int64_t m_minute = INT64_MIN;
    std::unordered_set<std::string> m_codes;
};

// "%Y%m%d%H%M" of the UTC calendar fields of an instant.
std::string UtcMinuteStamp(std::int64_t utcSeconds);

}  // namespace tallyhive::service
