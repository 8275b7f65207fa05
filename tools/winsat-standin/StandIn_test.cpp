// The built stand-in run as the runner runs it: its files must be the newest formal assessment and
// pass every check the program makes, and a run that cannot save must not end with 0.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "assessment/AssessmentResult.h"
#include "assessment/Loading.h"
#include "platform/Platform.h"

namespace {

namespace fs = std::filesystem;
using namespace tallyhive;

struct Outcome {
    int status = -1;
    std::string output;
};

Outcome RunStandIn(const std::string& arguments) {
    Outcome run;
    const std::string command =
        std::string("TALLYHIVE_WINSAT_QUICK=1 '") + TALLYHIVE_WINSAT_PROGRAM + "' " + arguments + " 2>&1";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.output.append(buffer, n);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

class StandIn : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "tallyhive-standin-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }
    fs::path m_dir;
};

TEST_F(StandIn, WritesTheNewestFormalAssessmentThatPassesEveryCheck) {
    const std::string windows = (m_dir / "Windows").string();
    std::string datastore;
    for (int i = 0; i < 2; ++i) {
        const Outcome run = RunStandIn("formal -restart clean --windows-dir '" + windows + "'");
        ASSERT_EQ(run.status, 0) << run.output;
        EXPECT_NE(run.output.find("> Running: Processor Performance Assessment"), std::string::npos);
        EXPECT_NE(run.output.find("> Saved the formal assessment"), std::string::npos);

        const auto files = MakeFileService(windows);
        const auto time = MakeTimeService();
        const auto modules = MakeModuleService();
        const auto xml = MakeXmlParser();
        CAssessmentResult record(*time);
        std::string why, chosen;
        ASSERT_TRUE(LoadLatestResult(record, {*files, *time, *modules, *xml}, &why, &chosen)) << why;
        EXPECT_TRUE(record.IsWindows7());
        // The second run may fall within the same second, where the newest cannot be told apart.
        if (i == 0) {
            EXPECT_NE(run.output.find(chosen), std::string::npos) << "the file just written is chosen";
            EXPECT_NE(run.output.find("> Base score " + record.systemScore), std::string::npos) << run.output;
        }
        datastore = files->DatastoreFolder();
    }
    // Two runs within one second keep both files.
    EXPECT_EQ(std::distance(fs::directory_iterator(datastore), fs::directory_iterator()), 2);
}

TEST_F(StandIn, FailsWithoutAUsableDatastore) {
    struct Case {
        std::string arguments;
        int status;
        const char* why;
    };
    const std::string blocked = (m_dir / "file").string();
    std::FILE* f = std::fopen(blocked.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    const Case cases[] = {
        {"formal --windows-dir '" + blocked + "'", 1, "the Windows directory is a file"},
        {"", 2, "no assessment named"},
        {"dwm --windows-dir /tmp", 2, "an assessment the stand-in does not run"},
        {"formal --bogus", 2, "an unknown option"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        const Outcome run = RunStandIn(c.arguments);
        EXPECT_EQ(run.status, c.status) << run.output;
        EXPECT_NE(run.output.find("winsat: "), std::string::npos) << run.output;
    }
}

}  // namespace
