#include "base/Text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tallyhive {
namespace {

TEST(EscapeHtml, OrdinaryTextsAreUnchanged) {
    struct Case {
        const char* in;
        const char* want;
    };
    const Case cases[] = {
        {"7.9", "7.9"},
        {"Windows 7 Ultimate", "Windows 7 Ultimate"},
        {"日本語のマシン", "日本語のマシン"},
        {"", ""},
        {"a&amp;b", "a&amp;amp;b"},
        {"<>\"'&", "&lt;&gt;&quot;&#39;&amp;"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(EscapeHtml(c.in), c.want);
    }
}

TEST(PercentEncode, FormValuesCarryNoDelimiterAndQueriesKeepTheUnreserved) {
    struct Case {
        std::string in;
        PercentKeep keep;
        const char* want;
    };
    const Case cases[] = {
        {"a=b&c", PercentKeep::Nothing, "%61%3D%62%26%63"},
        {"\xE6\x97\xA5 ~", PercentKeep::Nothing, "%E6%97%A5%20%7E"},
        {"Intel(R) Core i7-2600", PercentKeep::Unreserved, "Intel%28R%29%20Core%20i7-2600"},
        {"a.b_c~d&e=f", PercentKeep::Unreserved, "a.b_c~d%26e%3Df"},
        {std::string("\0\xFF", 2), PercentKeep::Unreserved, "%00%FF"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.want);
        EXPECT_EQ(PercentEncode(c.in, c.keep), c.want);
    }
}

TEST(AsciiCase, OnlyAsciiLettersFold) {
    EXPECT_TRUE(EqualsIgnoringAsciiCase("<!DocType", "<!DOCTYPE"));
    EXPECT_FALSE(EqualsIgnoringAsciiCase("abc", "abcd"));
    // UTF-8 bytes are not letters: a lower-casing that read them as Latin-1 would match these.
    EXPECT_FALSE(EqualsIgnoringAsciiCase("\xC3\x89", "\xC3\xA9"));
    EXPECT_EQ(LowerAsciiCopy("Formal.XML \xC3\x89"), "formal.xml \xC3\x89");
    EXPECT_TRUE(StartsWithIgnoringAsciiCase("HTTPS://Host/", "https://"));
    EXPECT_FALSE(StartsWithIgnoringAsciiCase("http", "https://"));
}

TEST(HexText, BothCasesMostSignificantDigitFirst) {
    const std::vector<std::uint8_t> bytes = {0x00, 0x0F, 0xA5, 0xFF};
    EXPECT_EQ(HexText(bytes), "000fa5ff");
    EXPECT_EQ(HexText(bytes, HexCase::Upper), "000FA5FF");
}

}  // namespace
}  // namespace tallyhive
