#include "assessment/SystemFacts.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "assessment/AssessmentResult.h"
#include "assessment/testing/Fakes.h"

namespace tallyhive {
namespace {

TEST(SystemFacts, WindowsVersionAndItsName) {
    struct Case {
        const char* product;
        WindowsVersion version;
        const char* name;
    };
    const Case cases[] = {
        {"Windows Vista (TM) Home Premium", WindowsVersion::Vista, "Vista"},
        {"Windows 7 Ultimate", WindowsVersion::Seven, "7"},
        {"Windows 8.1 Pro", WindowsVersion::Eight, "8"},
        {"Windows 10 Pro", WindowsVersion::Unknown, ""},
        {"", WindowsVersion::Unknown, ""},
    };
    const FakeTimeService time;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.product);
        CAssessmentResult record(time);
        record.osProductName = c.product;
        EXPECT_EQ(WindowsVersionOf(record), c.version);
        EXPECT_EQ(WindowsVersionName(WindowsVersionOf(record)), c.name);
    }
}

TEST(SystemFacts, DirectXProbeKeepsTheHighestModuleThatLoads) {
    struct Case {
        std::vector<std::string> present;
        const char* before;
        const char* want;
        const char* why;
    };
    const Case cases[] = {
        {{"d3d8.dll", "d3d9.dll", "d3d10.dll", "d3d11.dll"}, "", "11", "d3d12 absent"},
        {{"d3d9.dll", "d3d11.dll"}, "", "11", "a gap does not end the probe"},
        {{"d3d12.dll"}, "", "12", "only the newest"},
        {{"d3d8.dll"}, "", "8", "only the oldest"},
        {{}, "", "", "none loads: stays empty"},
        {{}, "9", "9", "none loads: the value is left alone"},
        {{"d3d13.dll", "d3d7.dll"}, "", "", "names outside 8 to 12 are never tried"},
    };
    const FakeTimeService time;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        FakeModuleService modules;
        modules.loadable.insert(c.present.begin(), c.present.end());
        CAssessmentResult record(time);
        record.directXVersion = c.before;
        ProbeDirectXVersion(record, modules);
        EXPECT_EQ(record.directXVersion, c.want);
        EXPECT_EQ(modules.tried,
                  (std::vector<std::string>{"d3d8.dll", "d3d9.dll", "d3d10.dll", "d3d11.dll", "d3d12.dll"}));
    }
}

