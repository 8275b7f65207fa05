#include "app/VersionCheck.h"

#include <gtest/gtest.h>

namespace tallyhive {
namespace {

TEST(ReleaseVersionText, PartsSplitAtDots) {
    struct Case {
        const char* productVersion;
        const char* want;
        const char* why;
    };
    const Case cases[] = {
        {"2.0.0.1", "2.00", "this release"},
        {"2.0.1.0", "2.01", "the build part joins the minor part"},
        {"2.0.10.0", "2.010", "without padding"},
        {"2.0.0", "2.00", "three parts are enough"},
        {"2.0", "", "two are not"},
        {"2.0.", "", "a final dot adds no part"},
        {"2..1", "2.1", "an empty middle part"},
        {" 2 . 0 . 3 . 9", "2.03", "parts are trimmed"},
        {"", "", "no version resource"},
        {"1.2.3.4.5", "1.23", "later parts are dropped"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(ReleaseVersionText(c.productVersion), c.want);
    }
}

TEST(IsPageVersionNewer, NumbersReadFromTheFront) {
    struct Case {
        const char* page;
        const char* program;
        bool newer;
        const char* why;
    };
    const Case cases[] = {
        {"2.1", "2.00", true, "newer"},
        {"2.00", "2.00", false, "equal"},
        {"2", "2.00", false, "equal, shorter"},
        {"1.9", "2.00", false, "older"},
        {"2.01", "2.00", true, "2.01 > 2.00"},
        {"", "2.00", false, "empty is 0"},
        {"v3", "2.00", false, "no leading number"},
        {"  2.5beta", "2.00", true, "white space and a tail"},
        {"0.1", "", true, "an unreadable program version is 0"},
        {"1e1", "2.00", true, "an exponent"},
        {"-3", "", false, "a sign"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(IsPageVersionNewer(c.page, c.program), c.newer);
    }
}

}  // namespace
}  // namespace tallyhive
