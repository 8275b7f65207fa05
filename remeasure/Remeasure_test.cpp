#include "remeasure/Remeasure.h"

#include <gtest/gtest.h>

#include "remeasure/testing/Fakes.h"

// Designated initializers name only the fields a case is about; the rest keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace tallyhive {
namespace {

using testing::FakeProcessService;
using testing::FakeTempFolders;
using testing::InterpreterScript;
using Output = InterpreterProcess::Output;

const unsigned char kRunnerBytes[] = {0x7f, 'E', 'L', 'F', 0, 1, 2, 3};

struct Outcome {
    RemeasureOutcome outcome = RemeasureOutcome::Failed;
    bool ok = false;
    bool loaded = false;
    std::string relayed;
    std::string why;
};

struct Scenario {
    InterpreterScript script{.reads = {{Output::Data, "Running winsat\n"}, {Output::Closed, ""}}};
    std::optional<FormalStamp> before = FormalStamp{"/ds/old Formal.Assessment.WinSAT.xml", 1000};
    std::optional<FormalStamp> after = FormalStamp{"/ds/new Formal.Assessment.WinSAT.xml", 1300};
    bool loadResult = true;
};

struct Harness {
    FakeTempFolders temp;
    FakeProcessService processes;
    int queries = 0;

    explicit Harness(const Scenario& setup) : processes(setup.script) {}

