#include "runner/AssessRunner.h"

#include <gtest/gtest.h>

#include "platform/posix/RemeasureTestSupport.h"
#include "remeasure/TestFakes.h"

// Designated initializers name only the fields a case is about; the rest keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace tallyhive {
namespace {

using testing::FakeProcessService;
using testing::InterpreterScript;
using Output = InterpreterProcess::Output;

TEST(WindowsWinsatPath, SysnativeOnlyForA32BitRunnerOn64BitVistaOrLater) {
    struct Case {
        unsigned major;
        std::optional<bool> wow64;
        const char* want;
    };
    const Case cases[] = {
        {5, true, "%WinDir%\\system32\\winsat"},  // XP has no Sysnative, whatever WOW64 says
        {5, std::nullopt, "%WinDir%\\system32\\winsat"},
        {6, true, "%WinDir%\\Sysnative\\winsat"},           // 32-bit runner on 64-bit Vista or later
        {6, false, "%WinDir%\\system32\\winsat"},           // 32-bit Windows, or a 64-bit runner
        {10, std::nullopt, "%WinDir%\\Sysnative\\winsat"},  // a failed query counts as WOW64
    };
    for (const Case& c : cases) EXPECT_EQ(WindowsWinsatPath(c.major, c.wow64), c.want) << c.major;
}

TEST(RunAssessment, TypesWinsatWithTheFormalArguments) {
    FakeProcessService processes({.reads = {{Output::Closed, ""}}});
    EXPECT_EQ(RunAssessment(processes, "winsat", nullptr), 0);
    EXPECT_EQ(processes.log.input, "'winsat' formal -restart clean\nexit\n");
}

TEST(RunAssessment, ExitCodeSaysWhetherTheInterpreterRanToItsEnd) {
    struct Case {
        InterpreterScript script;
        int want;
        std::string_view why;
    };
    const Case cases[] = {
        {{.reads = {{Output::Closed, ""}}, .exitCode = 0u}, 0, "winsat succeeded"},
        {{.reads = {{Output::Closed, ""}}, .exitCode = 3u},
         0,
         "winsat failed: the runner still ran to its end; the main program judges the result file"},
        {{.startFails = true}, 1, "the interpreter cannot start"},
        {{.reads = {{Output::Closed, ""}}, .exitCode = std::nullopt},
         1,
         "the interpreter was killed: its end cannot be told, so not 0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        FakeProcessService processes(c.script);
        std::string why;
        EXPECT_EQ(RunAssessment(processes, "winsat", nullptr, &why), c.want);
        EXPECT_EQ(why.empty(), c.want == 0);
    }
}

// The built runner program itself, run the way the main program runs it.
TEST(AssessRunnerProgram, RunsWinsatFromPathAndShowsItsOutput) {
    testing::Watchdog watchdog(120);
    testing::ScratchFolder dir;
    ASSERT_EQ(::mkdir((dir / "bin").c_str(), 0700), 0);
    struct Case {
        std::string_view why;
        std::string winsat;  // empty: none on PATH
        const char* shell;
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
         "/no/such/shell", 1, "AssessRunner: the command interpreter could not be started"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        ::unlink((dir / "bin/winsat").c_str());
        if (!c.winsat.empty()) testing::WriteScript(dir / "bin/winsat", c.winsat);
        testing::ScopedEnv path("PATH", (dir / "bin" + ":/usr/bin:/bin").c_str());
        testing::ScopedEnv shell("SHELL", c.shell);
        auto processes = MakeProcessService("/bin/sh");
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
