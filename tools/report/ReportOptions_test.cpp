#include "tools/report/ReportOptions.h"

#include <gtest/gtest.h>

namespace tallyhive::report {
namespace {

TEST(ParseReportArguments, UsageErrors) {
    struct Case {
        std::vector<std::string> args;
        const char* wantInError;
        const char* why;
    };
    const Case cases[] = {
        {{"--bogus"}, "unknown option --bogus", "unknown option"},
        {{"report.xml"}, "unexpected argument", "a path without --file"},
        {{"--file"}, "needs a value", "value missing at the end"},
        {{"--datastore="}, "non-empty", "empty folder"},
        {{"--file", "a", "--datastore", "b"}, "only one", "two sources"},
        {{"--json", "--json"}, "more than once", "repeated flag"},
        {{"--json=yes"}, "takes no value", "a flag with a value"},
        {{"--server-datetime", "x"}, "only with --share-form", "a pass code time without a form"},
        {{"--share-form", "--all"}, "neither --all nor --json", "a form is for one assessment"},
        {{"--share-form", "--json"}, "neither --all nor --json", "a form is not JSON"},
        {{"--all", "--file", "a.xml"}, "does not go with --file", "--all lists a folder"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        std::string error;
        EXPECT_FALSE(ParseReportArguments(c.args, error).has_value());
        EXPECT_NE(error.find(c.wantInError), std::string::npos) << error;
    }
}

TEST(ParseReportArguments, AcceptedForms) {
    std::string error;
    auto options = ParseReportArguments({"--datastore=/d", "--share-form", "--server-datetime", ""}, error);
    ASSERT_TRUE(options) << error;
    EXPECT_EQ(options->source, ReportOptions::Source::Datastore);
    EXPECT_EQ(options->where, "/d");
    EXPECT_TRUE(options->shareForm);
    EXPECT_EQ(options->serverDateTime, "") << "an empty time stamp is still a given one";

    options = ParseReportArguments({"--server-datetime=a=b", "--share-form"}, error);
    ASSERT_TRUE(options) << error;
    EXPECT_EQ(options->serverDateTime, "a=b") << "split at the first '=' only";

    options = ParseReportArguments({"--file", "--json"}, error);
    ASSERT_TRUE(options) << error;
    EXPECT_EQ(options->where, "--json") << "a value is taken as it is, even when it looks like an option";
    EXPECT_FALSE(options->json);
}

}  // namespace
}  // namespace tallyhive::report
