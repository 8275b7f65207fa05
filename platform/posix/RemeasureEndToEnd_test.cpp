// The whole re-measure path on POSIX: the embedded runner written to a private folder, run through
// the real interpreter, finding a winsat on PATH, and removed again.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/Processes.h"
#include "platform/posix/testing/TestSupport.h"
#include "remeasure/Remeasure.h"
#include "runner/EmbeddedRunner.h"

namespace tallyhive {
namespace {

using testing::ReadFile;
using testing::ScopedEnv;
using testing::ScratchFolder;
using testing::Watchdog;
using testing::WriteScript;

namespace fs = std::filesystem;

TEST(EmbeddedRunner, CarriesTheRunnerExactlyAsBuilt) {
    const RunnerImage image = EmbeddedRunner();
    EXPECT_EQ(image.fileName, "AssessRunner");
    const std::string built = ReadFile(TALLYHIVE_RUNNER_PATH);
    ASSERT_FALSE(built.empty());
    ASSERT_EQ(image.bytes.size(), built.size());
    EXPECT_TRUE(std::equal(image.bytes.begin(), image.bytes.end(),
                           reinterpret_cast<const unsigned char*>(built.data())));
}

// The newest "Formal ... .xml" in the datastore by modification time: enough to tell whether the
// stand-in scripts below left a new file.
std::optional<FormalStamp> NewestIn(const std::string& datastore) {
    std::optional<FormalStamp> newest;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(datastore, error)) {
        const std::string name = entry.path().filename().string();
        if (name.find("Formal") == std::string::npos || entry.path().extension() != ".xml") continue;
        struct stat st {};
        if (::stat(entry.path().c_str(), &st) != 0) continue;
        if (!newest || st.st_mtime > newest->seconds)
            newest = FormalStamp{entry.path().string(), st.st_mtime};
    }
    return newest;
}

class RemeasureEndToEnd : public ::testing::Test {
protected:
    ScratchFolder scratch;
    std::string bin = scratch / "bin";
    std::string datastore = scratch / "datastore";
    std::string temp = scratch / "temp";

    void SetUp() override {
        for (const std::string& dir : {bin, datastore, temp}) ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
        // An older assessment is already there, a minute in the past.
        const std::string old = datastore + "/2020-01-01 10.00.00.000 Formal.Assessment (Initial).WinSAT.xml";
        testing::WriteFile(old, "<old/>");
        timespec times[2] = {{::time(nullptr) - 60, 0}, {::time(nullptr) - 60, 0}};
        ::utimensat(AT_FDCWD, old.c_str(), times, 0);
    }

    // A winsat on PATH that writes a new formal file after `body`.
    void StandIn(const std::string& body) { WriteScript(bin + "/winsat", body); }
    std::string WriteNewFormal() const {
        return "echo '<new/>' > '" + datastore +
               "/2030-01-01 10.00.00.000 Formal.Assessment (Recent).WinSAT.xml'";
    }

