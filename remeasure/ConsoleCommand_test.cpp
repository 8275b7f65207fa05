#include "remeasure/ConsoleCommand.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "remeasure/testing/Fakes.h"

// Designated initializers name only the fields a case is about; the rest keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace tallyhive {
namespace {

using testing::FakeProcessService;
using testing::InterpreterScript;
using Output = InterpreterProcess::Output;

struct RunResult {
    bool ok = false;
    std::uint32_t exitCode = 4242;  // a value the routine must leave alone on failure
    std::string relayed;
    std::string why;
};

RunResult RunWith(FakeProcessService& processes, std::string_view path = "/opt/winsat",
                  std::string_view args = "x") {
    RunResult run;
    run.ok = RunConsoleCommand(
        processes, path, args, run.exitCode, [&](std::string_view chunk) { run.relayed.append(chunk); },
        &run.why);
    return run;
}

TEST(CommandLineFor, QuotesThePathTheWayEachInterpreterReadsIt) {
    struct Case {
        InterpreterSyntax syntax;
        std::string_view path, args, want, why;
    };
    const Case cases[] = {
        {InterpreterSyntax::PosixShell, "/tmp/x/AssessRunner", "", "'/tmp/x/AssessRunner' \n",
         "empty arguments still leave the blank after the path"},
        {InterpreterSyntax::PosixShell, "winsat", "formal -restart clean", "'winsat' formal -restart clean\n",
         "arguments stay words of their own"},
        {InterpreterSyntax::PosixShell, "/t/$HOME `id` \\n", "", "'/t/$HOME `id` \\n' \n",
         "$, backquotes and backslashes stay literal inside single quotes"},
        {InterpreterSyntax::PosixShell, "/t/it's", "", "'/t/it'\\''s' \n",
         "a single quote in the path cannot end the quoting early"},
        {InterpreterSyntax::PosixShell, "/t/a b;rm -rf x", "", "'/t/a b;rm -rf x' \n",
         "blanks and separators in the path cannot start a second command"},
        {InterpreterSyntax::WindowsCommand, "C:\\Temp\\AssessRunner.exe", "",
         "\"C:\\Temp\\AssessRunner.exe\" \r\n", "cmd gets double quotes and CR LF"},
        {InterpreterSyntax::WindowsCommand, "%WinDir%\\system32\\winsat", "formal -restart clean",
         "\"%WinDir%\\system32\\winsat\" formal -restart clean\r\n",
         "environment references are left for cmd"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(CommandLineFor(c.syntax, c.path, c.args), c.want);
    }
    EXPECT_EQ(ExitLineFor(InterpreterSyntax::PosixShell), "exit\n");
    EXPECT_EQ(ExitLineFor(InterpreterSyntax::WindowsCommand), "exit\r\n");
}

TEST(RunConsoleCommand, TypesBothLinesAndClosesTheInputBeforeReadingAnything) {
    // A program that reads its standard input would otherwise swallow "exit" and leave the
    // interpreter waiting for more input for ever.
    for (InterpreterSyntax syntax : {InterpreterSyntax::PosixShell, InterpreterSyntax::WindowsCommand}) {
        FakeProcessService processes({.reads = {{Output::Closed, ""}}}, syntax);
        ASSERT_TRUE(RunWith(processes, "/p", "a").ok);
        const auto& events = processes.log.events;
        ASSERT_GE(events.size(), 4u);
        EXPECT_EQ(std::vector<std::string>(events.begin(), events.begin() + 4),
                  (std::vector<std::string>{"write", "write", "close-input", "read"}));
        EXPECT_EQ(processes.log.input, CommandLineFor(syntax, "/p", "a") + ExitLineFor(syntax));
    }
}

TEST(RunConsoleCommand, PassesTheExitStatusOnAndNeverTurnsAnUnknownOneIntoSuccess) {
    struct Case {
        std::optional<std::uint32_t> status;
        bool ok;
        std::uint32_t want;
        std::string_view why;
    };
    const Case cases[] = {
        {0u, true, 0u, "success"},
        {1u, true, 1u, "a failing program"},
        {137u, true, 137u, "a program killed under the interpreter: the interpreter reports it"},
        {0xC0000005u, true, 0xC0000005u, "a Windows status keeps all 32 bits"},
        {std::nullopt, false, 4242u,
         "no status to read (the interpreter was killed): failure, code untouched"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        FakeProcessService processes({.reads = {{Output::Closed, ""}}, .exitCode = c.status});
        const RunResult run = RunWith(processes);
        EXPECT_EQ(run.ok, c.ok);
        EXPECT_EQ(run.exitCode, c.want);
        if (!c.ok) {
            EXPECT_FALSE(run.why.empty());
        }
    }
}

TEST(RunConsoleCommand, AnInterpreterThatCannotStartIsAFailureWithItsReason) {
    FakeProcessService processes({.startFails = true});
    const RunResult run = RunWith(processes);
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(run.exitCode, 4242u);
    EXPECT_NE(run.why.find("no such interpreter"), std::string::npos);
}

TEST(RunConsoleCommand, RelaysEveryByteInOrderUntilThePipeIsEmptyAfterTheEnd) {
    struct Case {
        InterpreterScript script;
        std::string want;
        std::string_view why;
    };
    const std::string binary("a\0b\r\n\xff", 6);
    const Case cases[] = {
        {{.reads = {{Output::Data, "one "}, {Output::Data, "two "}, {Output::Data, "three"}},
          .endsAfterQuestions = 0},
         "one two three",
         "output still waiting when the interpreter has ended is relayed first"},
        {{.reads = {{Output::Empty, ""}, {Output::Empty, ""}, {Output::Data, "late"}, {Output::Closed, ""}},
          .endsAfterQuestions = 5},
         "late",
         "quiet stretches while it runs do not end the run"},
        {{.reads = {{Output::Data, binary}, {Output::Closed, ""}}, .endsAfterQuestions = 9},
         binary,
         "bytes are relayed unchanged: no line ends needed, NUL and CR kept"},
        {{.reads = {{Output::Data, "x"}, {Output::Failed, ""}, {Output::Data, "never"}},
          .endsAfterQuestions = 9},
         "x",
         "a read that fails ends the relay, not the wait for the interpreter"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        FakeProcessService processes(c.script);
        const RunResult run = RunWith(processes);
        EXPECT_TRUE(run.ok);
        EXPECT_EQ(run.relayed, c.want);
    }
}

TEST(RunConsoleCommand, WaitsForOutputInsteadOfSpinning) {
    FakeProcessService processes({.endsAfterQuestions = 3});
    ASSERT_TRUE(RunWith(processes).ok);
    const auto& waits = processes.log.readWaits;
    ASSERT_EQ(waits.size(), 5u);  // four reads while it runs, one empty read after its end
    EXPECT_TRUE(std::all_of(waits.begin(), waits.end() - 1, [](int w) { return w > 0; }));
    EXPECT_EQ(waits.back(), 0) << "after the end only what is already waiting is taken";
}

TEST(RunConsoleCommand, EndsWhenABackgroundProgramKeepsWritingAfterTheInterpreterHasEnded) {
    FakeProcessService processes({.endsAfterQuestions = 0, .endlessOutput = std::string(64 * 1024, 'y')});
    std::size_t relayed = 0;
    std::uint32_t code = 9;
    EXPECT_TRUE(
        RunConsoleCommand(processes, "/p", "", code, [&](std::string_view c) { relayed += c.size(); }));
    EXPECT_EQ(code, 0u);
    EXPECT_GE(relayed, std::size_t{1} << 20) << "a full pipe's worth is still relayed";
}

TEST(RunConsoleCommand, ALineNeverTypedIsAFailureAfterTheInterpreterHasEnded) {
    // The interpreter's status (0 here) says nothing about a command it was never given.
    FakeProcessService processes({.writeFails = true, .endsAfterQuestions = 2, .exitCode = 0u});
    const RunResult run = RunWith(processes);
    EXPECT_FALSE(run.ok);
    EXPECT_NE(run.why.find("could not be typed"), std::string::npos) << run.why;
    EXPECT_EQ(run.exitCode, 4242u);
    const auto& events = processes.log.events;
    EXPECT_GE(std::count(events.begin(), events.end(), "ended?"), 2) << "the interpreter was waited for";
    EXPECT_NE(std::find(processes.log.events.begin(), processes.log.events.end(), "close-input"),
              processes.log.events.end());
}

}  // namespace
}  // namespace tallyhive
