#include "tools/report/Report.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "assessment/testing/Fakes.h"
#include "platform/Platform.h"
#include "tools/assessment_writer/AssessmentWriter.h"

namespace tallyhive::report {
namespace {

using Json = nlohmann::json;
using writer::AssessmentContent;
using writer::LocalMoment;

constexpr const char* kFolder = "/win/Performance/WinSAT/DataStore";

// A datastore in memory whose files are rendered by the writer, with times chosen per file.
struct Datastore {
    FakeFileService files;
    FakeTimeService time{2 * 3600};  // local time two hours ahead of UTC
    FakeModuleService modules;
    std::unique_ptr<XmlParser> parser = MakeXmlParser();
    AssessmentServices services{files, time, modules, *parser};

    Datastore() {
        files.datastoreFolder = kFolder;
        files.separator = '/';
        files.folders[kFolder];
    }

    // Adds a file executed at local time `at`; its creation and last-write times lie `creationSkew`
    // and `writeSkew` seconds after that.
    std::string Add(const AssessmentContent& content, const LocalMoment& at, std::int64_t creationSkew = 0,
                    std::int64_t writeSkew = 0) {
        std::string xml;
        std::string bytes;
        EXPECT_TRUE(writer::RenderDocument(content, at, xml));
        EXPECT_TRUE(writer::EncodeUtf16Le(xml, bytes));
        const std::int64_t utc = time.Utc(at.year, at.month, at.day, at.hour, at.minute, at.second);
        return files.AddFile(kFolder, writer::FileNameFor(at, content.kind, content.run), bytes,
                             FileTimes{utc + creationSkew, utc + writeSkew});
    }

