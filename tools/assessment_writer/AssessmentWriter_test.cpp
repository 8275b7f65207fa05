#include "tools/assessment_writer/AssessmentWriter.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace tallyhive::writer {
namespace {

namespace fs = std::filesystem;

// Reads a file whole.
std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// ASCII text as UTF-16LE, written independently of the encoder under test.
std::string Wide(std::string_view ascii) {
    std::string out;
    for (const char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "tallyhive-writer-XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    fs::path path;
};

TEST(DayNumber, CountsFromTheFirstDayOfYearOne) {
    struct Case {
        int y, m, d;
        std::int64_t want;
        const char* why;
    };
    const Case cases[] = {
        {1, 1, 1, 1, "day 1 is 0001-01-01, not day 0"},
        {1970, 1, 1, 719163, "the epoch of the seconds count"},
        {2026, 6, 28, 739795, "the real Windows 11 sample's ExecDateTOD"},
        {2000, 2, 29, 730179, "2000 is a leap year (divisible by 400)"},
        {1900, 3, 1, 693655, "1900 is not a leap year (divisible by 100)"},
        {2024, 2, 29, 738945, "an ordinary leap day"},
        {9999, 12, 31, 3652059, "the last four-digit year"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(DayNumber(c.y, c.m, c.d), c.want);
    }
}

TEST(FriendlyText, MatchesTheToolsEnglishForm) {
    struct Case {
        LocalMoment at;
        const char* want;
        const char* why;
    };
    const Case cases[] = {
        {{2026, 6, 28, 13, 10, 42, 552}, "Sunday June 28, 2026  1:10:42pm", "the real sample, byte for byte"},
        {{2026, 6, 29, 0, 5, 9, 0}, "Monday June 29, 2026 12:05:09am", "midnight hour is 12am"},
        {{2026, 6, 29, 12, 0, 0, 0}, "Monday June 29, 2026 12:00:00pm", "noon is 12pm"},
        {{2026, 6, 29, 11, 59, 59, 999}, "Monday June 29, 2026 11:59:59am", "last second before noon"},
        {{2026, 12, 31, 23, 59, 59, 0}, "Thursday December 31, 2026 11:59:59pm", "last second of a year"},
        {{2024, 2, 29, 9, 7, 3, 0},
         "Thursday February 29, 2024  9:07:03am",
         "leap day; minutes and seconds padded, day not"},
        {{2026, 3, 1, 10, 0, 0, 0}, "Sunday March 1, 2026 10:00:00am", "one-digit day stays unpadded"},
        {{1970, 1, 1, 0, 0, 0, 0}, "Thursday January 1, 1970 12:00:00am", "weekday at the epoch"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(FriendlyText(c.at), c.want);
    }
}

TEST(ExecDateText, DayNumberAndMillisecondsSinceMidnight) {
    struct Case {
        LocalMoment at;
        const char* want;
        const char* why;
    };
    const Case cases[] = {
        {{2026, 6, 28, 13, 10, 42, 552}, "739795:47442552", "the real sample"},
        {{2026, 6, 28, 0, 0, 0, 0}, "739795:0", "midnight is zero, no padding"},
        {{2026, 6, 28, 23, 59, 59, 999}, "739795:86399999", "the last millisecond of a day"},
        {{2026, 6, 28, 12, 34, 56, 0}, "739795:45296000", "12:34:56 as a reader computes it back"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(ExecDateText(c.at), c.want);
    }
}

TEST(FileNameFor, UsesTheLocalExecutionTime) {
    struct Case {
        LocalMoment at;
        std::string_view kind;
        writer::Run run;
        const char* want;
        const char* why;
    };
    const Case cases[] = {
        {{2026, 6, 28, 13, 10, 42, 552},
         kFormalKind,
         Run::Initial,
         "2026-06-28 13.10.42.552 Formal.Assessment (Initial).WinSAT.xml",
         "the real sample's name"},
        {{2026, 1, 2, 3, 4, 5, 7},
         kFormalKind,
         Run::Recent,
         "2026-01-02 03.04.05.007 Formal.Assessment (Recent).WinSAT.xml",
         "every field zero-padded"},
        {{2026, 6, 28, 13, 9, 16, 833},
         "Cpu.Assessment",
         Run::Initial,
         "2026-06-28 13.09.16.833 Cpu.Assessment (Initial).WinSAT.xml",
         "a component file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(FileNameFor(c.at, c.kind, c.run), c.want);
    }
}

TEST(EncodeUtf16Le, ByteOrderMarkAndSurrogatePairs) {
    struct Case {
        std::string in;
        std::string want;  // after the byte-order mark
        const char* why;
    };
    const Case cases[] = {
        {"A", std::string("A\0", 2), "ASCII"},
        {"\xC3\xA9", std::string("\xE9\0", 2), "two-byte form"},
        {"\xE2\x82\xAC", "\xAC\x20", "three-byte form, little-endian"},
        {"\xE3\x80\x9C", "\x1C\x30", "WAVE DASH, which readers normalise"},
        {"\xF0\x9F\x98\x80", std::string("\x3D\xD8\x00\xDE", 4),
         "above U+FFFF: a surrogate pair, high first"},
        {"", "", "empty text is the mark alone"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        std::string bytes;
        ASSERT_TRUE(EncodeUtf16Le(c.in, bytes));
        EXPECT_EQ(bytes, "\xFF\xFE" + c.want);
    }
}

TEST(EncodeUtf16Le, RefusesInvalidUtf8) {
    struct Case {
        std::string in;
        const char* why;
    };
    const Case cases[] = {
        {"\x80", "a stray continuation byte"},
        {"\xC0\xAF", "an overlong '/'"},
        {"\xE0\x80\xAF", "an overlong three-byte form"},
        {"\xED\xA0\x80", "an encoded surrogate"},
        {"\xF4\x90\x80\x80", "above U+10FFFF"},
        {"ab\xE2\x82", "a sequence cut at the end"},
        {"\xE2\x28\xA1", "a continuation byte missing in the middle"},
        {"\xF8\x88\x80\x80\x80", "a five-byte form"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        std::string bytes = "untouched";
        std::string why;
        EXPECT_FALSE(EncodeUtf16Le(c.in, bytes, &why));
        EXPECT_EQ(bytes, "untouched");
        EXPECT_NE(why.find("UTF-8"), std::string::npos) << why;
    }
}

const LocalMoment kSampleMoment{2026, 6, 28, 13, 10, 42, 552};

TEST(RenderDocument, OneLineWithTheReadPathsAndTheExecutionTime) {
    AssessmentContent content;
    std::string xml;
    ASSERT_TRUE(RenderDocument(content, kSampleMoment, xml));
    EXPECT_TRUE(xml.starts_with("<?xml version=\"1.0\" encoding=\"UTF-16\"?><WinSAT>"));
    EXPECT_TRUE(xml.ends_with("</WinSAT>"));
    EXPECT_EQ(xml.find('\n'), std::string::npos);
    EXPECT_NE(
        xml.find("<ExecDateTOD Friendly=\"Sunday June 28, 2026  1:10:42pm\">739795:47442552</ExecDateTOD>"),
        std::string::npos);
    EXPECT_NE(xml.find("<IsFormal/>"), std::string::npos);
    EXPECT_NE(xml.find("<WinSPR><SystemScore>5.9</SystemScore>"), std::string::npos);
    EXPECT_NE(xml.find("<OSVersion><Major>6</Major><Minor>1</Minor><Build>7601</Build>"
                       "<ProductName>Windows 7 Ultimate</ProductName></OSVersion>"),
              std::string::npos);
    EXPECT_NE(xml.find("<Vendor><![CDATA[]]></Vendor>"), std::string::npos)
        << "an empty vendor as the tool has it";
}

TEST(RenderDocument, TextsCannotBreakTheMarkup) {
    struct Case {
        std::string text;
        std::string wantCdata;  // as written inside <AdapterDescription>
        std::string wantPlain;  // as written inside <ProcessorName>
        const char* why;
    };
    const Case cases[] = {
        {"A&B <x> \"q\"", "<![CDATA[A&B <x> \"q\"]]>", "A&amp;B &lt;x&gt; \"q\"", "markup characters"},
        {"a]]>b", "<![CDATA[a]]]]><![CDATA[>b]]>", "a]]&gt;b", "the CDATA end inside a text"},
        {"]]>]]>", "<![CDATA[]]]]><![CDATA[>]]]]><![CDATA[>]]>", "]]&gt;]]&gt;", "two CDATA ends in a row"},
        {"a\r\nb", "a&#13;\nb", "a&#13;\nb", "a CR would read back as LF unless escaped"},
        {"tab\there", "<![CDATA[tab\there]]>", "tab\there", "tabs are kept as they are"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        AssessmentContent content;
        content.adapters = {{c.text, "0"}};
        content.processorNames = {c.text};
        std::string xml;
        ASSERT_TRUE(RenderDocument(content, kSampleMoment, xml));
        EXPECT_NE(xml.find("<AdapterDescription>" + c.wantCdata + "</AdapterDescription>"), std::string::npos)
            << xml;
        EXPECT_NE(xml.find("<ProcessorName>" + c.wantPlain + "</ProcessorName>"), std::string::npos) << xml;
    }
}

TEST(RenderDocument, RefusesCharactersXmlCannotCarry) {
    struct Case {
        std::string text;
        const char* why;
    };
    const Case cases[] = {
        {std::string("a\0b", 3), "a NUL byte"},
        {"bell\x07", "a C0 control"},
        {"esc\x1B[31m", "a terminal escape"},
        {"\xEF\xBF\xBF", "U+FFFF"},
        {"\xEF\xBF\xBE", "U+FFFE"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        AssessmentContent content;
        content.diskModel = c.text;
        std::string xml = "untouched";
        std::string why;
        EXPECT_FALSE(RenderDocument(content, kSampleMoment, xml, &why));
        EXPECT_EQ(xml, "untouched");
        EXPECT_NE(why.find("Model"), std::string::npos) << "the message names the element: " << why;
    }
}

TEST(RenderDocument, ListsAndMissingModuleChildren) {
    AssessmentContent content;
    content.processorNames = {"P1", "P2"};
    content.modules = {{"M1", "X1"}, {std::nullopt, "X2"}, {"M3", std::nullopt}};
    content.adapters = {{"G1", "1"}, {"G2", "2"}};
    std::string xml;
    ASSERT_TRUE(RenderDocument(content, kSampleMoment, xml));
    EXPECT_NE(xml.find("<Instance id=\"0\"><ProcessorName>P1</ProcessorName></Instance>"
                       "<Instance id=\"1\"><ProcessorName>P2</ProcessorName></Instance>"),
              std::string::npos);
    EXPECT_NE(
        xml.find("<DIMM><Manufacturer><![CDATA[M1]]></Manufacturer><PartNumber><![CDATA[X1]]></PartNumber>"
                 "</DIMM><DIMM><PartNumber><![CDATA[X2]]></PartNumber></DIMM>"
                 "<DIMM><Manufacturer><![CDATA[M3]]></Manufacturer></DIMM>"),
        std::string::npos);
    EXPECT_NE(xml.find("<DedicatedVideoMemory>1</DedicatedVideoMemory></Graphics><Graphics>"
                       "<AdapterDescription><![CDATA[G2]]></AdapterDescription>"),
              std::string::npos);
}

TEST(RenderDocument, PaddedToSizeAndOnlyFormalFilesHaveASystemScore) {
    struct Case {
        std::string kind;
        std::size_t bytes;
        const char* why;
    };
    const Case cases[] = {
        {"Cpu.Assessment", 20'000, "the smallest component size"},
        {"Disk.Assessment", 200'000, "the largest"},
        {"Mem.Assessment", 150'001, "odd size"},
        {std::string(kFormalKind), 181'952, "a formal file as large as the real one"},
        {std::string(kFormalKind), 100, "smaller than the document: nothing is cut"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        AssessmentContent content;
        content.kind = c.kind;
        content.paddedBytes = c.bytes;
        content.productName = "Windows 7 Ultimate \xE2\x82\xAC";  // a non-ASCII text must not skew the size
        std::string xml;
        std::string bytes;
        ASSERT_TRUE(RenderDocument(content, kSampleMoment, xml));
        ASSERT_TRUE(EncodeUtf16Le(xml, bytes));
        EXPECT_EQ(xml.find("<SystemScore>") != std::string::npos, c.kind == kFormalKind);
        EXPECT_TRUE(xml.ends_with("</WinSAT>"));
        if (c.bytes > 1000) {
            EXPECT_LE(bytes.size(), c.bytes);
            EXPECT_GE(bytes.size() + 2, c.bytes);
        } else {
            EXPECT_GT(bytes.size(), c.bytes);
        }
    }
}

TEST(ParseMoment, LocalTimesAndSecondsSinceTheEpoch) {
    struct Case {
        const char* text;
        bool ok;
        LocalMoment want;  // local fields, checked when ok and not an "@" form
        const char* why;
    };
    const Case cases[] = {
        {"2026-06-28 13:10:42.552", true, {2026, 6, 28, 13, 10, 42, 552}, "with milliseconds"},
        {"2026-06-28T13:10:42", true, {2026, 6, 28, 13, 10, 42, 0}, "ISO separator"},
        {"2024-02-29 00:00:00.5", true, {2024, 2, 29, 0, 0, 0, 500}, "leap day; .5 is 500 ms"},
        {"2026-02-29 00:00:00", false, {}, "no leap day in 2026"},
        {"2026-04-31 00:00:00", false, {}, "April has 30 days"},
        {"2026-06-28 24:00:00", false, {}, "hour 24"},
        {"2026-06-28 13:60:00", false, {}, "minute 60"},
        {"2026-6-28 13:10:42", false, {}, "unpadded month"},
        {"2026-06-28 13:10:42.1234", false, {}, "finer than milliseconds"},
        {"2026-06-28 13:10:42.", false, {}, "a point without digits"},
        {"2026-06-28 13:10:42 ", false, {}, "trailing text"},
        {"1899-12-31 23:59:59", false, {}, "before 1900"},
        {"", false, {}, "empty"},
        {"@", false, {}, "@ without digits"},
        {"@12x", false, {}, "@ with trailing text"},
        {"@99999999999999999999", false, {}, "too many digits to hold"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        std::int64_t ms = -7;
        std::string why;
        EXPECT_EQ(ParseMoment(c.text, ms, &why), c.ok) << why;
        if (!c.ok) {
            EXPECT_FALSE(why.empty());
            continue;
        }
        LocalMoment back;
        ASSERT_TRUE(ToLocalMoment(ms, back));
        EXPECT_EQ(FileNameFor(back, kFormalKind, Run::Recent), FileNameFor(c.want, kFormalKind, Run::Recent));
    }

    struct Epoch {
        const char* text;
        std::int64_t want;
    };
    for (const Epoch& e : {Epoch{"@0", 0}, Epoch{"@1.5", 1500}, Epoch{"@1782652242.552", 1782652242552},
                           Epoch{"@-1.25", -1250}}) {
        SCOPED_TRACE(e.text);
        std::int64_t ms = 0;
        ASSERT_TRUE(ParseMoment(e.text, ms));
        EXPECT_EQ(ms, e.want);
    }
}

std::int64_t ModificationMs(const fs::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return -1;
    return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1'000'000;
}

TEST(WriteIntoFolder, NameContentAndModificationTimeAgree) {
    TempDir dir;
    AssessmentContent content;
    ASSERT_TRUE(ParseMoment("2026-06-28 13:10:42.552", content.executedUtcMs));
    std::string written;
    std::string why;
    ASSERT_TRUE(WriteIntoFolder(content, dir.path.string(), written, &why)) << why;
    EXPECT_EQ(fs::path(written).filename(), "2026-06-28 13.10.42.552 Formal.Assessment (Recent).WinSAT.xml");
    EXPECT_EQ(ModificationMs(written), content.executedUtcMs);
    const std::string bytes = Slurp(written);
    EXPECT_TRUE(bytes.starts_with("\xFF\xFE" + Wide("<?xml version=\"1.0\" encoding=\"UTF-16\"?><WinSAT>")));
    EXPECT_NE(bytes.find(Wide("Friendly=\"Sunday June 28, 2026  1:10:42pm\">739795:47442552<")),
              std::string::npos);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 1)
        << "no temporary file is left behind";
}

TEST(WriteIntoFolder, NeverReplacesAnExistingFile) {
    TempDir dir;
    AssessmentContent first;
    ASSERT_TRUE(ParseMoment("2026-06-28 13:10:42.552", first.executedUtcMs));
    std::string written;
    ASSERT_TRUE(WriteIntoFolder(first, dir.path.string(), written));
    const std::string before = Slurp(written);

    AssessmentContent second = first;
    second.systemScore = "1.0";
    std::string again;
    std::string why;
    EXPECT_FALSE(WriteIntoFolder(second, dir.path.string(), again, &why));
    EXPECT_NE(why.find("already exists"), std::string::npos) << why;
    EXPECT_EQ(Slurp(written), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 1)
        << "the refused file's temporary is removed";
}

TEST(WriteToPath, ReportsAFolderThatDoesNotExist) {
    TempDir dir;
    std::string why;
    EXPECT_FALSE(WriteToPath(AssessmentContent{}, (dir.path / "missing" / "a.xml").string(), &why));
    EXPECT_NE(why.find("missing"), std::string::npos) << why;
}

TEST(MakeDatastore, CreatesTheWindowsSpellingOrReusesAnyLetterCase) {
    {
        TempDir dir;
        std::string datastore;
        std::string why;
        ASSERT_TRUE(MakeDatastore(dir.path.string(), datastore, &why)) << why;
        EXPECT_EQ(fs::path(datastore), dir.path / "Performance" / "WinSAT" / "DataStore");
        EXPECT_TRUE(fs::is_directory(datastore));
    }
    {
        SCOPED_TRACE("a mounted disk's existing folders are used, whatever their letter case");
        TempDir dir;
        fs::create_directories(dir.path / "PERFORMANCE" / "winsat");
        std::string datastore;
        ASSERT_TRUE(MakeDatastore(dir.path.string(), datastore));
        EXPECT_EQ(fs::path(datastore), dir.path / "PERFORMANCE" / "winsat" / "DataStore");
    }
    {
        SCOPED_TRACE("a Windows directory that is a file cannot hold a datastore");
        TempDir dir;
        std::ofstream(dir.path / "file") << "x";
        std::string datastore;
        std::string why;
        EXPECT_FALSE(MakeDatastore((dir.path / "file").string(), datastore, &why));
        EXPECT_FALSE(why.empty());
        EXPECT_FALSE(MakeDatastore("", datastore, &why));
    }
}

}  // namespace
}  // namespace tallyhive::writer
