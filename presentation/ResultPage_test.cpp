#include "presentation/ResultPage.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

#include "assessment/AssessmentResult.h"
#include "assessment/testing/Fakes.h"
#include "base/Text.h"
#include "presentation/Formatting.h"
#include "presentation/testing/Fakes.h"

namespace tallyhive {
namespace {

constexpr const char* kResult = "http://svc.test/software/tallyhive/result_20.php";
constexpr const char* kProfile = "http://svc.test/software/tallyhive/result_profile_20.php";

void Fill(CAssessmentResult& record) {
    record.systemScore = "5.9";
    record.cpuScore = "7.9";
    record.memoryScore = "7.3";
    record.graphicsScore = "6.5";
    record.gamingScore = "6.4";
    record.diskScore = "5.9";
    record.osProductName = "Windows 7 Ultimate";
    record.machineManufacturer = "Acer";
    record.machineProductName = "Aspire A515-45";
    record.processorNames = {"Intel(R) Core(TM) i7-2600 CPU @ 3.40GHz"};
    record.adapterDescriptions = {"NVIDIA GeForce GTX 560 Ti"};
    record.dedicatedVideoMemories = {"1073741824"};
    record.totalPhysicalBytes = "8589934592";
    record.diskModel = "ST1000DM003";
}

// The ten alternating bar and description calls both pages begin with.
std::vector<std::string> HardwareCalls(const CAssessmentResult& r, const std::string& width) {
    const auto bar = [&](const char* selector, const std::string& score, const char* colour) {
        return "CallPageScript setBarValue(" + std::string(selector) + "," + score + "," + colour + "," +
               width + ")";
    };
    return {
        bar("#cpu_score", r.cpuScore, "#F51D90"),
        "SetElementText cpu_information " + FormatProcessors(r),
        bar("#memory_score", r.memoryScore, "#FFB326"),
        "SetElementText memory_information " + FormatMemory(r),
        bar("#gpu_score", r.graphicsScore, "#BFDE56"),
        "SetElementText gpu_information " + FormatAdapters(r),
        bar("#game_score", r.gamingScore, "#38BEFF"),
        "SetElementText game_information " + FormatGaming(r),
        bar("#disk_score", r.diskScore, "#BF1DFF"),
        "SetElementText disk_information " + FormatDisk(r),
    };
}

TEST(FillResultPage, ExactCallsOnEachPage) {
    const FakeTimeService time;
    CAssessmentResult record(time);
    Fill(record);
    const std::string machine = FormatMachine(record);

    std::vector<std::string> result = HardwareCalls(record, "800.000000");
    result.push_back("SetElementHtml system_score 5.9");
    result.push_back("SetElementHtml system_information Windows 7 Ultimate");
    result.push_back("SetElementHtml machine_information " + machine);

    std::vector<std::string> profile = HardwareCalls(record, "800.000000");
    profile.push_back("CallPageScript setBarValue(#system_score,5.9,#515151,800.000000)");
    profile.push_back("SetElementHtml system_information " + machine + " (Windows 7 Ultimate)");
    profile.push_back("CallPageScript updateBarValue(800.000000)");

    struct Case {
        std::string url;
        std::vector<std::string> want;
        const char* why;
    };
    const Case cases[] = {
        {kResult, result, "ten bar calls, then three HTML settings"},
        {kProfile, profile, "six bars, five texts, one HTML, updateBarValue last"},
        {std::string(kResult) + "?lang=ja&x=1", result, "a query string does not hide the page name"},
        {"http://svc.test/software/tallyhive/start.php", HardwareCalls(record, "800.000000"),
         "another page still gets the five bars"},
        {"http://svc.test/RESULT_20.PHP", HardwareCalls(record, "800.000000"), "the name is case-sensitive"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        FakePageWriter page;
        EXPECT_TRUE(FillResultPage(page, record, c.url, "800.000000"));
        EXPECT_EQ(page.calls, c.want);
    }
}

TEST(FillResultPage, FailingPageCallsDoNotStopTheRest) {
    const FakeTimeService time;
    CAssessmentResult record(time);
    FakePageWriter page;
    page.scriptResult = false;
    EXPECT_TRUE(FillResultPage(page, record, kProfile, "1.000000"));
    EXPECT_EQ(page.calls.size(), 13u);
    EXPECT_EQ(page.calls[0], "CallPageScript setBarValue(#cpu_score,,#F51D90,1.000000)") << "empty score";
}

TEST(FillResultPage, HtmlValuesAreEscapedAndTextsAreNot) {
    const FakeTimeService time;
    CAssessmentResult record(time);
    Fill(record);
    record.systemScore = "7.9<img src=x onerror=alert(1)>";
    record.osProductName = "Windows 7 \"<b>Ultimate</b>\" & 'more'";
    record.machineManufacturer = "<script>host.click()</script>";
    record.adapterDescriptions = {"Radeon <HD> & Co"};

    FakePageWriter result;
    FillResultPage(result, record, kResult, "640.000000");
    EXPECT_EQ(result.calls[10], "SetElementHtml system_score 7.9&lt;img src=x onerror=alert(1)&gt;");
    EXPECT_EQ(result.calls[11],
              "SetElementHtml system_information Windows 7 &quot;&lt;b&gt;Ultimate&lt;/b&gt;&quot; &amp; "
              "&#39;more&#39;");
    EXPECT_EQ(result.calls[12], "SetElementHtml machine_information " + EscapeHtml(FormatMachine(record)));
    EXPECT_EQ(result.calls[12].find('<'), std::string::npos) << "no markup from the file reaches the page";
    EXPECT_EQ(result.calls[5], "SetElementText gpu_information " + FormatAdapters(record))
        << "plain-text descriptions are shown literally by the page and stay as they are";

    FakePageWriter profile;
    FillResultPage(profile, record, kProfile, "640.000000");
    EXPECT_EQ(profile.calls[10],
              "CallPageScript setBarValue(#system_score,7.9<img src=x onerror=alert(1)>,#515151,"
              "640.000000)")
        << "a script argument is data, not markup";
    EXPECT_EQ(profile.calls[11].find('<'), std::string::npos);
}

TEST(FillResultPage, EmptyMachineLeavesTheSpaceBeforeTheParenthesis) {
    const FakeTimeService time;
    CAssessmentResult record(time);
    record.osProductName = "Windows 8 Pro";
    ASSERT_EQ(FormatMachine(record), "");
    FakePageWriter page;
    FillResultPage(page, record, kProfile, "640.000000");
    EXPECT_EQ(page.calls[11], "SetElementHtml system_information  (Windows 8 Pro)");
}

TEST(BarWidthText, DevicePixelsOverTheScale) {
    struct Case {
        int client;
        double scale;
        const char* want;
        const char* why;
    };
    const Case cases[] = {
        {800, 1.0, "800.000000", "96 dpi"},
        {800, 1.25, "640.000000", "120 dpi"},
        {960, 1.5, "640.000000", "144 dpi"},
        {1001, 1.5, "667.333333", "six decimals, rounded"},
        {0, 1.0, "0.000000", "no width"},
        {640, 0.0, "640.000000", "an impossible scale counts as 1"},
        {640, -2.0, "640.000000", "a negative one too"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(BarWidthText(c.client, c.scale), c.want);
    }
}

TEST(BarWidthText, IgnoresTheProcessLocale) {
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous ? previous : "C";
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "no German locale installed";
    const std::string width = BarWidthText(960, 1.5);
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(width, "640.000000") << "a decimal comma would break the page's arithmetic";
}

}  // namespace
}  // namespace tallyhive
