// RunConsoleCommand with the real POSIX interpreter.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <random>

#include "platform/Processes.h"
#include "platform/posix/testing/TestSupport.h"
#include "remeasure/ConsoleCommand.h"

namespace tallyhive {
namespace {

using testing::ReadFile;
using testing::ScopedEnv;
using testing::ScratchFolder;
using testing::Watchdog;
using testing::WriteFile;
using testing::WriteScript;

struct RunResult {
    bool ok = false;
    std::uint32_t exitCode = 4242;
    std::string output;
    std::string why;
};

RunResult RunThrough(const std::string& interpreter, const std::string& program,
                     const std::string& args = "") {
    auto processes = MakeProcessService(interpreter);
    RunResult run;
    run.ok = RunConsoleCommand(
        *processes, program, args, run.exitCode, [&](std::string_view c) { run.output.append(c); }, &run.why);
    return run;
}

const char* const kShells[] = {"/bin/sh", "/bin/bash"};

TEST(PosixRunConsoleCommand, FindsThePathLiterallyAndPassesTheProgramsStatusOn) {
    Watchdog watchdog(60);
    ScratchFolder dir;
    // Each of these would be expanded, split or executed by the shell if the path were not quoted.
    const std::string odd = dir / "we $HOME `false` \\n 'q' ;x";
    ASSERT_EQ(::mkdir(odd.c_str(), 0700), 0);
    struct Case {
        std::string program;
        std::string args;
        std::uint32_t want;
        std::string_view why;
    };
    WriteScript(dir / "exit0", "exit 0");
    WriteScript(dir / "exit3", "exit 3");
    WriteScript(dir / "exit255", "exit 255");
    WriteScript(odd + "/prog", "exit 7");
    WriteScript(dir / "args",
                "[ \"$1\" = formal ] && [ \"$2\" = -restart ] && [ \"$3\" = clean ] && exit 11; exit 1");
    const Case cases[] = {
        {dir / "exit0", "", 0, "success"},
        {dir / "exit3", "", 3, "a failing program's status is the interpreter's status"},
        {dir / "exit255", "", 255, "the largest status survives"},
        {odd + "/prog", "", 7, "$, backquotes, backslashes, quotes and ; in the path stay literal"},
        {dir / "args", "formal -restart clean", 11, "the arguments arrive as separate words"},
        {dir / "missing", "", 127, "a missing program: the interpreter ran, its status says why"},
    };
    for (const char* shell : kShells) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(shell) + ": " + std::string(c.why));
            const RunResult run = RunThrough(shell, c.program, c.args);
            EXPECT_TRUE(run.ok) << run.why;
            EXPECT_EQ(run.exitCode, c.want) << run.output;
        }
    }
}

TEST(PosixRunConsoleCommand, AProgramThatReadsItsInputCannotLeaveTheInterpreterWaiting) {
    Watchdog watchdog(60);
    ScratchFolder dir;
    WriteScript(dir / "cat", "cat >/dev/null; exit 5");
    WriteScript(dir / "read", "read line; echo \"read: $line\"; exit 6");
    for (const char* shell : kShells) {
        SCOPED_TRACE(shell);
        for (const auto& [program, want] : {std::pair{dir / "cat", 5u}, std::pair{dir / "read", 6u}}) {
            SCOPED_TRACE(program);
            const RunResult run = RunThrough(shell, program);
            EXPECT_TRUE(run.ok) << run.why;
            EXPECT_EQ(run.exitCode, want) << "the status is the same as with the exit line: " << run.output;
        }
    }
}

TEST(PosixRunConsoleCommand, AKilledInterpreterHasNoStatusAndIsAFailure) {
    Watchdog watchdog(60);
    ScratchFolder dir;
    WriteScript(dir / "killparent", "echo before; kill -9 $PPID; sleep 1; echo after");
    const RunResult run = RunThrough("/bin/sh", dir / "killparent");
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(run.exitCode, 4242u) << "left untouched";
    EXPECT_NE(run.output.find("before"), std::string::npos);
}

TEST(PosixRunConsoleCommand, AProgramKilledHalfWayGivesTheInterpretersFailureStatus) {
    Watchdog watchdog(60);
    ScratchFolder dir;
    WriteScript(dir / "killself", "echo half; kill -9 $$; echo never");
    const RunResult run = RunThrough("/bin/sh", dir / "killself");
    EXPECT_TRUE(run.ok);
    EXPECT_EQ(run.exitCode, 128u + 9u);
    EXPECT_EQ(run.output.rfind("half\n", 0), 0u) << "nothing after the kill: " << run.output;
    EXPECT_EQ(run.output.find("never"), std::string::npos);
}

