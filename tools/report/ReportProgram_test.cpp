// Runs the built tallyhive-report on real folders: files made by tallyhive-make-assessment, the real
// Windows 11 datastore, and broken input, under the C and a German locale.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tools/assessment_writer/AssessmentWriter.h"

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

struct Result {
    int status = -1;
    std::string out, err;
};

std::string Quoted(const std::string& text) {
    std::string out = "'";
    for (const char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "tallyhive-report-XXXXXX").string();
        m_dir = ::mkdtemp(pattern.data());
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }

    // Runs `program` with `args` and an environment prefix such as "LC_ALL=de_DE.UTF-8".
    Result Run(const std::string& program, const std::vector<std::string>& args,
               const std::string& env = "") {
        std::string command = "env -u WINDIR " + env + " " + Quoted(program);
        for (const std::string& arg : args) command += " " + Quoted(arg);
        const fs::path errFile = m_dir / "stderr.txt";
        command += " 2>" + Quoted(errFile.string()) + " </dev/null";
        Result result;
        FILE* pipe = ::popen(command.c_str(), "r");
        if (!pipe) return result;
        char buffer[4096];
        for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            result.out.append(buffer, got);
        const int raw = ::pclose(pipe);
        result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        result.err = Slurp(errFile);
        return result;
    }
    Result Report(const std::vector<std::string>& args, const std::string& env = "") {
        return Run(TALLYHIVE_REPORT_PROGRAM, args, env);
    }
    // Writes a formal assessment executed at `time` into the Windows directory `windows`.
    std::string Make(const fs::path& windows, std::vector<std::string> args) {
        args.insert(args.begin(), {"--windows-dir", windows.string()});
        const Result made = Run(TALLYHIVE_MAKE_ASSESSMENT_PROGRAM, args);
        EXPECT_EQ(made.status, 0) << made.err;
        return made.out.empty() ? std::string() : made.out.substr(0, made.out.size() - 1);
    }

    fs::path m_dir;
};

