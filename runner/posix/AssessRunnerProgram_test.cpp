#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Processes.h"
#include "platform/posix/testing/TestSupport.h"
#include "remeasure/ConsoleCommand.h"

namespace tallyhive {
namespace {

// The built runner program itself, run the way the main program runs it.
TEST(AssessRunnerProgram, RunsWinsatFromPathAndShowsItsOutput) {
    testing::Watchdog watchdog(120);
    testing::ScratchFolder dir;
    ASSERT_EQ(::mkdir((dir / "bin").c_str(), 0700), 0);
    // /bin/sh with one free descriptor (3, closed should one be inherited): the runner it starts still
    // loads its libraries but can open no pipe, so its own interpreter cannot be started.
    testing::WriteScript(dir / "starved-sh", "exec 3<&-; ulimit -n 4; exec /bin/sh");
    struct Case {
        std::string_view why;
        std::string winsat;  // empty: none on PATH
        std::string interpreter;
        std::uint32_t wantExit;
        std::string wantOutput;
    };
    const Case cases[] = {
        {"winsat found on PATH gets the formal arguments", "echo \"winsat got: $*\"; exit 0", "/bin/sh", 0,
         "winsat got: formal -restart clean\n"},
        {"a failing winsat still lets the runner end with 0", "echo failing; exit 9", "/bin/sh", 0,
         "failing\n"},
        {"no winsat: the interpreter says so, the runner still ends with 0", "", "/bin/sh", 0, "winsat"},
        {"an interpreter that cannot start ends the runner with 1 and a reason", "echo never",
         dir / "starved-sh", 1, "AssessRunner: the command interpreter could not be started"},
    };
    for (const Case& c : cases) {
        // A sanitizer runtime opens descriptors of its own before main: a starved runner built with
        // one never gets as far as starting its interpreter, so the case says nothing there.
        if (TALLYHIVE_SANITIZED && c.interpreter != "/bin/sh") continue;
        SCOPED_TRACE(c.why);
        ::unlink((dir / "bin/winsat").c_str());
        if (!c.winsat.empty()) testing::WriteScript(dir / "bin/winsat", c.winsat);
        testing::ScopedEnv path("PATH", (dir / "bin" + ":/usr/bin:/bin").c_str());
        // The user's login shell is not the runner's interpreter: /bin/sh runs its line.
        testing::ScopedEnv shell("SHELL", "/no/such/shell");
        auto processes = MakeProcessService(c.interpreter);
        std::uint32_t code = 99;
        std::string output;
        ASSERT_TRUE(RunConsoleCommand(*processes, TALLYHIVE_RUNNER_PATH, "", code,
                                      [&](std::string_view chunk) { output.append(chunk); }));
        EXPECT_EQ(code, c.wantExit) << output;
        EXPECT_NE(output.find(c.wantOutput), std::string::npos) << output;
    }
}

}  // namespace
}  // namespace tallyhive