    struct Outcome {
        bool ok = false;
        bool loaded = false;
        std::string output, why;
    };
    Outcome Remeasure(const std::string& tempParent, const std::string& interpreter = "/bin/sh") {
        ScopedEnv path("PATH", (bin + ":/usr/bin:/bin").c_str());
        auto temps = MakeTempFolderService(tempParent);
        auto processes = MakeProcessService(interpreter);
        RemeasureServices services{*temps, *processes, EmbeddedRunner(),
                                   [this] { return NewestIn(datastore); }};
        Outcome out;
        out.ok = tallyhive::Remeasure(
                     services, [&](std::string_view c) { out.output.append(c); },
                     [&] { return out.loaded = true; }, &out.why) == RemeasureOutcome::Succeeded;
        return out;
    }
    bool TempIsEmpty() const { return fs::is_empty(temp); }
};

TEST_F(RemeasureEndToEnd, ANewAssessmentIsLoadedAndTheRunnerIsGone) {
    Watchdog watchdog(120);
    StandIn("echo \"winsat $*\"; echo 'Assessing...'; " + WriteNewFormal());
    const Outcome out = Remeasure(temp);
    EXPECT_TRUE(out.ok) << out.why << "\n" << out.output;
    EXPECT_TRUE(out.loaded);
    EXPECT_NE(out.output.find("winsat formal -restart clean\nAssessing...\n"), std::string::npos)
        << out.output;
    EXPECT_TRUE(TempIsEmpty()) << "runner file and private folder removed";
}

TEST_F(RemeasureEndToEnd, EveryFaultEndsInAFailureWithNothingLeftBehind) {
    Watchdog watchdog(240);
    struct Case {
        std::string_view why;
        std::string standIn;  // empty: no winsat on PATH at all
        std::string wantWhy;
        std::string interpreter = "/bin/sh";
    };
    // /bin/sh with one free descriptor (3, closed should one be inherited): the runner it starts still
    // loads its libraries but can open no pipe, so its own interpreter cannot be started.
    const std::string starved = scratch / "starved-sh";
    WriteScript(starved, "exec 3<&-; ulimit -n 4; exec /bin/sh");
    const std::string noNewer = "no newer formal result";
    const Case cases[] = {
        {"winsat missing", "", noNewer},
        {"winsat failing", "echo 'cannot assess'; exit 3", noNewer},
        {"winsat killed half-way", "echo 'half-way'; kill -9 $$", noNewer},
        {"winsat ends well but writes nothing", "echo done; exit 0", noNewer},
        {"the runner's interpreter cannot start", "echo never", "exit code 1", starved},
        {"the main program's interpreter cannot start", "echo never", "could not be started",
         "/no/such/shell"},
    };
    for (const Case& c : cases) {
        // A sanitizer runtime opens descriptors of its own before main: a starved runner built with
        // one fails before it starts its interpreter, so the case would pass for another reason.
        if (TALLYHIVE_SANITIZED && c.interpreter == starved) continue;
        SCOPED_TRACE(c.why);
        fs::remove(bin + "/winsat");
        if (!c.standIn.empty()) StandIn(c.standIn);
        ScopedEnv shell("SHELL", "/no/such/shell");  // a login shell no interpreter is taken from
        const Outcome out = Remeasure(temp, c.interpreter);
        EXPECT_FALSE(out.ok) << out.output;
        EXPECT_FALSE(out.loaded) << "the old assessment must not be shown as if it were new";
        EXPECT_NE(out.why.find(c.wantWhy), std::string::npos) << out.why;
        EXPECT_TRUE(TempIsEmpty());
    }
}

TEST_F(RemeasureEndToEnd, AnUnwritableTemporaryFolderRunsNothing) {
    Watchdog watchdog(60);
    StandIn("echo ran > '" + scratch / "ran" + "'; " + WriteNewFormal());
    const Outcome out = Remeasure("/proc");
    EXPECT_FALSE(out.ok);
    EXPECT_FALSE(fs::exists(scratch / "ran"));
}

TEST_F(RemeasureEndToEnd, AStandInThatReadsInputOrFloodsOutputStillSucceeds) {
    Watchdog watchdog(120);
    struct Case {
        std::string_view why;
        std::string body;
        std::size_t minOutput;
    };
    const Case cases[] = {
        {"winsat reads its standard input to the end", "cat >/dev/null; " + WriteNewFormal(), 0},
        {"8 MB without a single line end", "head -c 8388608 /dev/zero | tr '\\0' 'z'; " + WriteNewFormal(),
         8388608},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        fs::remove_all(datastore);
        fs::create_directory(datastore);
        StandIn(c.body);
        const Outcome out = Remeasure(temp);
        EXPECT_TRUE(out.ok) << out.why;
        EXPECT_GE(out.output.size(), c.minOutput);
        EXPECT_TRUE(TempIsEmpty());
    }
}

}  // namespace
}  // namespace tallyhive
