#include "assessment/AssessmentResult.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "assessment/testing/Fakes.h"
#include "platform/Platform.h"

namespace tallyhive {
namespace {

// Reports one element with the given text, as the reader would.
bool Report(CAssessmentResult& record, const std::string& path, const std::string& text,
            const AttributeMap& attributes = {}) {
    XmlTree tree;
    tree.nodes.push_back(XmlNode{XmlNode::Kind::Element, "e", {}, text.empty() ? 1u : 2u});
    if (!text.empty()) tree.nodes.push_back(XmlNode{XmlNode::Kind::Text, text, {}, 2u});
    const ElementText elementText(tree, 0);
    return record.OnElement(path, elementText, attributes);
}

using TextField = std::string CAssessmentResult::*;

TEST(AssessmentRecord, EveryTextPathFillsItsOwnField) {
    struct Case {
        const char* path;
        TextField field;
    };
    const Case cases[] = {
        {"WinSAT.ProgramInfo.Version", &CAssessmentResult::programVersion},
        {"WinSAT.ProgramInfo.WinEIVersion", &CAssessmentResult::winEIVersion},
        {"WinSAT.WinSPR.SystemScore", &CAssessmentResult::systemScore},
        {"WinSAT.WinSPR.MemoryScore", &CAssessmentResult::memoryScore},
        {"WinSAT.WinSPR.CpuScore", &CAssessmentResult::cpuScore},
        {"WinSAT.WinSPR.GraphicsScore", &CAssessmentResult::graphicsScore},
        {"WinSAT.WinSPR.GamingScore", &CAssessmentResult::gamingScore},
        {"WinSAT.WinSPR.DiskScore", &CAssessmentResult::diskScore},
        {"WinSAT.SystemConfig.OSVersion.ProductName", &CAssessmentResult::osProductName},
        {"WinSAT.SystemConfig.Disk.SystemDisk.Vendor", &CAssessmentResult::diskVendor},
        {"WinSAT.SystemConfig.Disk.SystemDisk.Model", &CAssessmentResult::diskModel},
        {"WinSAT.SystemConfig.Memory.TotalPhysical.Bytes", &CAssessmentResult::totalPhysicalBytes},
        {"WinSAT.SystemConfig.System.Machine.Manufacturer", &CAssessmentResult::machineManufacturer},
        {"WinSAT.SystemConfig.System.Machine.ProductName", &CAssessmentResult::machineProductName},
        {"WinSAT.SystemConfig.System.Machine.Version", &CAssessmentResult::machineVersion},
        {"WinSAT.SystemConfig.System.MotherBoard.Manufacturer", &CAssessmentResult::boardManufacturer},
        {"WinSAT.SystemConfig.System.MotherBoard.Product", &CAssessmentResult::boardProduct},
    };
    const FakeTimeService time;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        CAssessmentResult record(time);
        // Values are kept as the file has them: white space and all.
        EXPECT_TRUE(Report(record, c.path, " value\t"));
        EXPECT_EQ(record.*c.field, " value\t");
        // Only that field changed: a mix-up between two rows of the table shows here.
        int filled = 0;
        for (const Case& other : cases) filled += (record.*other.field).empty() ? 0 : 1;
        EXPECT_EQ(filled, 1);
    }
}

TEST(AssessmentRecord, PathsThatOnlyResembleTheTableAreIgnored) {
    struct Case {
        const char* path;
        const char* why;
    };
    const Case cases[] = {
        {"WinSAT.WinSPR.systemScore", "letter case differs"},
        {"WINSAT.WinSPR.SystemScore", "letter case of the root differs"},
        {"WinSAT.WinSPR.SystemScore.Extra", "a child of a table path"},
        {"WinSAT.WinSPR", "the parent of a table path"},
        {"X.WinSAT.WinSPR.SystemScore", "the path under another root"},
        {"WinSAT.WinSPR.CPUSubAggScore", "a score the record does not keep"},
    };
    const FakeTimeService time;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        CAssessmentResult record(time);
        EXPECT_TRUE(Report(record, c.path, "7.9"));
        EXPECT_EQ(record.systemScore, "");
        EXPECT_EQ(record.cpuScore, "");
    }
}