    int Run(ReportOptions options, std::string& out, std::string& err) {
        out.clear();
        err.clear();
        if (options.source == ReportOptions::Source::Default)
            options.source = ReportOptions::Source::WindowsDir;
        return RunReport(options, services, out, err);
    }
};

template <typename Set>
ReportOptions Options(Set set) {
    ReportOptions options;
    set(options);
    return options;
}

AssessmentContent Content(std::string product, std::string cpuScore = "7.1") {
    AssessmentContent c;
    c.productName = std::move(product);
    c.cpuScore = std::move(cpuScore);
    return c;
}

AssessmentContent VistaContent() {
    AssessmentContent c = Content("Windows Vista Business", "5.9");
    c.systemScore = c.memoryScore = c.graphicsScore = c.gamingScore = c.diskScore = "4.0";
    return c;
}

const LocalMoment kMorning{2026, 6, 28, 9, 30, 0, 250};
const LocalMoment kNoon{2026, 6, 28, 12, 0, 0, 0};

TEST(RunReport, ExitStatusAndReasonForEachSituation) {
    struct Case {
        const char* why;
        AssessmentContent content;
        std::int64_t creationSkew, writeSkew;
        int want;
        const char* wantInErr;  // empty: nothing on standard error
    };
    const Case cases[] = {
        {"a consistent Windows 7 file", Content("Windows 7 Ultimate"), 0, 3, kShown, ""},
        {"Windows 10 and 11 name themselves Windows 10", Content("Windows 10 Pro"), 0, 0, kNotShown,
         "Windows 10 Pro"},
        {"a score above the Windows 7 range", Content("Windows 7 Ultimate", "8.0"), 0, 0, kNotShown,
         "cpuScore"},
        {"a score text that is not a number", Content("Windows 7 Ultimate", "nan"), 0, 0, kNotShown,
         "cpuScore"},
        {"11 s between creation and last write", Content("Windows 7 Ultimate"), 0, 11, kNotShown,
         "last-write and creation"},
        {"execution time 11 s before the file", Content("Windows 8 Pro"), 11, 11, kNotShown,
         "execution time"},
        {"Vista allows 10 minutes", VistaContent(), 540, 540, kShown, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        Datastore store;
        store.Add(c.content, kMorning, c.creationSkew, c.writeSkew);
        std::string out;
        std::string err;
        EXPECT_EQ(store.Run({}, out, err), c.want);
        if (*c.wantInErr == '\0') {
            EXPECT_EQ(err, "");
        } else {
            EXPECT_NE(err.find(c.wantInErr), std::string::npos) << err;
        }
        // What was read is shown also when it was refused, with the reason.
        EXPECT_NE(out.find("Processor        " + c.content.cpuScore), std::string::npos) << out;
        EXPECT_NE(out.find(c.want == kShown ? "Consistent:   yes" : "Consistent:   no: "), std::string::npos)
            << out;
    }
}

TEST(RunReport, NothingToShow) {
    struct Case {
        const char* why;
        bool listed;
        std::string bytes;  // of the one formal file; empty: no file
        ReportOptions options;
        int want;
        const char* wantInErr;
    };
    const Case cases[] = {
        {"empty datastore", true, "", {}, kNotShown, "no formal assessment"},
        {"folder cannot be listed", false, "", {}, kUnusable, "no datastore folder"},
        {"the newest file is not XML", true, "garbage", {}, kUnusable, "cannot read"},
        {"odd-length UTF-16", true, std::string("\xFF\xFE<\0?", 5), {}, kUnusable, "cannot read"},
        {"a given file that does not exist", true, "", Options([](ReportOptions& o) {
             o.source = ReportOptions::Source::File;
             o.where = "/nowhere/x.xml";
         }),
         kUnusable, "/nowhere/x.xml"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        Datastore store;
        if (!c.listed) store.files.folders.clear();
        if (!c.bytes.empty())
            store.files.AddFile(kFolder, "2026-06-28 09.30.00.000 Formal.Assessment (Recent).WinSAT.xml",
                                c.bytes);
        std::string out;
        std::string err;
        EXPECT_EQ(store.Run(c.options, out, err), c.want);
        EXPECT_EQ(out, "") << "nothing was read, so nothing is shown";
        EXPECT_NE(err.find(c.wantInErr), std::string::npos) << err;
    }
}

TEST(RunReport, JsonCarriesTheRecordAndTheTexts) {
    Datastore store;
    store.modules.loadable = {"d3d9.dll", "d3d11.dll"};
    AssessmentContent older = Content("Windows 7 Home Premium");
    store.Add(older, kMorning);
    AssessmentContent newest = Content("Windows 7 Ultimate");
    newest.processorNames = {"P1", "P2"};
    newest.modules = {{"K", "X"}, {std::nullopt, "Y"}};
    const std::string path = store.Add(newest, kNoon);
    AssessmentContent component = Content("Windows 7 Ultimate");
    component.kind = "Cpu.Assessment";
    store.Add(component, {2026, 6, 28, 13, 0, 0, 0});  // later, but not a formal assessment

    std::string out;
    std::string err;
    ASSERT_EQ(store.Run(Options([](ReportOptions& o) { o.json = true; }), out, err), kShown) << err;
    const Json json = Json::parse(out);
    EXPECT_EQ(json["path"], path);
    EXPECT_EQ(json["consistent"], true);
    EXPECT_EQ(json["windowsVersion"], "7");
    const Json& record = json["record"];
    EXPECT_EQ(record["osProductName"], "Windows 7 Ultimate");
    EXPECT_EQ(record["processorNames"], Json::array({"P1", "P2"}));
    EXPECT_EQ(record["dimmManufacturers"], Json::array({"K", ""}))
        << "a module without a maker keeps its place";
    EXPECT_EQ(record["directXVersion"], "11");
    EXPECT_EQ(record["execDateText"], "739795:43200000");
    EXPECT_EQ(record["execDateTime"], store.time.Utc(2026, 6, 28, 12, 0, 0));
    EXPECT_TRUE(record["execTime"].is_number_integer());
    EXPECT_EQ(json["texts"]["cpu_information"], "P1, P2");
    EXPECT_EQ(json["texts"]["game_information"], "1.0GB, DirectX 11");
}

TEST(RunReport, AllListsEveryFormalFileNewestFirst) {
    Datastore store;
    const std::string morning = store.Add(Content("Windows 7 Ultimate"), kMorning);
    const std::string broken = store.files.AddFile(
        kFolder, "2026-06-28 10.00.00.000 Formal.Assessment (Recent).WinSAT.xml", "<a>",
        FileTimes{store.time.Utc(2026, 6, 28, 10, 0, 0), store.time.Utc(2026, 6, 28, 10, 0, 0)});
    const std::string refused = store.Add(Content("Windows 10 Pro"), kNoon);

    std::string out;
    std::string err;
    ASSERT_EQ(store.Run(Options([](ReportOptions& o) { o.all = o.json = true; }), out, err), kShown)
        << "one consistent file is enough";
    const Json json = Json::parse(out);
    ASSERT_EQ(json.size(), 3u);
    EXPECT_EQ(json[0]["path"], refused);
    EXPECT_EQ(json[1]["path"], broken);
    EXPECT_EQ(json[2]["path"], morning);
    EXPECT_EQ(json[1]["consistent"], false);
    EXPECT_NE(json[1]["why"].get<std::string>().find("cannot read"), std::string::npos)
        << "listed, not fatal";
    EXPECT_EQ(json[2]["consistent"], true);

    store.files.files.erase(morning);
    store.files.folders[kFolder].erase(store.files.folders[kFolder].begin());
    EXPECT_EQ(store.Run(Options([](ReportOptions& o) { o.all = true; }), out, err), kNotShown)
        << "no consistent file left";
    EXPECT_NE(err.find("none of the formal assessments"), std::string::npos) << err;
}

// Every byte as %XX, written independently of the form builder.
std::string Encoded(std::string_view text) {
    std::string out;
    for (const char c : text) {
        char escape[4];
        std::snprintf(escape, sizeof escape, "%%%02X", static_cast<unsigned char>(c));
        out += escape;
    }
    return out;
}

TEST(RunReport, ShareFormIsTheExactBody) {
    Datastore store;
    AssessmentContent c = Content("Windows 7 Ultimate", "7.9");
    c.machineManufacturer = "Acme & Co";
    c.machineProductName = "Box=1";
    c.machineVersion = "";
    c.modules = {{"K", "X"}, {"K", "X"}};
    c.diskModel = "Disk \xE3\x82\xA2";  // a katakana letter: three UTF-8 bytes
    store.Add(c, kMorning);

    const std::string want = "system_score=" + Encoded("5.9") + "&cpu_score=" + Encoded("7.9") +
                             "&memory_score=" + Encoded("7.3") + "&gpu_score=" + Encoded("6.5") +
                             "&game_score=" + Encoded("6.5") + "&disk_score=" + Encoded("5.9") +
                             "&system_information=" + Encoded("Windows 7 Ultimate") +
                             "&machine_information=" + Encoded("Acme & Co Box=1") +
                             "&cpu_information=" + Encoded("Intel(R) Core(TM) i7-2600 CPU @ 3.40GHz") +
                             "&memory_information=" + Encoded("8.0GB, K X") +
                             "&gpu_information=" + Encoded("NVIDIA GeForce GTX 560 Ti") +
                             "&game_information=" + Encoded("1.0GB, DirectX ") +
                             "&disk_information=" + Encoded("Disk \xE3\x82\xA2") + "&pass_code=";
    struct Case {
        std::optional<std::string> serverDateTime;
        const char* passCode;
        const char* why;
    };
    store.time.now = store.time.Utc(2014, 3, 5, 9, 7, 59);
    const Case cases[] = {
        {"201403050907", "fb1f49928b8f930d5b4470da8bd44ae2", "the service's time stamp"},
        {" 201403050907 ", "8f7a9d9181c23372181f3097f685734f", "digested with its spaces"},
        {std::nullopt, "fb1f49928b8f930d5b4470da8bd44ae2", "the local clock to the minute"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.why);
        std::string out;
        std::string err;
        ASSERT_EQ(store.Run(Options([&k](ReportOptions& o) {
                                o.shareForm = true;
                                o.serverDateTime = k.serverDateTime;
                            }),
                            out, err),
                  kShown)
            << err;
        EXPECT_EQ(out, want + k.passCode + "&captcha=\n");
    }
}

TEST(Printable, ControlCharactersCannotReachTheTerminal) {
    struct Case {
        std::string in, want;
        const char* why;
    };
    const Case cases[] = {
        {"Intel\x1B[2J", "Intel?[2J", "escape starts a terminal command"},
        {"a\rb\nc\td", "a?b?c?d", "line structure of the report stays intact"},
        {"x\x7F", "x?", "DEL"},
        {"\xC2\x9B"
         "31m",
         "?31m", "the one-byte CSI of C1, as UTF-8"},
        {"\xC2\xA0\xC3\xA9", "\xC2\xA0\xC3\xA9", "other non-ASCII characters pass"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(Printable(c.in), c.want);
    }
}

}  // namespace
}  // namespace tallyhive::report
