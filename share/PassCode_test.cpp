#include "share/PassCode.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "assessment/testing/Fakes.h"
#include "base/Md5.h"

namespace tallyhive {
namespace {

std::string Hex(const Md5Digest& digest) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (const std::uint8_t byte : digest) {
        out += kHex[byte >> 4];
        out += kHex[byte & 0x0F];
    }
    return out;
}

TEST(ComputeMd5, Rfc1321TestSuite) {
    struct Case {
        std::string_view in, want;
    };
    const Case cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        Md5Digest digest{};
        ASSERT_TRUE(ComputeMd5(c.in, digest));
        EXPECT_EQ(Hex(digest), c.want);
    }
}

TEST(ComputeMd5, DigestsEmbeddedZeroBytes) {
    Md5Digest whole{}, cut{};
    ASSERT_TRUE(ComputeMd5(std::string_view("a\0b", 3), whole));
    ASSERT_TRUE(ComputeMd5("a", cut));
    EXPECT_NE(Hex(whole), Hex(cut)) << "the input must not end at a zero byte";
}

TEST(PassCodeFor, SaltedDigestOfTheTextAsGiven) {
    struct Case {
        std::string_view in, want, why;
    };
    const Case cases[] = {
        {"201403050907", "fb1f49928b8f930d5b4470da8bd44ae2", "twelve digits and the salt, 22 bytes"},
        {"201403050908", "ae1dfe25b1b0c29c4add9fecccab004a", "one minute later differs"},
        {" 201403050907 ", "8f7a9d9181c23372181f3097f685734f", "spaces around are digested with the text"},
        {"2026-06-28 13:10:42", "f007c48d8b4b6655ede3b61cf4899d22", "any form the service writes, unchecked"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(PassCodeFor(c.in), c.want);
    }
}

TEST(LocalMinuteStamp, TwelveDigitsOfLocalTime) {
    struct Case {
        std::int64_t offset;
        LocalDateTime local;
        std::string_view want, why;
    };
    const Case cases[] = {
        {0, {2014, 3, 5, 9, 7, 0}, "201403050907", "every field zero-padded"},
        {0, {2014, 3, 5, 9, 7, 59}, "201403050907", "seconds are dropped, not rounded"},
        {9 * 3600, {2026, 12, 31, 23, 59, 0}, "202612312359", "the local zone applies, not UTC"},
        {-5 * 3600, {1999, 1, 1, 0, 0, 0}, "199901010000", "a zone west of UTC"},
        {0, {999, 1, 1, 0, 0, 0}, "099901010000", "a three-digit year is padded to four"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        FakeTimeService time(c.offset);
        const auto& f = c.local;
        EXPECT_EQ(LocalMinuteStamp(time.Utc(f.year, f.month, f.day, f.hour, f.minute, f.second), time),
                  c.want);
    }
}

TEST(LocalMinuteStamp, EmptyWhenNoTwelveDigitsCanBeMade) {
    FakeTimeService time;
    EXPECT_EQ(LocalMinuteStamp(time.Utc(10000, 1, 1), time), "") << "a five-digit year";
    EXPECT_EQ(LocalMinuteStamp(time.Utc(-1, 1, 1), time), "") << "a year before 0";
    FakeTimeService far(1);
    EXPECT_EQ(LocalMinuteStamp(std::numeric_limits<std::int64_t>::max(), far), "") << "no local time";
}

TEST(MakePassCode, ServerTextOrLocalClock) {
    FakeTimeService time(9 * 3600);
    time.now = time.Utc(2014, 3, 5, 9, 7, 0);
    const std::string atSeven = MakePassCode("", time);
    EXPECT_EQ(atSeven, PassCodeFor("201403050907")) << "no server text: the local minute";

    time.now += 59;
    EXPECT_EQ(MakePassCode("", time), atSeven) << "the same local minute gives the same code";
    time.now += 1;
    EXPECT_NE(MakePassCode("", time), atSeven) << "the next minute gives another code";

    const std::string server = MakePassCode("201403050907", time);
    time.now += 86400;
    time.offsetSeconds = -5 * 3600;
    EXPECT_EQ(MakePassCode("201403050907", time), server) << "a server text ignores clock and zone";
    EXPECT_EQ(server, atSeven) << "and equals the code of the same local minute";
    EXPECT_NE(MakePassCode(" 201403050907", time), server) << "spaces are kept";
}

TEST(MakePassCode, EmptyWhenTheClockCannotBeRead) {
    FakeTimeService time(1);
    time.now = std::numeric_limits<std::int64_t>::max();
    EXPECT_EQ(MakePassCode("", time), "") << "never a code from the salt alone";
    EXPECT_EQ(MakePassCode("201403050907", time).size(), 32u) << "the server text still serves";
}

TEST(MakePassCode, AlwaysThirtyTwoLowercaseHexDigits) {
    FakeTimeService time;
    for (const std::string_view text : {"", "201403050907", "ABC", "\xe3\x82\xa2", " "}) {
        SCOPED_TRACE(text);
        const std::string code = MakePassCode(text, time);
        ASSERT_EQ(code.size(), 32u);
        EXPECT_EQ(code.find_first_not_of("0123456789abcdef"), std::string::npos) << code;
    }
}

}  // namespace
}  // namespace tallyhive
