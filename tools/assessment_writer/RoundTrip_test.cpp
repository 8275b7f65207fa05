// Files from the writer read back through the program's own reader, record and check: every text
// arrives as written and the file's times pass the consistency check.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "assessment/AssessmentResult.h"
#include "assessment/Loading.h"
#include "platform/Platform.h"
#include "tools/assessment_writer/AssessmentWriter.h"

namespace tallyhive::writer {
namespace {

namespace fs = std::filesystem;

class RoundTrip : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "tallyhive-roundtrip-XXXXXX").string();
        m_dir = ::mkdtemp(pattern.data());
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }

    // Writes `content` and loads it as the program does; false with `why` when it was refused.
    bool WriteAndLoad(const AssessmentContent& content, CAssessmentResult& record, std::string& why) {
        std::string written;
        if (!WriteIntoFolder(content, m_dir.string(), written, &why)) return false;
        const bool loaded = LoadResultFile(written, record, m_services, &why);
        fs::remove(written);
        return loaded;
    }

    fs::path m_dir;
    std::unique_ptr<FileService> m_files = MakeFileService();
    std::unique_ptr<TimeService> m_time = MakeTimeService();
    std::unique_ptr<ModuleService> m_modules = MakeModuleService();
    std::unique_ptr<XmlParser> m_xml = MakeXmlParser();
    AssessmentServices m_services{*m_files, *m_time, *m_modules, *m_xml};
};

TEST_F(RoundTrip, TextsArriveAsWritten) {
    struct Case {
        std::string text;
        std::string want;  // after the reader's character normalisation
        const char* why;
    };
    const Case cases[] = {
        {"Intel(R) Core(TM) i7-2600 CPU @ 3.40GHz   ", "Intel(R) Core(TM) i7-2600 CPU @ 3.40GHz   ",
         "trailing spaces stay, as the tool's processor names have them"},
        {"A&B <c> \"d\" 'e'", "A&B <c> \"d\" 'e'", "markup characters"},
        {"x]]>y]]>", "x]]>y]]>", "the end of a CDATA section inside a text"},
        {"line\r\nbreak\rend", "line\r\nbreak\rend", "carriage returns survive line-end normalisation"},
        {"  \t ", "  \t ", "white space only"},
        {"", "", "empty"},
        {"\xF0\x9F\x92\xBB \xE6\x97\xA5\xE6\x9C\xAC", "\xF0\x9F\x92\xBB \xE6\x97\xA5\xE6\x9C\xAC",
         "a character above U+FFFF and Japanese"},
        {"a\xE3\x80\x9C"
         "b\xE2\x80\x94",
         "a\xEF\xBD\x9E"
         "b\xE2\x80\x95",
         "WAVE DASH and EM DASH normalised"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        AssessmentContent content;
        ASSERT_TRUE(ParseMoment("2026-06-28 13:10:42.552", content.executedUtcMs));
        content.processorNames = {c.text};
        content.adapters = {{c.text, "1073741824"}};
        content.modules = {{c.text, "part"}};
        content.machineManufacturer = c.text;
        CAssessmentResult record(*m_time);
        std::string why;
        ASSERT_TRUE(WriteAndLoad(content, record, why)) << why;
        EXPECT_EQ(record.processorNames, std::vector<std::string>{c.want}) << "escaped text";
        EXPECT_EQ(record.adapterDescriptions, std::vector<std::string>{c.want}) << "CDATA";
        EXPECT_EQ(record.dimmManufacturers, std::vector<std::string>{c.want});
        EXPECT_EQ(record.machineManufacturer, c.want);
    }
}

TEST_F(RoundTrip, EveryFieldAndTheExecutionTime) {
    struct Case {
        const char* time;
        const char* why;
    };
    const Case cases[] = {
        {"2026-06-28 13:10:42.552", "the real sample's moment"},
        {"2026-06-28 00:00:00.000", "midnight: 12am"},
        {"2026-06-28 12:00:00.999", "noon: 12pm, just before the next second"},
        {"2024-02-29 23:59:59.999", "the last millisecond of a leap day"},
        {"2009-10-22 09:05:00.000", "the year Windows 7 came out"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        AssessmentContent content;
        ASSERT_TRUE(ParseMoment(c.time, content.executedUtcMs));
        content.productName = "Windows 8 Pro";
        content.systemScore = "9.9";
        content.processorNames = {"P1", "P2"};
        content.modules = {{"M1", std::nullopt}, {std::nullopt, "X2"}};
        content.diskVendor = "V";
        CAssessmentResult record(*m_time);
        std::string why;
        ASSERT_TRUE(WriteAndLoad(content, record, why)) << why;
        EXPECT_EQ(record.GetExecDateTime(), content.executedUtcMs / 1000) << "to the second";
        EXPECT_EQ(record.programVersion, content.programVersion);
        EXPECT_EQ(record.winEIVersion, content.winEIVersion);
        EXPECT_EQ(record.osProductName, "Windows 8 Pro");
        EXPECT_EQ(record.systemScore, "9.9");
        EXPECT_EQ(record.memoryScore, content.memoryScore);
        EXPECT_EQ(record.cpuScore, content.cpuScore);
        EXPECT_EQ(record.graphicsScore, content.graphicsScore);
        EXPECT_EQ(record.gamingScore, content.gamingScore);
        EXPECT_EQ(record.diskScore, content.diskScore);
        EXPECT_EQ(record.processorNames, (std::vector<std::string>{"P1", "P2"}));
        EXPECT_EQ(record.dimmManufacturers, (std::vector<std::string>{"M1", ""}));
        EXPECT_EQ(record.dimmPartNumbers, (std::vector<std::string>{"", "X2"}));
        EXPECT_EQ(record.dedicatedVideoMemories, (std::vector<std::string>{"1073741824"}));
        EXPECT_EQ(record.totalPhysicalBytes, content.totalPhysicalBytes);
        EXPECT_EQ(record.diskVendor, "V");
        EXPECT_EQ(record.diskModel, content.diskModel);
        EXPECT_EQ(record.machineProductName, content.machineProductName);
        EXPECT_EQ(record.machineVersion, content.machineVersion);
        EXPECT_EQ(record.boardManufacturer, content.boardManufacturer);
        EXPECT_EQ(record.boardProduct, content.boardProduct);
    }
}

TEST_F(RoundTrip, TimesThatDoNotAgreeAreRefused) {
    // A file whose modification time was moved after writing, as a careless copy would.
    AssessmentContent content;
    ASSERT_TRUE(ParseMoment("2026-06-28 13:10:42", content.executedUtcMs));
    std::string written;
    std::string why;
    ASSERT_TRUE(WriteIntoFolder(content, m_dir.string(), written, &why)) << why;
    ASSERT_TRUE(SetFileTimes(written, content.executedUtcMs + 11'000));
    CAssessmentResult record(*m_time);
    EXPECT_FALSE(LoadResultFile(written, record, m_services, &why));
    EXPECT_NE(why.find("differ"), std::string::npos) << why;
}

}  // namespace
}  // namespace tallyhive::writer
