#include "assessment/Loading.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "assessment/AssessmentResult.h"
#include "assessment/SystemFacts.h"
#include "assessment/testing/Documents.h"
#include "assessment/testing/Fakes.h"
#include "platform/Platform.h"

namespace tallyhive {
namespace {

using Type = DirEntry::Type;
using testing::AssessmentXml;
using testing::Utf16le;

DirEntry Entry(std::string name, std::int64_t created, Type type = Type::RegularFile) {
    DirEntry entry;
    entry.name = std::move(name);
    entry.type = type;
    entry.creationTimeUtc = created;
    return entry;
}

TEST(SelectNewestFormal, WhichEntriesQualify) {
    const FakeTimeService time;
    const std::int64_t t = 1'782'000'000;
    struct Case {
        std::string root;
        std::vector<DirEntry> entries;
        std::string want;
        const char* why;
    };
    const Case cases[] = {
        {"C:\\ds",
         {Entry("a Formal.Assessment.WinSAT.XML", t)},
         "C:\\ds\\a Formal.Assessment.WinSAT.XML",
         "an upper-case extension qualifies"},
        {"C:\\ds", {Entry("a formal.assessment.xml", t)}, "", "the word in lower case does not"},
        {"C:\\Formal\\ds",
         {Entry("2026 Cpu.Assessment.xml", t)},
         "C:\\Formal\\ds\\2026 Cpu.Assessment.xml",
         "the word in the folder above qualifies every file"},
        {"C:\\ds", {Entry("x Formal.xml", t, Type::Directory)}, "", "a directory named like one"},
        {"C:\\ds", {Entry("x Formal.xml", t, Type::Other)}, "", "a FIFO or device named like one"},
        {"C:\\ds", {Entry(".", t, Type::Directory), Entry("..", t, Type::Directory)}, "", "dot entries"},
        {"C:\\ds", {Entry("a Formal.xml.bak", t)}, "", "the last extension counts"},
        {"C:\\ds", {Entry("Formal", t)}, "", "no extension"},
        {"C:\\ds", {Entry("Formal.xml.", t)}, "", "a trailing dot is an extension of its own"},
        {"C:\\ds", {Entry("Formal.xMl", t)}, "C:\\ds\\Formal.xMl", "mixed case"},
        {"C:\\ds",
         {Entry("Formal", t), Entry(".xml", t)},
         "",
         "the word and the extension must be in one path"},
        {"C:\\ds\\", {Entry("Formal.xml", t)}, "C:\\ds\\Formal.xml", "no second separator after one"},
        {"/mnt/ds/", {Entry("Formal.xml", t)}, "/mnt/ds/Formal.xml", "a slash ends the root as well"},
        {"", {}, "", "nothing listed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(SelectNewestFormal(c.root, '\\', c.entries, time), c.want);
    }
}

TEST(SelectNewestFormal, TheLatestCreationTimeWins) {
    const FakeTimeService time(-7 * 3600);
    const std::int64_t t = 1'782'000'000;
    struct Case {
        std::vector<DirEntry> entries;
        std::string want;
        const char* why;
    };
    const Case cases[] = {
        {{Entry("b Formal.xml", t), Entry("a Formal.xml", t + 1)},
         "a Formal.xml",
         "created later wins over the name that sorts later"},
        {{Entry("a Formal.xml", t + 1), Entry("b Formal.xml", t)},
         "a Formal.xml",
         "and over a later position"},
        {{Entry("first Formal.xml", t), Entry("second Formal.xml", t)},
         "first Formal.xml",
         "the same second: the first met wins"},
        {{Entry("new Formal.xml", t), Entry("old Formal.xml", -3'000'000'000LL)},
         "new Formal.xml",
         "a time before 1900 never beats a real one"},
        {{Entry("old Formal.xml", -3'000'000'000LL), Entry("new Formal.xml", t)},
         "new Formal.xml",
         "a time before 1900 is replaced by the next one"},
        {{Entry("x Formal.xml", INT64_MAX), Entry("y Formal.xml", t)},
         "y Formal.xml",
         "a time the platform cannot convert leaves the others usable"},
        {{Entry("new Formal.xml", t + 100, Type::Directory), Entry("old Formal.xml", t)},
         "old Formal.xml",
         "a newer directory does not hide an older file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(SelectNewestFormal("/ds", '/', c.entries, time), "/ds/" + c.want);
    }
}

// The clocks change twice a year: a file written 20 minutes after another, with the change between
// them, is the newer one, whatever its local time reads. Measuring again compares these same seconds.
TEST(SelectNewestFormal, ALaterFileWinsAcrossTheClockChanges) {
    using Change = FakeTimeService::ClockChange;
    constexpr std::int64_t kHour = 3600;
    // 2026 in New York (UTC-5, daylight saving UTC-4) and Berlin (UTC+1, daylight saving UTC+2).
    const std::int64_t newYorkSpring = 1'772'953'200;  // 8 March 07:00 UTC, 02:00 local becomes 03:00
    const std::int64_t newYorkAutumn = 1'793'512'800;  // 1 November 06:00 UTC, 02:00 local becomes 01:00
    const std::int64_t berlinSpring = 1'774'746'000;   // 29 March 01:00 UTC, 02:00 local becomes 03:00
    const std::int64_t berlinAutumn = 1'792'890'000;   // 25 October 01:00 UTC, 03:00 local becomes 02:00
    const std::vector<Change> newYork{{newYorkSpring, -4 * kHour}, {newYorkAutumn, -5 * kHour}};
    const std::vector<Change> berlin{{berlinSpring, 2 * kHour}, {berlinAutumn, kHour}};
    struct Case {
        std::int64_t standardOffset;
        const std::vector<Change>* changes;
        std::int64_t change;
        const char* why;
    };
    const Case cases[] = {
        {-5 * kHour, &newYork, newYorkAutumn, "New York, clocks back: 01:10 is after 01:50"},
        {-5 * kHour, &newYork, newYorkSpring, "New York, clocks forward: 03:10 is 20 minutes after 01:50"},
        {kHour, &berlin, berlinAutumn, "Berlin, clocks back: 02:10 is after 02:50"},
        {kHour, &berlin, berlinSpring, "Berlin, clocks forward: 03:10 is 20 minutes after 01:50"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        FakeTimeService time(c.standardOffset);
        time.changes = *c.changes;
        const std::int64_t earlier = c.change - 10 * 60;
        const std::int64_t later = c.change + 10 * 60;
        EXPECT_GT(ComparableSeconds(later, time), ComparableSeconds(earlier, time));
        EXPECT_EQ(SelectNewestFormal("/ds", '/',
                                     {{Entry("a Formal.xml", later), Entry("b Formal.xml", earlier)}}, time),
                  "/ds/a Formal.xml");
        EXPECT_EQ(SelectNewestFormal("/ds", '/',
                                     {{Entry("b Formal.xml", earlier), Entry("a Formal.xml", later)}}, time),
                  "/ds/a Formal.xml");
    }
}

TEST(ListFormalFiles, NewestFirstAndTiesInEnumerationOrder) {
    const FakeTimeService time;
    const std::vector<DirEntry> entries = {
        Entry("b Formal.xml", 200), Entry("Cpu.Assessment.xml", 900),
        Entry("a Formal.xml", 300), Entry("c Formal.xml", 200),
        Entry("d Formal.xml", 100), Entry("e Formal.xml", 500, Type::Directory),
    };
    EXPECT_EQ(ListFormalFiles("/ds", '/', entries, time),
              (std::vector<std::string>{"/ds/a Formal.xml", "/ds/b Formal.xml", "/ds/c Formal.xml",
                                        "/ds/d Formal.xml"}));
}

// A datastore with one consistent Windows 7 assessment and the services around it.
struct Datastore {
    FakeFileService files;
    FakeTimeService time{9 * 3600};
    FakeModuleService modules;
    std::unique_ptr<XmlParser> xml = MakeXmlParser();
    AssessmentServices services{files, time, modules, *xml};
    CAssessmentResult record{time};
    std::int64_t exec = time.Utc(2026, 6, 30, 9, 5, 7);

    Datastore() {
        files.datastoreFolder = "C:\\Windows\\Performance\\WinSAT\\DataStore";
        files.folders[files.datastoreFolder];
        modules.loadable = {"d3d9.dll", "d3d11.dll"};
    }
    std::string Add(const std::string& name, const std::string& bytes, std::int64_t created,
                    std::int64_t lastWritten) {
        return files.AddFile(files.datastoreFolder, name, bytes, FileTimes{created, lastWritten});
    }
    bool LoadLatest(std::string* why = nullptr, std::string* chosen = nullptr) {
        return LoadLatestResult(record, services, why, chosen);
    }
};

TEST(LoadLatestResult, ReadsTheNewestFormalFile) {
    Datastore d;
    d.Add("2026-06-29 Formal.Assessment (Initial).WinSAT.xml", AssessmentXml("Windows 7 Home", "3.0"),
          d.exec - 86400, d.exec - 86400);
    const std::string newest = d.Add("2026-06-30 Formal.Assessment (Recent).WinSAT.xml",
                                     Utf16le(AssessmentXml("Windows 7 Ultimate")), d.exec, d.exec + 3);
    d.Add("2026-06-30 Cpu.Assessment (Recent).WinSAT.xml", "<WinSAT/>", d.exec + 50, d.exec + 50);

    std::string why, chosen;
    ASSERT_TRUE(d.LoadLatest(&why, &chosen)) << why;
    EXPECT_EQ(chosen, newest);
    EXPECT_EQ(d.record.osProductName, "Windows 7 Ultimate");
    EXPECT_EQ(d.record.cpuScore, "7.9");
    EXPECT_EQ(d.record.processorNames, (std::vector<std::string>{"Intel(R) Core(TM) i7 "}));
    EXPECT_EQ(d.record.GetExecDateTime(), d.exec);
    EXPECT_EQ(d.record.directXVersion, "11");
}

TEST(LoadLatestResult, FailuresLeaveTheRecordEmpty) {
    struct Case {
        const char* name;
        void (*arrange)(Datastore&);
        const char* reason;
    };
    const Case cases[] = {
        {"no datastore folder", [](Datastore& d) { d.files.folders.clear(); },
         "no formal assessment in C:\\Windows"},
        {"an empty datastore", [](Datastore&) {},
         "no formal assessment in C:\\Windows\\Performance\\WinSAT\\DataStore"},
        {"only component files",
         [](Datastore& d) { d.Add("Cpu.Assessment (Initial).WinSAT.xml", "<WinSAT/>", d.exec, d.exec); },
         "no formal assessment"},
        {"the newest is not well-formed, an older one is fine",
         [](Datastore& d) {
             d.Add("old Formal.xml", AssessmentXml("Windows 7"), d.exec, d.exec);
             d.Add("new Formal.xml", AssessmentXml("Windows 7").substr(0, 200), d.exec + 60, d.exec + 60);
         },
         "new Formal.xml"},
        {"the newest is listed but cannot be read",
         [](Datastore& d) {
             const std::string path = d.Add("x Formal.xml", AssessmentXml("Windows 7"), d.exec, d.exec);
             d.files.files[path].readable = false;
         },
         "x Formal.xml"},
        {"an empty file", [](Datastore& d) { d.Add("x Formal.xml", "", d.exec, d.exec); }, "x Formal.xml"},
        {"copied: times disagree with the execution",
         [](Datastore& d) {
             d.Add("x Formal.xml", AssessmentXml("Windows 7"), d.exec + 3600, d.exec + 3600);
         },
         "refused: execution time and creation time differ by 3600 s"},
        {"a score beyond its version",
         [](Datastore& d) { d.Add("x Formal.xml", AssessmentXml("Windows 7", "8.0"), d.exec, d.exec); },
         "refused: score cpuScore 8.0 is outside 1.0-7.9"},
        {"Windows 10 is refused",
         [](Datastore& d) { d.Add("x Formal.xml", AssessmentXml("Windows 10 Pro", "9.3"), d.exec, d.exec); },
         "product name \"Windows 10 Pro\" is not Windows Vista, 7 or 8"},
        {"the date text does not parse",
         [](Datastore& d) {
             d.Add("x Formal.xml", AssessmentXml("Windows 7", "7.0", "soon"), d.exec, d.exec);
         },
         "no usable execution time"},
        {"a time of day beyond the day",
         [](Datastore& d) {
             d.Add("x Formal.xml",
                   AssessmentXml("Windows 7", "7.0", "June 30, 2026  9:05:07am", "99999999999"), d.exec,
                   d.exec);
         },
         "no usable execution time"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Datastore d;
        c.arrange(d);
        // Load a good assessment first: a failure afterwards must not leave it behind.
        d.record.osProductName = "Windows 7 from an earlier load";
        d.record.processorNames = {"earlier"};
        d.record.execTime = 42;
        std::string why;
        EXPECT_FALSE(d.LoadLatest(&why));
        EXPECT_NE(why.find(c.reason), std::string::npos) << why;
        EXPECT_EQ(d.record.osProductName, "");
        EXPECT_EQ(d.record.cpuScore, "");
        EXPECT_TRUE(d.record.processorNames.empty());
        EXPECT_EQ(d.record.directXVersion, "");
        EXPECT_EQ(d.record.execTime, 0);
    }
}

TEST(LoadLatestResult, AFailedLoadAfterASuccessfulOneLeavesNothing) {
    Datastore d;
    d.Add("a Formal.xml", AssessmentXml("Windows 7"), d.exec, d.exec);
    ASSERT_TRUE(d.LoadLatest());
    ASSERT_EQ(d.record.osProductName, "Windows 7");
    d.Add("b Formal.xml", "<WinSAT><broken>", d.exec + 60, d.exec + 60);
    EXPECT_FALSE(d.LoadLatest());
    EXPECT_EQ(d.record.osProductName, "");
    EXPECT_EQ(d.record.execDateText, "");
}

TEST(LoadResultFile, ReadsOneFileAndRefusesAnEmptyPath) {
    Datastore d;
    const std::string path = d.Add("a Formal.xml", AssessmentXml("Windows 7"), d.exec, d.exec);
    EXPECT_TRUE(LoadResultFile(path, d.record, d.services));
    EXPECT_EQ(d.record.cpuScore, "7.9");

    std::string why;
    EXPECT_FALSE(LoadResultFile("", d.record, d.services, &why));
    EXPECT_FALSE(why.empty());
    EXPECT_EQ(d.record.cpuScore, "");
}

}  // namespace
}  // namespace tallyhive
