// Which pass codes are accepted: the service's own stamps of the last half hour, and a client's local
// minute in any time zone; nothing else.
#include <gtest/gtest.h>

#include "service/PassCodeWindow.h"
#include "share/PassCode.h"

namespace tallyhive::service {
namespace {

TEST(PassCodeWindow, AcceptsServerStampsAndEveryTimeZonesMinute) {
    // The service's local time runs 9 hours ahead of UTC here (as in Tokyo).
    const std::int64_t nine = 9 * 3600;
    PassCodeWindow window([&](std::int64_t utc) { return UtcMinuteStamp(utc + nine); });
    const std::int64_t now = 1'796'886'639;  // 2026-12-10 07:10:39 UTC
    struct Case {
        std::string stamp;
        bool accepted;
        const char* why;
    };
    const Case cases[] = {
        {UtcMinuteStamp(now + nine), true, "the stamp the result page just handed out"},
        {UtcMinuteStamp(now + nine - 30 * 60), true, "a result page loaded half an hour ago"},
        {UtcMinuteStamp(now), true, "a client on UTC"},
        {UtcMinuteStamp(now - 12 * 3600), true, "a client at UTC-12"},
        {UtcMinuteStamp(now + 14 * 3600), true, "a client at UTC+14"},
        {UtcMinuteStamp(now + 5 * 3600 + 45 * 60), true, "a client at UTC+5:45"},
        {UtcMinuteStamp(now - 13 * 3600), false, "no zone lies at UTC-13"},
        {UtcMinuteStamp(now + 15 * 3600), false, "no zone lies at UTC+15"},
        {UtcMinuteStamp(now - 2 * 86400), false, "two days old"},
        {"garbage", false, "not a time at all"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(window.Accepts(PassCodeFor(c.stamp), now), c.accepted) << c.stamp;
    }
    EXPECT_FALSE(window.Accepts("", now));
    EXPECT_FALSE(window.Accepts("0123456789abcdef0123456789abcdef", now));
}

TEST(PassCodeWindow, TheWindowMovesWithTheClock) {
    PassCodeWindow window([](std::int64_t utc) { return UtcMinuteStamp(utc); });
    const std::int64_t now = 1'796'886'639;
    const std::string code = PassCodeFor(UtcMinuteStamp(now + 14 * 3600));
    EXPECT_TRUE(window.Accepts(code, now));
    EXPECT_FALSE(window.Accepts(code, now - 3600)) << "an hour earlier it lay beyond every zone";
    EXPECT_TRUE(window.Accepts(code, now + 3600));
    EXPECT_FALSE(window.Accepts(code, now + 40 * 3600)) << "and it expires";
}

}  // namespace
}  // namespace tallyhive::service