TEST(SystemFacts, ComparableSecondsDropsWhatCannotBeCompared) {
    const FakeTimeService time(3600);
    struct Case {
        std::int64_t utc;
        std::int64_t want;
        const char* why;
    };
    const Case cases[] = {
        {1'782'652'242, 1'782'652'242, "a normal time comes back unchanged"},
        {time.Utc(1900, 1, 1), time.Utc(1900, 1, 1), "1900 itself counts"},
        {time.Utc(1899, 12, 31, 23, 59, 59), 0, "a local year before 1900 gives zero"},
        {std::numeric_limits<std::int64_t>::max(), 0, "beyond the platform's calendar"},
        {std::numeric_limits<std::int64_t>::min(), 0, "before the platform's calendar"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(ComparableSeconds(c.utc, time), c.want);
    }
}

// A record and its file that agree: Windows 7, every score in range, all times equal.
struct Situation {
    FakeTimeService time{2 * 3600};
    FakeFileService files;
    CAssessmentResult record{time};
    std::int64_t exec = 0;
    std::string path;

    explicit Situation(const char* product = "Windows 7 Professional") {
        exec = time.Utc(2026, 6, 28, 13, 10, 42);
        record.osProductName = product;
        for (const ScoreField& score : kScoreFields) record.*score.text = "5.0";
        record.execTime = exec;
        record.execDateText = "739795:47442552";  // 13:10:42.552
        path = files.AddFile("C:\\ds", "a Formal.Assessment.xml", "", FileTimes{exec, exec});
    }
    void SetTimes(std::int64_t creationOffset, std::int64_t lastWriteOffset) {
        files.files[path].times = FileTimes{exec + creationOffset, exec + lastWriteOffset};
    }
};

TEST(SystemFacts, ConsistencyOfTheFileTimes) {
    struct Case {
        const char* product;
        std::int64_t creation, lastWrite;  // seconds from the execution time
        bool consistent;
        const char* why;  // also a text the reason must contain when refused
    };
    const Case cases[] = {
        {"Windows 7", 0, 0, true, "all equal"},
        {"Windows 7", 0, 10, true, "last-write 10 s after creation"},
        {"Windows 7", -10, 0, true, "creation 10 s before the execution"},
        {"Windows 7", 0, 11, false, "last-write and creation times differ by 11 s (more than 10)"},
        {"Windows 7", 11, 0, false, "last-write and creation times differ by 11 s"},
        {"Windows Vista", 0, 11, false, "last-write and creation times differ by 11 s (more than 10)"},
        {"Windows 7", 11, 11, false, "execution time and creation time differ by 11 s (more than 10)"},
        {"Windows 8", -11, -11, false, "execution time and creation time differ by 11 s"},
        {"Windows 7", 5, -5, true, "each pair within 10"},
        {"Windows 7", 6, -4, true, "creation 6 after, last-write 4 before"},
        {"Windows 7", 10, 0, true, "exactly the tolerance passes"},
        {"Windows 7", 0, -10, true, "last-write 10 before the execution"},
        {"Windows 7", 6, -5, false, "last-write and creation times differ by 11 s"},
        {"Windows Vista", 540, 540, true, "Vista: 9 minutes after the execution"},
        {"Windows Vista", 660, 660, false,
         "execution time and creation time differ by 660 s (more than 600)"},
        {"Windows Vista", 600, 600, true, "Vista: exactly 600 passes"},
        {"Windows Vista", 601, 601, false, "more than 600"},
        {"Windows 7", 540, 540, false, "execution time and creation time differ by 540 s (more than 10)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        Situation s(c.product);
        s.SetTimes(c.creation, c.lastWrite);
        std::string why;
        EXPECT_EQ(IsConsistentWithFile(s.record, s.path, s.files, s.time, &why), c.consistent);
        if (!c.consistent) {
            EXPECT_NE(why.find(c.why), std::string::npos) << why;
        }
    }
}

TEST(SystemFacts, ConsistencyNeedsTheFileAndAnExecutionTime) {
    struct Case {
        const char* name;
        void (*change)(Situation&);
        const char* reason;
    };
    const Case cases[] = {
        {"the file has gone", [](Situation& s) { s.files.files.clear(); }, "cannot read the times"},
        {"no path", [](Situation& s) { s.path.clear(); }, "no assessment file"},
        {"no execution text", [](Situation& s) { s.record.execDateText.clear(); },
         "no usable execution time"},
        {"a time of day beyond the day", [](Situation& s) { s.record.execDateText = "1:86400000"; },
         "no usable execution time"},
        {"a negative time of day", [](Situation& s) { s.record.execDateText = "1:-1000"; },
         "no usable execution time"},
        {"no execution date", [](Situation& s) { s.record.execTime = 0; }, "no usable execution time"},
        // File times before 1900 compare as zero; with no execution time either, every difference
        // would be zero and an undated file would pass.
        {"no execution time and a file dated before 1900",
         [](Situation& s) {
             s.record.execDateText.clear();
             s.files.files[s.path].times = FileTimes{s.time.Utc(1850, 1, 1), s.time.Utc(1850, 1, 1)};
         },
         "no usable execution time"},
        {"file times at the ends of the seconds count",
         [](Situation& s) {
             s.files.files[s.path].times = FileTimes{std::numeric_limits<std::int64_t>::min(),
                                                     std::numeric_limits<std::int64_t>::max()};
         },
         "execution time and creation time differ"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Situation s;
        c.change(s);
        std::string why;
        EXPECT_FALSE(IsConsistentWithFile(s.record, s.path, s.files, s.time, &why));
        EXPECT_NE(why.find(c.reason), std::string::npos) << why;
    }
}

TEST(SystemFacts, ConsistencyOfVersionAndScores) {
    struct Case {
        const char* product;
        const char* cpuScore;
        bool consistent;
        const char* reason;
    };
    const Case cases[] = {
        {"Windows 7", "7.9", true, ""},
        {"Windows 7", "1.0", true, ""},
        {"Windows 7", "8.0", false, "score cpuScore 8.0 is outside 1.0-7.9"},
        {"Windows 7", "0.9", false, "score cpuScore 0.9 is outside 1.0-7.9"},
        {"Windows 7", "", false, "score cpuScore (empty) is outside 1.0-7.9"},
        {"Windows 7", "nan", false, "score cpuScore nan is outside"},
        {"Windows 7", "inf", false, "score cpuScore inf is outside"},
        {"Windows 7", "1e400", false, "score cpuScore 1e400 is outside"},
        {"Windows 7", "6.0", true, ""},
        {"Windows Vista", "6.0", false, "score cpuScore 6.0 is outside 1.0-5.9"},
        {"Windows Vista", "5.9", true, ""},
        {"Windows 8", "9.9", true, ""},
        {"Windows 8", "10.0", false, "is outside 1.0-9.9"},
        {"Windows 10 Pro", "5.0", false, "product name \"Windows 10 Pro\" is not Windows Vista, 7 or 8"},
        {"Microsoft Windows 7", "5.0", false, "is not Windows Vista, 7 or 8"},
        {"", "5.0", false, "product name \"(empty)\" is not"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.product) + " / " + c.cpuScore);
        Situation s(c.product);
        s.record.cpuScore = c.cpuScore;
        std::string why;
        EXPECT_EQ(IsConsistentWithFile(s.record, s.path, s.files, s.time, &why), c.consistent);
        if (!c.consistent) {
            EXPECT_NE(why.find(c.reason), std::string::npos) << why;
        }
    }
}

TEST(SystemFacts, ReasonsShowHostileValuesShortened) {
    Situation s;
    s.record.diskScore = std::string(100000, '9');
    std::string why;
    EXPECT_FALSE(IsConsistentWithFile(s.record, s.path, s.files, s.time, &why));
    EXPECT_NE(why.find("score diskScore 999"), std::string::npos) << why;
    EXPECT_LT(why.size(), 200u);
}

}  // namespace
}  // namespace tallyhive
