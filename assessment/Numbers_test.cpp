#include "assessment/Numbers.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <string>
#include <string_view>

namespace tallyhive {
namespace {

TEST(ReadLeadingDouble, Grammar) {
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        std::string_view in;
        double want;
        std::string_view why;
    };
    const Case cases[] = {
        {"7.9", 7.9, "the usual score"},
        {"  \t\n7.9", 7.9, "leading white space is skipped"},
        {"+7.9", 7.9, "a plus sign is allowed (from_chars alone refuses it)"},
        {"-5", -5.0, "a minus sign"},
        {"7.9abc", 7.9, "reading stops at the first other character"},
        {"7,9", 7.0, "a comma is never a decimal point"},
        {"5.", 5.0, "a point without following digits"},
        {".5", 0.5, "a point without leading digits"},
        {"1e3", 1000.0, "an exponent"},
        {"1E+3", 1000.0, "an upper-case exponent with sign"},
        {"25e-1", 2.5, "a negative exponent"},
        {"1e", 1.0, "an exponent without digits is not read"},
        {"1e+", 1.0, "an exponent sign without digits is not read"},
        {"1e+x", 1.0, "the exponent marker is left for the caller"},
        {"", 0.0, "empty text reads as 0"},
        {"   ", 0.0, "white space only reads as 0"},
        {"abc", 0.0, "no number reads as 0"},
        {".", 0.0, "a lone point is no number"},
        {"-", 0.0, "a lone sign is no number"},
        {"+-5", 0.0, "two signs are no number"},
        {"- 5", 0.0, "no white space between sign and digits"},
        {"nan", 0.0, "no nan form"},
        {"inf", 0.0, "no infinity form"},
        {"infinity", 0.0, "no long infinity form"},
        {"-inf", 0.0, "no negative infinity form"},
        {"0x10", 0.0, "no hexadecimal form: reads the 0 only"},
        {"1e999", inf, "an exponent beyond range gives infinity"},
        {"-1e999", -inf, "and minus infinity with a sign"},
        {"1e99999999999999999999999", inf, "an exponent that overflows any integer"},
        {"1e-999", 0.0, "an exponent far below range gives 0"},
        {"0e999999", 0.0, "zero stays zero whatever the exponent"},
        {"0.000e99999", 0.0, "zero with a fraction stays zero"},
        {"0.0001e310", 1e306, "leading fraction zeros lower the magnitude"},
        {"00000000000000000000000000000000000012", 12.0, "many leading zeros"},
        {"1125899906842624", 1125899906842624.0, "large integers are exact"},
        {"\xe3\x80\x80"
         "5",
         0.0, "ideographic space is not white space here"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(ReadLeadingDouble(c.in), c.want) << c.in;
    }
}

TEST(ReadLeadingDouble, NegativeZeroKeepsSign) {
    EXPECT_TRUE(std::signbit(ReadLeadingDouble("-0")));
}

TEST(ReadLeadingDouble, DoesNotReadPastTheView) {
    const std::string backing = "1.5e3";
    EXPECT_EQ(ReadLeadingDouble(std::string_view(backing).substr(0, 3)), 1.5);
    EXPECT_EQ(ReadLeadingDouble(std::string_view(backing).substr(0, 4)), 1.5);
}

TEST(ReadLeadingInt64, GrammarAndSaturation) {
    constexpr long long kMax = std::numeric_limits<long long>::max();
    constexpr long long kMin = std::numeric_limits<long long>::min();
    struct Case {
        std::string_view in;
        long long want;
        std::string_view why;
    };
    const Case cases[] = {
        {"47442552", 47442552, "a time of day in milliseconds"},
        {"  -12x", -12, "white space, sign, digits, then stop"},
        {"+7", 7, "plus sign"},
        {"", 0, "empty reads as 0"},
        {"x1", 0, "no digits read as 0"},
        {"1.9", 1, "a point ends the number"},
        {"1e3", 1, "no exponent for integers"},
        {"9223372036854775807", kMax, "the maximum exactly"},
        {"9223372036854775808", kMax, "one above the maximum saturates"},
        {"99999999999999999999999999", kMax, "far above saturates"},
        {"-9223372036854775808", kMin, "the minimum exactly"},
        {"-9223372036854775809", kMin, "one below the minimum saturates"},
        {"-99999999999999999999999999", kMin, "far below saturates"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(ReadLeadingInt64(c.in), c.want) << c.in;
    }
}

TEST(FormatFixed, HalvesRoundAwayFromZero) {
    struct Case {
        double value;
        int decimals;
        std::string_view want;
        std::string_view why;
    };
    const Case cases[] = {
        {1.25, 1, "1.3", "an exact half rounds up, not to even"},
        {1.35, 1, "1.4", "1.35 is just above the half in binary"},
        {1.15, 1, "1.1", "1.15 is just below the half in binary: exact value decides"},
        {-1.25, 1, "-1.3", "negative halves round away from zero"},
        {0.5, 0, "1", "no decimals"},
        {2.5, 0, "3", "a half with an even neighbour still rounds up"},
        {99.96, 1, "100.0", "carry through every digit"},
        {9.5, 0, "10", "carry adds a digit"},
        {1.0, 1, "1.0", "trailing zero kept"},
        {8.0, 1, "8.0", "whole number with one decimal"},
        {0.0, 3, "0.000", "zero"},
        {1.0 / 3.0, 6, "0.333333", "six decimals"},
        {800.0, 6, "800.000000", "bar width text"},
        {1e20, 1, "100000000000000000000.0", "no exponent form"},
        {1.25, -3, "1", "negative decimals count as none"},
        {std::numeric_limits<double>::max(), 0,
         "17976931348623157081452742373170435679807056752584499659891747680315726078002853876058955"
         "86327668781715404589535143824642343213268894641827684675467035375169860499105765512820762"
         "45490090389328944075868508455133942304583236903222948165808559332123348274797826204144723"
         "168738177180919299881250404026184124858368",
         "the largest double in full"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(FormatFixed(c.value, c.decimals), c.want);
    }
}

// A desktop toolkit switches the C locale to the user's; numbers must not follow it.
class CommaLocale : public ::testing::Test {
protected:
    void SetUp() override {
        m_saved = std::setlocale(LC_ALL, nullptr);
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "pt_BR.UTF-8", "pt_BR.utf8"}) {
            if (std::setlocale(LC_ALL, name) != nullptr) return;
        }
        GTEST_SKIP() << "no comma-decimal locale installed (Debian package locales-all)";
    }
    void TearDown() override { std::setlocale(LC_ALL, m_saved.c_str()); }

private:
    std::string m_saved;
};

TEST_F(CommaLocale, PointStillReadsAndPrints) {
    ASSERT_EQ(*std::localeconv()->decimal_point, ',');
    EXPECT_EQ(ReadLeadingDouble("7.9"), 7.9);
    EXPECT_EQ(ReadLeadingDouble("7,9"), 7.0);
    EXPECT_EQ(FormatFixed(1.25, 1), "1.3");
    EXPECT_EQ(FormatFixed(8.0, 1), "8.0");
}

}  // namespace
}  // namespace tallyhive
