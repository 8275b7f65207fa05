#include "runner/AssessRunner.h"

#include <gtest/gtest.h>

#include "remeasure/testing/Fakes.h"

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

}  // namespace
}  // namespace tallyhive