    Outcome Run(const Scenario& setup, RunnerImage runner = {kRunnerBytes, "AssessRunner"}) {
        Outcome out;
        RemeasureServices services{temp, processes, runner,
                                   [&]() { return ++queries == 1 ? setup.before : setup.after; }};
        out.outcome = Remeasure(
            services, [&](std::string_view c) { out.relayed.append(c); },
            [&] {
                out.loaded = true;
                return setup.loadResult;
            },
            &out.why);
        out.ok = out.outcome == RemeasureOutcome::Succeeded;
        return out;
    }
};

TEST(Remeasure, SucceedsOnlyWhenTheRunEndsWellAndLeavesANewerAssessment) {
    struct Case {
        std::string_view why;
        Scenario setup;
        bool ok, ran, loaded;
    };
    const FormalStamp old{"/ds/old Formal.Assessment.WinSAT.xml", 1000};
    auto withExit = [](std::optional<std::uint32_t> code) {
        return InterpreterScript{.reads = {{Output::Closed, ""}}, .exitCode = code};
    };
    const Case cases[] = {
        {"a newer assessment after a good run is loaded", {}, true, true, true},
        {"the first assessment ever counts as newer", {.before = std::nullopt}, true, true, true},
        {"the loader's failure is the command's failure", {.loadResult = false}, false, true, true},
        {"a runner ending with 1 (its interpreter failed) fails",
         {.script = withExit(1u)},
         false,
         true,
         false},
        {"an unreadable exit status is a failure, not success",
         {.script = withExit(std::nullopt)},
         false,
         true,
         false},
        {"an interpreter that cannot start fails", {.script = {.startFails = true}}, false, false, false},
        {"winsat failed or was killed: exit 0 but the newest file is unchanged",
         {.after = old},
         false,
         true,
         false},
        {"a new file in the same second is not newer",
         {.after = FormalStamp{"/ds/other Formal.xml", 1000}},
         false,
         true,
         false},
        {"the newest file went away and an older one is left",
         {.after = FormalStamp{"/ds/older.xml", 400}},
         false,
         true,
         false},
        {"no assessment at all after the run",
         {.before = std::nullopt, .after = std::nullopt},
         false,
         true,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        Harness h(c.setup);
        const Outcome out = h.Run(c.setup);
        EXPECT_EQ(out.ok, c.ok);
        EXPECT_EQ(h.processes.log.started, c.ran);
        EXPECT_EQ(out.loaded, c.loaded);
        if (!c.ok) {
            EXPECT_FALSE(out.why.empty());
        }
        EXPECT_TRUE(h.temp.files.empty()) << "the runner file is removed on every path";
        EXPECT_TRUE(h.temp.folders.empty()) << "and so is its folder";
    }
}

// Windows may start the runner, which asks for administrator rights, apart from the interpreter and
// let the interpreter end at once; the runner then still runs from its file in a window of its own.
TEST(Remeasure, ARunnerOutlivingItsInterpreterIsStillRunningAndItsFolderGoesOnceItHasEnded) {
    const FormalStamp old{"/ds/old Formal.Assessment.WinSAT.xml", 1000};
    const FormalStamp fresh{"/ds/new Formal.Assessment.WinSAT.xml", 1300};
    struct Case {
        std::string_view why;
        std::optional<std::uint32_t> exitCode;
        FormalStamp after;
        RemeasureOutcome outcome;
    };
    const Case cases[] = {
        {"the interpreter passes on a success it cannot know", 0u, old, RemeasureOutcome::StillRunning},
        {"the interpreter ends with a code of its own", 1u, old, RemeasureOutcome::StillRunning},
        {"no exit status at all", std::nullopt, old, RemeasureOutcome::StillRunning},
        // A virus scanner may hold a runner that has ended: the new result is there all the same.
        {"the new assessment is there while the file is still held", 0u, fresh, RemeasureOutcome::Succeeded},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        const Scenario setup{.script = {.reads = {{Output::Closed, ""}}, .exitCode = c.exitCode},
                             .after = c.after};
        Harness h(setup);
        h.processes.script.onInput = [&temp = h.temp](std::string_view) {
            temp.running.insert(temp.lastWrittenPath);
        };
        const Outcome out = h.Run(setup);
        EXPECT_EQ(out.outcome, c.outcome) << out.why;
        EXPECT_EQ(out.loaded, c.outcome == RemeasureOutcome::Succeeded) << "only a result that is there";
        EXPECT_EQ(h.temp.files.size(), 1u) << "the runner file stays while it runs";
        EXPECT_EQ(h.temp.folders.size(), 1u) << "and so does its folder";

        EXPECT_FALSE(RemoveEarlierRunners(h.temp, "AssessRunner")) << "still running: nothing goes";
        EXPECT_EQ(h.temp.folders.size(), 1u);

        h.temp.running.clear();  // the runner has ended
        EXPECT_TRUE(RemoveEarlierRunners(h.temp, "AssessRunner"));
        EXPECT_TRUE(h.temp.files.empty());
        EXPECT_TRUE(h.temp.folders.empty());
    }
}

TEST(Remeasure, APartlyWrittenRunnerIsNeverRunAndIsRemoved) {
    Scenario setup;
    Harness h(setup);
    h.temp.writeFails = true;
    const Outcome out = h.Run(setup);
    EXPECT_FALSE(out.ok);
    EXPECT_FALSE(h.processes.log.started);
    EXPECT_FALSE(out.loaded);
    EXPECT_TRUE(h.temp.files.empty());
    EXPECT_TRUE(h.temp.folders.empty());
    EXPECT_NE(out.why.find("no space left"), std::string::npos);
}

TEST(Remeasure, NoPrivateFolderMeansNothingIsWrittenOrRun) {
    Scenario setup;
    Harness h(setup);
    h.temp.folderFails = true;
    const Outcome out = h.Run(setup);
    EXPECT_FALSE(out.ok);
    EXPECT_EQ(h.temp.events, std::vector<std::string>{"create-folder"});
    EXPECT_FALSE(h.processes.log.started);
}

TEST(Remeasure, RunsExactlyTheWrittenBytesFromTheFreshFolderAndRelaysTheOutput) {
    for (bool trailing : {false, true}) {
        SCOPED_TRACE(trailing ? "folder reported with a separator at its end" : "folder without one");
        Scenario setup;
        Harness h(setup);
        h.temp.trailingSeparator = trailing;
        const Outcome out = h.Run(setup);
        ASSERT_TRUE(out.ok) << out.why;
        EXPECT_EQ(h.processes.log.input, "'/tmp/tallyhive-1/AssessRunner' \nexit\n")
            << "one separator, no more";
        EXPECT_EQ(h.temp.lastWritten, std::string(std::begin(kRunnerBytes), std::end(kRunnerBytes)));
        EXPECT_EQ(out.relayed, "Running winsat\n");
        EXPECT_EQ(h.temp.events, (std::vector<std::string>{"create-folder", "write", "release", "remove-file",
                                                           "remove-folder"}));
    }
}

TEST(Remeasure, NotesTheNewestAssessmentBeforeAnythingRuns) {
    Scenario setup;
    Harness h(setup);
    int queriesWhenStarted = -1;
    FakeTempFolders& temp = h.temp;
    RemeasureServices services{temp, h.processes, {kRunnerBytes, "AssessRunner"}, [&]() {
                                   if (queriesWhenStarted < 0 && !temp.events.empty())
                                       queriesWhenStarted = h.queries;
                                   return ++h.queries == 1 ? setup.before : setup.after;
                               }};
    ASSERT_EQ(RunRemeasurement(services, nullptr), RemeasureOutcome::Succeeded);
    EXPECT_EQ(queriesWhenStarted, 1) << "the first look happened before the folder was even made";
}

TEST(Remeasure, CleansUpWhenTheProgressDisplayThrows) {
    Scenario setup;
    Harness h(setup);
    RemeasureServices services{
        h.temp, h.processes, {kRunnerBytes, "AssessRunner"}, [] { return std::nullopt; }};
    EXPECT_THROW(
        Remeasure(
            services, [](std::string_view) { throw std::runtime_error("window gone"); }, [] { return true; }),
        std::runtime_error);
    EXPECT_TRUE(h.temp.files.empty());
    EXPECT_TRUE(h.temp.folders.empty());
}

TEST(Remeasure, AProgramWithoutARunnerFailsBeforeTouchingTheDisk) {
    Scenario setup;
    Harness h(setup);
    const Outcome out = h.Run(setup, RunnerImage{{}, "AssessRunner"});
    EXPECT_FALSE(out.ok);
    EXPECT_TRUE(h.temp.events.empty());
}

}  // namespace
}  // namespace tallyhive