TEST(AssessmentRecord, RepeatedTextsOverwriteAndListsAppendInDocumentOrder) {
    const FakeTimeService time;
    CAssessmentResult record(time);
    Report(record, "WinSAT.WinSPR.SystemScore", "5.0");
    Report(record, "WinSAT.WinSPR.SystemScore", "6.1");
    Report(record, "WinSAT.SystemConfig.Processor.Instance.ProcessorName", "first cpu  ");
    Report(record, "WinSAT.SystemConfig.Graphics.AdapterDescription", "adapter");
    Report(record, "WinSAT.SystemConfig.Processor.Instance.ProcessorName", "second cpu");
    Report(record, "WinSAT.SystemConfig.Graphics.DedicatedVideoMemory", "");
    Report(record, "WinSAT.SystemConfig.Graphics.DedicatedVideoMemory", "268435456");

    EXPECT_EQ(record.systemScore, "6.1");
    EXPECT_EQ(record.processorNames, (std::vector<std::string>{"first cpu  ", "second cpu"}));
    EXPECT_EQ(record.adapterDescriptions, (std::vector<std::string>{"adapter"}));
    // An empty element is still an entry: the lists of one adapter stay aligned.
    EXPECT_EQ(record.dedicatedVideoMemories, (std::vector<std::string>{"", "268435456"}));
}

TEST(AssessmentRecord, MemoryModuleValuesFillTheModuleJustReported) {
    const FakeTimeService time;
    CAssessmentResult record(time);
    // A value before any module has nowhere to go: refused, and the lists stay aligned.
    EXPECT_FALSE(Report(record, "WinSAT.SystemConfig.Memory.DIMM.PartNumber", "orphan"));
    EXPECT_FALSE(Report(record, "WinSAT.SystemConfig.Memory.DIMM.Manufacturer", "orphan"));
    EXPECT_TRUE(record.dimmPartNumbers.empty());
    EXPECT_TRUE(record.dimmManufacturers.empty());

    EXPECT_TRUE(Report(record, "WinSAT.SystemConfig.Memory.DIMM", "ignored module text"));
    EXPECT_TRUE(Report(record, "WinSAT.SystemConfig.Memory.DIMM.Manufacturer", "Samsung"));
    EXPECT_TRUE(Report(record, "WinSAT.SystemConfig.Memory.DIMM.PartNumber", "M471A"));
    EXPECT_TRUE(Report(record, "WinSAT.SystemConfig.Memory.DIMM", ""));
    EXPECT_TRUE(Report(record, "WinSAT.SystemConfig.Memory.DIMM.PartNumber", "KHX2666"));

    EXPECT_EQ(record.dimmManufacturers, (std::vector<std::string>{"Samsung", ""}));
    EXPECT_EQ(record.dimmPartNumbers, (std::vector<std::string>{"M471A", "KHX2666"}));
}