TEST(PosixRunConsoleCommand, RelaysLargeAndUnterminatedOutputExactly) {
    Watchdog watchdog(120);
    ScratchFolder dir;
    struct Case {
        std::string data;
        std::string_view why;
    };
    std::mt19937 random(42);
    std::string noise(24 << 20, '\0');
    for (char& c : noise) c = static_cast<char>(random());
    const Case cases[] = {
        {noise, "24 MB of every byte value, NUL and CR included, several pipe buffers long"},
        {std::string(300000, 'x'), "one long line without any line end"},
        {"no newline at the end", "a last line without its line end is not held back"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        WriteFile(dir / "data", c.data);
        WriteScript(dir / "emit", "cat '" + (dir / "data") + "'");
        const RunResult run = RunThrough("/bin/sh", dir / "emit");
        EXPECT_TRUE(run.ok) << run.why;
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_EQ(run.output.size(), c.data.size());
        EXPECT_TRUE(run.output == c.data) << "the bytes arrive unchanged and in order";
    }
}

TEST(PosixRunConsoleCommand, StandardErrorIsRelayedToo) {
    Watchdog watchdog(60);
    ScratchFolder dir;
    WriteScript(dir / "both", "echo out; echo err >&2; echo out2");
    const RunResult run = RunThrough("/bin/sh", dir / "both");
    ASSERT_TRUE(run.ok);
    EXPECT_EQ(run.output, "out\nerr\nout2\n");
}

TEST(PosixRunConsoleCommand, ABackgroundProgramHoldingThePipeDoesNotKeepTheRunAlive) {
    Watchdog watchdog(60);
    ScratchFolder dir;
    WriteScript(dir / "bg", "sleep 30 & echo $! > '" + (dir / "pid") + "'; echo started; exit 4");
    const auto start = std::chrono::steady_clock::now();
    const RunResult run = RunThrough("/bin/sh", dir / "bg");
    const auto took = std::chrono::steady_clock::now() - start;
    const std::string pid = ReadFile(dir / "pid");
    if (!pid.empty()) ::kill(std::stoi(pid), SIGKILL);
    EXPECT_TRUE(run.ok);
    EXPECT_EQ(run.exitCode, 4u);
    EXPECT_EQ(run.output, "started\n");
    EXPECT_LT(took, std::chrono::seconds(20)) << "the run waited for the background program";
}

TEST(PosixRunConsoleCommand, AnInterpreterThatCannotStartIsAFailure) {
    Watchdog watchdog(60);
    ScratchFolder dir;
    WriteFile(dir / "not-executable", "#!/bin/sh\nexit 0\n", 0644);
    struct Case {
        std::string interpreter;
        std::string_view why;
    };
    const Case cases[] = {
        {dir / "no-such-shell", "missing"},
        {dir / "not-executable", "without execute permission"},
        {dir.path(), "a folder"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        const RunResult run = RunThrough(c.interpreter, "/bin/true");
        EXPECT_FALSE(run.ok);
        EXPECT_EQ(run.exitCode, 4242u);
        EXPECT_NE(run.why.find(c.interpreter), std::string::npos) << run.why;
    }
}

TEST(PosixRunConsoleCommand, AnInterpreterThatEndsWithoutReadingItsInputDoesNotKillTheCaller) {
    Watchdog watchdog(60);
    // The command line is larger than a pipe buffer, so writing it must meet the closed pipe; a
    // SIGPIPE would end this test program.
    const RunResult run = RunThrough("/bin/true", "/x", std::string(1 << 20, 'a'));
    // The interpreter ended with 0, but the command was never given to it.
    EXPECT_FALSE(run.ok);
    EXPECT_NE(run.why.find("could not be typed"), std::string::npos) << run.why;
}

TEST(PosixRunConsoleCommand, TheInterpreterGetsOrdinarySignalsEvenWhenTheCallerIgnoresThem) {
    Watchdog watchdog(60);
    ScratchFolder dir;
    WriteScript(dir / "pipe", "kill -PIPE $$; exit 0");
    struct sigaction ignore {
    }, old{};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &old);
    const RunResult run = RunThrough("/bin/sh", dir / "pipe");
    ::sigaction(SIGPIPE, &old, nullptr);
    ASSERT_TRUE(run.ok);
    EXPECT_EQ(run.exitCode, 128u + SIGPIPE)
        << "an ignored SIGPIPE was inherited by the interpreter's programs";
}

TEST(PosixMakeProcessService, RunsBinShWhateverTheLoginShell) {
    Watchdog watchdog(60);
    ScratchFolder dir;
    WriteScript(dir / "marker-shell", "echo via-marker-shell; exec /bin/sh");
    WriteScript(dir / "prog", "echo program ran");
    struct Case {
        const char* shell;
        std::string_view why;
    };
    const std::string marker = dir / "marker-shell";
    const Case cases[] = {
        {marker.c_str(), "SHELL names another interpreter: /bin/sh all the same"},
        {"/no/such/shell", "SHELL names nothing that runs: /bin/sh"},
        {nullptr, "SHELL unset: /bin/sh"},
        {"", "SHELL empty: /bin/sh"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        ScopedEnv shell("SHELL", c.shell);
        const RunResult run = RunThrough("", dir / "prog");
        ASSERT_TRUE(run.ok) << run.why;
        EXPECT_EQ(run.output.find("via-marker-shell"), std::string::npos) << run.output;
        EXPECT_NE(run.output.find("program ran"), std::string::npos);
    }
}

}  // namespace
}  // namespace tallyhive