TEST_F(ProgramTest, GeneratedWindows7AssessmentIsShown) {
    const fs::path windows = m_dir / "Windows";
    const std::string path = Make(windows, {"--cpu", "7.9", "--processor", "Intel \xE2\x80\x94 Test"});
    ASSERT_FALSE(path.empty());

    const Result json = Report({"--windows-dir", windows.string(), "--json"});
    ASSERT_EQ(json.status, 0) << json.err;
    const Json object = Json::parse(json.out);
    EXPECT_EQ(object["path"], path);
    EXPECT_EQ(object["consistent"], true);
    EXPECT_EQ(object["windowsVersion"], "7");
    EXPECT_EQ(object["record"]["cpuScore"], "7.9");
    EXPECT_EQ(object["record"]["processorNames"][0], "Intel \xE2\x80\x95 Test") << "EM DASH is normalised";
    EXPECT_NE(object["record"]["execDateTime"], 0);

    const Result text = Report({"--datastore", fs::path(path).parent_path().string()});
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_NE(text.out.find("Consistent:   yes"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("Processor        7.9    Intel"), std::string::npos) << text.out;

    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "no German locale on this machine";
    std::setlocale(LC_ALL, "C");
    const Result german = Report({"--windows-dir", windows.string(), "--json"}, "LC_ALL=de_DE.UTF-8");
    EXPECT_EQ(german.status, 0) << german.err;
    EXPECT_EQ(german.out, json.out) << "a decimal comma must change nothing";
}

TEST_F(ProgramTest, RealWindows11DatastoreIsRefusedByItsProductName) {
    const fs::path datastore = m_dir / "Windows" / "PERFORMANCE" / "winsat" / "DataStore";
    fs::create_directories(datastore);
    const fs::path samples = fs::path(TALLYHIVE_SAMPLES_DIR) / "datastore-win11-ptBR-acer-aspire-a515-45";
    for (const auto& entry : fs::directory_iterator(samples))
        fs::copy_file(entry.path(), datastore / entry.path().filename());
    const fs::path formal = datastore / "2026-06-28 13.10.42.552 Formal.Assessment (Initial).WinSAT.xml";

    const Result copied = Report({"--windows-dir", (m_dir / "Windows").string()});
    EXPECT_EQ(copied.status, 1);
    EXPECT_NE(copied.err.find("differ"), std::string::npos) << "a plain copy has fresh times: " << copied.err;

    // Times as the machine left them: only the product name stands in the way.
    std::int64_t executed = 0;
    ASSERT_TRUE(tallyhive::writer::ParseMoment("2026-06-28 13:10:42.552", executed));
    ASSERT_TRUE(tallyhive::writer::SetFileTimes(formal.string(), executed));
    const Result json = Report({"--windows-dir", (m_dir / "Windows").string(), "--json"});
    EXPECT_EQ(json.status, 1);
    EXPECT_NE(json.err.find("Windows 10 Pro"), std::string::npos) << json.err;
    const Json object = Json::parse(json.out);
    EXPECT_EQ(object["path"], formal.string());
    EXPECT_EQ(object["consistent"], false);
    EXPECT_EQ(object["windowsVersion"], "");
    EXPECT_EQ(object["record"]["diskScore"], "8.55") << "what was read is still shown";
    EXPECT_EQ(object["texts"]["memory_information"],
              "15.4GB, A-DATA Technology AD4S320038G22-BHYD, Hynix "
              "HMAA1GS6CJR6N-XN");
}

TEST_F(ProgramTest, ExitStatusForUnusableInput) {
    const fs::path empty = m_dir / "empty";
    fs::create_directories(empty);
    const fs::path corrupt = m_dir / "2026-06-28 13.10.42.552 Formal.Assessment (Recent).WinSAT.xml";
    std::ofstream(corrupt, std::ios::binary) << std::string("\xFF\xFE<\0W\0", 6);
    const fs::path fifo = m_dir / "fifo Formal.xml";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);

    struct Case {
        std::vector<std::string> args;
        int want;
        const char* wantInErr;
        const char* why;
    };
    const Case cases[] = {
        {{"--datastore", empty.string()}, 1, "no formal assessment", "empty datastore"},
        {{"--datastore", empty.string(), "--all", "--json"}, 1, "no formal assessment", "empty, listed"},
        {{"--datastore", (m_dir / "missing").string()}, 2, "no datastore folder", "missing folder"},
        {{"--windows-dir", (m_dir / "missing").string()}, 2, "no datastore folder", "missing Windows folder"},
        {{}, 2, "WINDIR", "no source and no WINDIR"},
        {{"--file", corrupt.string()}, 2, "cannot read", "a file that is not XML"},
        {{"--file", fifo.string()}, 2, "not a regular file", "a FIFO must not block the report"},
        {{"--file", empty.string()}, 2, "cannot read", "a folder given as file"},
        {{"--bogus"}, 2, "usage:", "unknown option, with the usage"},
        {{"--share-form", "--all"}, 2, "usage:", "options that exclude each other"},
        {{"--help"}, 0, "", "help"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        const Result r = Report(c.args);
        EXPECT_EQ(r.status, c.want) << r.err;
        EXPECT_NE(r.err.find(c.wantInErr), std::string::npos) << r.err;
        if (c.want == 2) {
            EXPECT_EQ(r.out, "");
        }
    }
}

TEST_F(ProgramTest, ShareFormAndAllOrdering) {
    const fs::path windows = m_dir / "Windows";
    // Made in an order that differs from the order of their times.
    const std::string middle = Make(windows, {"--time", "2026-06-28 11:00:00"});
    const std::string newest = Make(windows, {"--time", "2026-06-28 12:00:00", "--cpu", "7.9"});
    const std::string oldest = Make(windows, {"--time", "2026-06-28 10:00:00"});

    const Result all = Report({"--windows-dir", windows.string(), "--all", "--json"});
    ASSERT_EQ(all.status, 0) << all.err;
    const Json array = Json::parse(all.out);
    ASSERT_EQ(array.size(), 3u);
    EXPECT_EQ(array[0]["path"], newest);
    EXPECT_EQ(array[1]["path"], middle);
    EXPECT_EQ(array[2]["path"], oldest);

    const Result form =
        Report({"--windows-dir", windows.string(), "--share-form", "--server-datetime", "201403050907"});
    ASSERT_EQ(form.status, 0) << form.err;
    EXPECT_TRUE(form.out.starts_with("system_score=%35%2E%39&cpu_score=%37%2E%39&memory_score=")) << form.out;
    EXPECT_TRUE(form.out.ends_with("&pass_code=fb1f49928b8f930d5b4470da8bd44ae2&captcha=\n")) << form.out;
    EXPECT_EQ(std::count(form.out.begin(), form.out.end(), '&'), 14);
}

}  // namespace