TEST(AssessmentRecord, ClearEmptiesEveryField) {
    const FakeTimeService time;
    CAssessmentResult record(time);
    const char* paths[] = {
        "WinSAT.ProgramInfo.Version",
        "WinSAT.ProgramInfo.WinEIVersion",
        "WinSAT.SystemConfig.OSVersion.ProductName",
        "WinSAT.SystemConfig.System.Machine.Manufacturer",
        "WinSAT.SystemConfig.System.Machine.ProductName",
        "WinSAT.SystemConfig.System.MotherBoard.Manufacturer",
        "WinSAT.SystemConfig.System.MotherBoard.Product",
        "WinSAT.SystemConfig.System.Machine.Version",
        "WinSAT.WinSPR.SystemScore",
        "WinSAT.WinSPR.MemoryScore",
        "WinSAT.WinSPR.CpuScore",
        "WinSAT.WinSPR.GraphicsScore",
        "WinSAT.WinSPR.GamingScore",
        "WinSAT.WinSPR.DiskScore",
        "WinSAT.SystemConfig.Processor.Instance.ProcessorName",
        "WinSAT.SystemConfig.Graphics.AdapterDescription",
        "WinSAT.SystemConfig.Graphics.DedicatedVideoMemory",
        "WinSAT.SystemConfig.Memory.DIMM",
        "WinSAT.SystemConfig.Memory.DIMM.Manufacturer",
        "WinSAT.SystemConfig.Memory.DIMM.PartNumber",
        "WinSAT.SystemConfig.Memory.TotalPhysical.Bytes",
        "WinSAT.SystemConfig.Disk.SystemDisk.Vendor",
        "WinSAT.SystemConfig.Disk.SystemDisk.Model",
    };
    for (const char* path : paths) Report(record, path, "x");
    Report(record, "WinSAT.SystemEnvironment.ExecDateTOD", "739795:47442552",
           {{"Friendly", "Sunday June 28, 2026  1:10:42pm"}});
    record.directXVersion = "11";
    ASSERT_NE(record.execTime, 0);

    EXPECT_TRUE(record.Clear());
    const std::string* texts[] = {
        &record.programVersion,      &record.winEIVersion,       &record.osProductName,
        &record.machineManufacturer, &record.machineProductName, &record.boardManufacturer,
        &record.boardProduct,        &record.machineVersion,     &record.systemScore,
        &record.memoryScore,         &record.cpuScore,           &record.graphicsScore,
        &record.gamingScore,         &record.diskScore,          &record.totalPhysicalBytes,
        &record.diskVendor,          &record.diskModel,          &record.directXVersion,
        &record.execDateText};
    for (const std::string* text : texts) EXPECT_EQ(*text, "");
    EXPECT_TRUE(record.processorNames.empty());
    EXPECT_TRUE(record.adapterDescriptions.empty());
    EXPECT_TRUE(record.dedicatedVideoMemories.empty());
    EXPECT_TRUE(record.dimmManufacturers.empty());
    EXPECT_TRUE(record.dimmPartNumbers.empty());
    EXPECT_EQ(record.execTime, 0);
}

