#include <gtest/gtest.h>

#include "tools/winsat-standin/StandIn.h"

namespace tallyhive::standin {
namespace {

TEST(ParseArguments, AcceptsWhatTheRunnerPassesAndRefusesTheRest) {
    struct Case {
        std::vector<std::string> args;
        const char* windir;
        const char* quick;
        bool ok;
        std::string wantDir;
        bool wantQuick;
        std::string_view why;
    };
    const Case cases[] = {
        {{"formal", "-restart", "clean"}, "/win", nullptr, true, "/win", false, "the runner's exact command"},
        {{"FORMAL", "-Restart", "never"},
         "/win",
         nullptr,
         true,
         "/win",
         false,
         "letter case does not matter"},
        {{"formal", "-restart"}, "/win", nullptr, true, "/win", false, "-restart without a value"},
        {{"formal", "--windows-dir", "/other"},
         "/win",
         nullptr,
         true,
         "/other",
         false,
         "the option beats WINDIR"},
        {{"formal", "--quick"}, "/win", nullptr, true, "/win", true, "quick by option"},
        {{"formal"}, "/win", "1", true, "/win", true, "quick by environment, for runs started by the runner"},
        {{"formal"}, "/win", "0", true, "/win", false, "TALLYHIVE_WINSAT_QUICK=0 means not quick"},
        {{"formal"}, "/win", "", true, "/win", false, "an empty value means not quick"},
        {{}, "/win", nullptr, false, "", false, "no assessment named"},
        {{"dwm"}, "/win", nullptr, false, "", false, "another assessment is not available"},
        {{"formal", "-bogus"},
         "/win",
         nullptr,
         false,
         "",
         false,
         "an unknown option is an error, not ignored"},
        {{"formal", "--windows-dir"}, "/win", nullptr, false, "", false, "--windows-dir without its folder"},
        {{"formal", "--windows-dir", ""},
         "/win",
         nullptr,
         false,
         "",
         false,
         "--windows-dir with an empty folder"},
        {{"formal"}, nullptr, nullptr, false, "", false, "no Windows directory anywhere"},
        {{"formal"}, "", nullptr, false, "", false, "an empty WINDIR is no Windows directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        std::string error;
        const std::optional<Options> options = ParseArguments(c.args, c.windir, c.quick, error);
        ASSERT_EQ(options.has_value(), c.ok) << error;
        if (!c.ok) {
            EXPECT_FALSE(error.empty());
            continue;
        }
        EXPECT_EQ(options->windowsDir, c.wantDir);
        EXPECT_EQ(options->quick, c.wantQuick);
    }
}

}  // namespace
}  // namespace tallyhive::standin