TEST(AssessmentRecord, ExecutionDateFromTheFriendlyAttribute) {
    const FakeTimeService time(9 * 3600);  // local time ahead of UTC, so a UTC mix-up shows
    const std::int64_t earlier = 12345;
    struct Case {
        const char* path;
        const char* friendly;  // nullptr: no attribute at all
        std::int64_t want;
        const char* why;
    };
    const Case cases[] = {
        {"WinSAT.SystemEnvironment.ExecDateTOD", "Sunday June 28, 2026  1:10:42pm",
         time.Utc(2026, 6, 28, 13, 10, 42), "the tool's own form, read as local time"},
        {"WinSAT.SystemEnvironment.ExecDateTOD", "Monday June 29, 2026  1:10:42am",
         time.Utc(2026, 6, 29, 1, 10, 42), "a Monday loses its day name and the space after it"},
        {"WinSAT.SystemEnvironment.ExecDateTOD", "monday June 29, 2026  1:10:42am", earlier,
         "a day name in lower case stays and the text no longer parses: the time is kept"},
        {"WinSAT.SystemEnvironment.ExecDateTOD", "Sunday Sunday June 28, 2026 1:10:42pm",
         time.Utc(2026, 6, 28, 13, 10, 42), "every occurrence is removed"},
        {"WinSAT.SystemEnvironment.ExecDateTOD", nullptr, earlier, "no attribute keeps the time"},
        {"WinSAT.SystemEnvironment.ExecDateTOD", "yesterday", earlier, "an unparsable text keeps the time"},
        {"WinSAT.SystemEnvironment.ExecDateTOD", "June 28, 1899  1:10:42pm", 0,
         "a year before 1900 gives zero"},
        {"WinSAT.Other.ExecDateTODSomething", "June 28, 2026  1:10:42pm", time.Utc(2026, 6, 28, 13, 10, 42),
         "any path containing the name takes part"},
        {"WinSAT.SystemEnvironment.execdatetod", "June 28, 2026  1:10:42pm", earlier,
         "the name is matched with its letter case"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        CAssessmentResult record(time);
        record.execTime = earlier;
        AttributeMap attributes;
        if (c.friendly) attributes.emplace("Friendly", c.friendly);
        EXPECT_TRUE(Report(record, c.path, "739795:47442552", attributes));
        EXPECT_EQ(record.execTime, c.want);
        const bool matched = std::string(c.path).find("ExecDateTOD") != std::string::npos;
        EXPECT_EQ(record.execDateText, matched ? "739795:47442552" : "");
    }
}

TEST(AssessmentRecord, LastExecutionElementDecidesTextAndLastParsableDecidesTime) {
    const FakeTimeService time;
    CAssessmentResult record(time);
    Report(record, "WinSAT.SystemEnvironment.ExecDateTOD", "1:1", {{"Friendly", "June 28, 2026  1:10:42pm"}});
    Report(record, "WinSAT.SystemEnvironment.ExecDateTOD", "2:2", {{"Friendly", "garbage"}});
    EXPECT_EQ(record.execDateText, "2:2");
    EXPECT_EQ(record.execTime, time.Utc(2026, 6, 28, 13, 10, 42));
}

TEST(AssessmentRecord, ExecutionMomentCombinesDateAndTimeOfDay) {
    const FakeTimeService time(-5 * 3600);
    // 03:00 local: the date must be taken in local time, not from the UTC day.
    const std::int64_t day = time.Utc(2026, 6, 28, 23, 0, 0);
    struct Case {
        const char* text;
        std::int64_t execTime;
        std::int64_t want;
        const char* why;
    };
    const Case cases[] = {
        {"739795:45296000", day, time.Utc(2026, 6, 28, 12, 34, 56), "45 296 000 ms is 12:34:56"},
        {"739795:47442552", day, time.Utc(2026, 6, 28, 13, 10, 42), "milliseconds are dropped"},
        {"739795:0", day, time.Utc(2026, 6, 28, 0, 0, 0), "midnight"},
        {"739795:86399999", day, time.Utc(2026, 6, 28, 23, 59, 59), "last millisecond of the day"},
        {" 1: 45296000", day, time.Utc(2026, 6, 28, 12, 34, 56), "white space before the number is allowed"},
        {"::45296000", day, time.Utc(2026, 6, 28, 0, 0, 0),
         "leading colons are skipped; no time of day is 0"},
        {"1:2:3000", day, time.Utc(2026, 6, 28, 0, 0, 0), "reading stops at the second colon: 2 ms"},
        {"1:+45296000x", day, time.Utc(2026, 6, 28, 12, 34, 56), "sign allowed, trailing text ignored"},
        {"", day, 0, "no text"},
        {"739795", day, 0, "no colon"},
        {"739795:86400000", day, 0, "a whole day is not a time of day"},
        {"739795:-1", day, 0, "a negative count"},
        {"739795:99999999999999999999999999", day, 0, "beyond int64 saturates instead of overflowing"},
        {"739795:-9223372036854775808", day, 0, "the most negative count"},
        {"739795:45296000", 0, 0, "no execution date was read"},
        {"739795:45296000", INT64_MAX, 0, "a date the platform cannot convert"},
        {"739795:0", 3600, 0, "a local date before 1970 gives no moment"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        CAssessmentResult record(time);
        record.execDateText = c.text;
        record.execTime = c.execTime;
        EXPECT_EQ(record.GetExecDateTime(), c.want);
    }
}

TEST(AssessmentRecord, WindowsVersionByTheStartOfTheProductName) {
    struct Case {
        const char* product;
        bool vista, seven, eight;
    };
    const Case cases[] = {
        {"Windows Vista (TM) Ultimate", true, false, false},
        {"Windows 7 Professional", false, true, false},
        {"Windows 8.1 Pro", false, false, true},
        {"Windows 8", false, false, true},
        {"Windows 10 Pro", false, false, false},
        {"Microsoft Windows 7 Professional", false, false, false},  // contains it, does not begin with it
        {"windows 7", false, false, false},
        {" Windows 7", false, false, false},
        {"", false, false, false},
    };
    const FakeTimeService time;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.product);
        CAssessmentResult record(time);
        record.osProductName = c.product;
        EXPECT_EQ(record.IsWindowsVista(), c.vista);
        EXPECT_EQ(record.IsWindows7(), c.seven);
        EXPECT_EQ(record.IsWindows8(), c.eight);
    }
}

TEST(AssessmentRecord, ScoresWithinReadsEveryScoreAndBothBoundsAreInclusive) {
    struct Case {
        const char* score;
        bool within;  // of 1.0 to 7.5
        const char* why;
    };
    const Case cases[] = {
        {"1.0", true, "lowest bound"},
        {"7.5", true, "highest bound"},
        {"7.6", false, "above"},
        {"0.9", false, "below"},
        {"", false, "an empty text reads as 0"},
        {"abc", false, "no number reads as 0"},
        {"nan", false, "nan is not a number form"},
        {"NaN", false, "nor in capitals"},
        {"inf", false, "inf is not a number form"},
        {"1e999", false, "an exponent beyond range is infinite, never within"},
        {"-1e999", false, "negative infinity"},
        {"0x7", false, "no hexadecimal form: reads as 0"},
        {"7,9", true, "a comma is no decimal point: reads as 7"},
        {" 5.5", true, "leading white space"},
        {"5.5 points", true, "trailing text is ignored"},
        {"+2", true, "a sign"},
        {"0.75e1", true, "an exponent"},
    };
    const FakeTimeService time;
    for (const Case& c : cases) {
        // The bad value in each of the six places in turn, the others fine.
        for (const ScoreField& bad : kScoreFields) {
            SCOPED_TRACE(std::string(c.why) + " in " + std::string(bad.name));
            CAssessmentResult record(time);
            for (const ScoreField& score : kScoreFields) record.*score.text = "5.0";
            record.*bad.text = c.score;
            EXPECT_EQ(record.ScoresWithin(1.0, 7.5), c.within);
        }
    }
}

TEST(AssessmentRecord, AnInfiniteScoreFailsEvenUnboundedRanges) {
    const double infinity = std::numeric_limits<double>::infinity();
    struct Case {
        const char* score;
        bool within;
    };
    const Case cases[] = {{"1e999", false}, {"-1e999", false}, {"1e300", true}, {"", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.score);
        EXPECT_EQ(ScoreWithin(c.score, -infinity, infinity), c.within);
    }
}

// The execution date is the text of the last element, in document order, whose path holds
// "ExecDateTOD": every element below a dated one is dated too, and dating ends with that element.
TEST(AssessmentRecord, TheDatedTextIsTheLastDatedElementsThroughADocument) {
    struct Case {
        const char* document;
        const char* want;
        const char* why;
    };
    const Case cases[] = {
        {"<WinSAT><SystemEnvironment><ExecDateTOD>1:2</ExecDateTOD></SystemEnvironment></WinSAT>", "1:2",
         "one dated element"},
        {"<WinSAT><ExecDateTOD>a<x>b</x>c</ExecDateTOD></WinSAT>", "b", "the child comes after its parent"},
        {"<WinSAT><ExecDateTOD><p><q>5</q></p><r/></ExecDateTOD></WinSAT>", "", "the last child is empty"},
        {"<WinSAT><ExecDateTOD>1</ExecDateTOD><Other><y>2</y></Other></WinSAT>", "1",
         "dating ends with the element"},
        {"<WinSAT><ExecDateTOD>1</ExecDateTOD><abcdefghijk.x>2</abcdefghijk.x></WinSAT>", "1",
         "dating ends, though the next path continues this one's with a dot"},
        {"<WinSAT><a.ExecDateTOD.b>3</a.ExecDateTOD.b><c>4</c></WinSAT>", "3", "a name with dots in it"},
        {"<WinSAT><Deep><Deeper/></Deep><XExecDateTODY>6</XExecDateTODY></WinSAT>", "6",
         "after a deeper sibling, inside a longer name"},
        {"<WinSAT><ExecDateTOD>7</ExecDateTOD><ExecDateTOD>8<z/></ExecDateTOD></WinSAT>", "",
         "the second of two siblings"},
    };
    FakeFileService files;
    FakeTimeService time{0};
    const std::unique_ptr<XmlParser> xml = MakeXmlParser();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        CAssessmentResult record(time);
        CXmlForwardingReader reader(files, *xml, record);
        std::string why;
        ASSERT_TRUE(reader.LoadBytes(c.document, &why)) << why;
        EXPECT_EQ(record.execDateText, c.want);
    }
}

}  // namespace
}  // namespace tallyhive
