#include "app/TallyhiveDlg.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/Messages.h"
#include "app/testing/Fakes.h"
#include "assessment/testing/Documents.h"
#include "assessment/testing/Fakes.h"
#include "platform/Platform.h"
#include "share/PassCode.h"

namespace tallyhive {
namespace {

constexpr const char* kRoot = "http://svc.test/";
constexpr const char* kSoftware = "http://svc.test/software/tallyhive/";
constexpr const char* kProgram = "/opt/tallyhive/bin/tallyhive";

struct Shell {
    FakePageBridge page;
    FakeWindowHost window;
    FakeUserInterface ui;
    FakeProgramInfo program;
    FakeFileService files;
    FakeTimeService time;
    FakeModuleService modules;
    std::unique_ptr<XmlParser> xml = MakeXmlParser();
    FakeRemeasurer remeasurer;
    std::string language = "en";
    CTallyhiveDlg dlg{
        DialogServices{page, window, ui, program, AssessmentServices{files, time, modules, *xml}, remeasurer,
                       [this] { return language; }},
        kRoot};

    Shell() { program.path = kProgram; }

    // A click on `element` in a page of the service.
    bool Click(const FakePageElement& element, std::string_view pageAddress = kSoftware) {
        return dlg.OnPageEvent(CTallyhiveDlg::kClickEvent, &element, pageAddress);
    }
    // Puts one monitor of 1920 by 1080 (work area 1040 high) under the window, at 96 dpi.
    void OneMonitor() {
        window.monitors = {MonitorEntry{{0, 0, 1920, 1080}, {0, 0, 1920, 1040}, "DISPLAY1", 7}};
        window.windowMonitor = 7;
        window.placement.normal = {100, 100, 756, 459};
        window.client = {0, 0, 640, 320};
        window.scrollWidth = 640;
        window.scrollHeight = 480;
    }
};

std::shared_ptr<const FakePageElement> Element(std::string id, std::string tag,
                                               std::shared_ptr<const FakePageElement> parent = {}) {
    return std::make_shared<const FakePageElement>(std::move(id), std::move(tag), std::move(parent));
}

TEST(PageCommands, EachCommandDoesItsOneThing) {
    struct Case {
        const char* id;
        const char* language;
        std::vector<std::string> calls;
        std::vector<int> closes;
        const char* why;
    };
    const Case cases[] = {
        {"agree",
         "ja",
         {std::string("NavigateTo ") + kSoftware + "start.php?lang=ja"},
         {},
         "with the language"},
        {"agree", "en", {std::string("NavigateTo ") + kSoftware + "start.php?lang=en"}, {}, "English too"},
        {"home", "ja", {std::string("NavigateTo ") + kSoftware + "start.php"}, {}, "home has no language"},
        {"reload", "en", {"ReloadPage"}, {}, "reload the page shown"},
        {"not_agree", "en", {}, {2}, "closes with the cancel result"},
        {"Agree", "en", {}, {}, "ids are compared case-sensitively"},
        {"agree ", "en", {}, {}, "and exactly"},
        {"", "en", {}, {}, "an element without id does nothing"},
        {"load_lastest_resul", "en", {}, {}, "no prefix matching"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        Shell shell;
        shell.language = c.language;
        const auto button = Element(c.id, "BUTTON");
        EXPECT_TRUE(shell.Click(*button)) << "every click in a service page counts as handled";
        EXPECT_EQ(shell.page.calls, c.calls);
        EXPECT_EQ(shell.window.closeResults, c.closes);
        EXPECT_TRUE(shell.ui.messages.empty());
        EXPECT_TRUE(shell.ui.openedUrls.empty());
    }
}

TEST(PageCommands, OnlyTheClickedElementsOwnIdCounts) {
    Shell shell;
    const auto button = Element("agree", "BUTTON");
    const auto span = Element("", "SPAN", button);
    EXPECT_TRUE(shell.Click(*span));
    EXPECT_TRUE(shell.page.navigations.empty()) << "a child of the agree button is not the button";
}

TEST(PageCommands, NonClickEventsAndMissingSourcesAreNotHandled) {
    Shell shell;
    const auto button = Element("agree", "BUTTON");
    EXPECT_FALSE(shell.dlg.OnPageEvent(-606, button.get(), kSoftware)) << "mouse movement";
    EXPECT_FALSE(shell.dlg.OnPageEvent(CTallyhiveDlg::kClickEvent, nullptr, kSoftware)) << "no source";
    EXPECT_TRUE(shell.page.calls.empty());
}

TEST(PageCommands, OnlyOwnPagesAndTheServiceRunCommands) {
    struct Case {
        std::string address;
        bool trusted;
        const char* why;
    };
    const Case cases[] = {
        {std::string(kSoftware) + "result_20.php", true, "a service page"},
        {kRoot, true, "the root itself"},
        {std::string("res://") + kProgram + "/134", true, "the English agreement"},
        {std::string("res://") + kProgram + "/129", true, "the Japanese agreement"},
        {std::string("res://") + kProgram + "/130", false, "an image is no page"},
        {"res:///other/program/134", false, "another program's path"},
        {"http://evil.test/share", false, "a page elsewhere"},
        {std::string("http://evil.test/?u=") + kRoot, false, "the root must be at the start"},
        {"http://svc.test.evil.test/", false, "a host that merely begins like the service's"},
        {"https://svc.test/", false, "another scheme is another origin"},
        {"", false, "no address"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        Shell shell;
        const auto share = Element("share", "BUTTON");
        EXPECT_EQ(shell.dlg.OnPageEvent(CTallyhiveDlg::kClickEvent, share.get(), c.address), c.trusted);
        EXPECT_EQ(shell.page.navigations.size(), c.trusted ? 1u : 0u) << "the hardware is sent or not";
    }
}

TEST(PageCommands, OpenPageReadsNameThenValue) {
    struct Case {
        std::vector<std::pair<std::string, std::string>> properties;  // name -> value on "open_page"
        std::vector<std::string> opened;
        const char* why;
    };
    const std::string share = std::string(kSoftware) + "share.php?id=";
    const Case cases[] = {
        {{{"name", "A1b2"}, {"value", "zz"}}, {share + "A1b2&lang=en"}, "name wins"},
        {{{"value", "77"}}, {share + "77&lang=en"}, "value when there is no name"},
        {{{"name", ""}, {"value", "77"}}, {share + "&lang=en"}, "an empty name is a successful read"},
        {{{"value", "a&b=c"}}, {share + "a&b=c&lang=en"}, "ampersands pass unchanged"},
        {{}, {}, "neither property: nothing opens"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        Shell shell;
        for (const auto& [name, value] : c.properties) shell.page.properties[{"open_page", name}] = value;
        EXPECT_TRUE(shell.Click(*Element("open_page", "BUTTON")));
        EXPECT_EQ(shell.ui.openedUrls, c.opened);
        EXPECT_TRUE(shell.page.navigations.empty()) << "the window itself stays where it is";
    }
}

TEST(PageCommands, FailedLoadShowsTheMessageInTheUsersLanguage) {
    struct Case {
        const char* language;
        const char* text;
    };
    const Case cases[] = {
        {"ja",
         "最後の計測結果の読み込みに失敗しました。計測結果がまだ存在していない可能性があります。"
         "再計測で計測を行って下さい。"},
        {"en",
         "Failed to load the last measurement results. Maybe, there is no measurement results. Please "
         "re-measurement."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.language);
        Shell shell;
        shell.language = c.language;
        shell.files.datastoreFolder = "C:\\Windows\\Performance\\WinSAT\\DataStore";
        shell.files.folders[shell.files.datastoreFolder] = {};
        EXPECT_TRUE(shell.Click(*Element("load_lastest_result", "BUTTON")));
        ASSERT_EQ(shell.ui.messages.size(), 1u);
        EXPECT_EQ(shell.ui.messages[0].text, c.text);
        EXPECT_EQ(shell.ui.messages[0].caption, "tallyhive") << "the program file's name";
        EXPECT_EQ(shell.ui.messages[0].kind, MessageKind::Warning);
        EXPECT_TRUE(shell.page.navigations.empty()) << "the page stays as it was";
    }
    // The caption names the file as the file system does, not as the pages' addresses encode it.
    Shell shell;
    shell.program.path = "/opt/my%20tools/tally%20hive";
    shell.program.filePath = "/opt/my tools/tally hive";
    shell.files.datastoreFolder = "C:\\Windows\\Performance\\WinSAT\\DataStore";
    shell.files.folders[shell.files.datastoreFolder] = {};
    EXPECT_TRUE(shell.Click(*Element("load_lastest_result", "BUTTON")));
    ASSERT_EQ(shell.ui.messages.size(), 1u);
    EXPECT_EQ(shell.ui.messages[0].caption, "tally hive");
}

TEST(PageCommands, ALoadOpensTheResultPageOnlyWhenItSucceeds) {
    Shell shell;
    const std::string folder = "C:\\Windows\\Performance\\WinSAT\\DataStore";
    shell.files.datastoreFolder = folder;
    shell.files.folders[folder];
    const std::int64_t exec = shell.time.Utc(2026, 6, 30, 9, 5, 7);
    shell.files.AddFile(folder, "a Formal.xml", testing::AssessmentXml("Windows 7"), FileTimes{exec, exec});
    EXPECT_TRUE(shell.Click(*Element("load_lastest_result", "BUTTON")));
    EXPECT_EQ(shell.page.calls,
              (std::vector<std::string>{std::string("NavigateTo ") + kSoftware + "result_20.php"}));
    EXPECT_TRUE(shell.ui.messages.empty());
    EXPECT_EQ(shell.dlg.Record().osProductName, "Windows 7");

    // A newer file that cannot be read: the record is emptied and nothing more is navigated.
    shell.files.AddFile(folder, "b Formal.xml", "<WinSAT><broken>", FileTimes{exec + 60, exec + 60});
    EXPECT_TRUE(shell.Click(*Element("load_lastest_result", "BUTTON")));
    EXPECT_EQ(shell.page.calls.size(), 1u);
    EXPECT_EQ(shell.ui.messages.size(), 1u);
    EXPECT_EQ(shell.dlg.Record().osProductName, "");
}

TEST(RemeasureFailureMessage, SpeaksTheUsersLanguage) {
    EXPECT_EQ(RemeasureFailureMessage("en"), "Failed to re-measurement.");
    EXPECT_EQ(RemeasureFailureMessage("ja"), "再計測に失敗しました。");
}

TEST(StartFailureMessage, SpeaksTheUsersLanguageAroundTheSystemsReason) {
    struct Case {
        const char* language;
        StartFailure failure;
        const char* detail;
        const char* want;
    };
    const Case cases[] = {
        {"en", StartFailure::NoOle, "0x8001010E",
         "TALLYHIVE cannot start: OLE cannot be initialised (0x8001010E)."},
        {"ja", StartFailure::NoOle, "0x8001010E",
         "OLEを初期化できないため、TALLYHIVEを起動できません。(0x8001010E)"},
        {"en", StartFailure::NoBrowserControl, "the web browser control cannot be created (0x80040154)",
         "TALLYHIVE cannot start: the web browser control cannot be created (0x80040154)."},
        {"ja", StartFailure::NoBrowserControl, "the web browser control cannot be created (0x80040154)",
         "Webブラウザーコントロールを使えないため、TALLYHIVEを起動できません。(the web browser control "
         "cannot "
         "be created (0x80040154))"},
        {"fr", StartFailure::NoOle, "0x1", "TALLYHIVE cannot start: OLE cannot be initialised (0x1)."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.want);
        EXPECT_EQ(StartFailureMessage(c.language, c.failure, c.detail), c.want);
    }
}

TEST(PageCommands, RemeasureReportsEitherFailure) {
    struct Case {
        bool measures;
        const char* language;
        const char* message;  // null: none
        const char* why;
    };
    const Case cases[] = {
        {false, "ja", "再計測に失敗しました。", "the measurement failed"},
        {false, "en", "Failed to re-measurement.", "in English"},
        {true, "en", "Failed to re-measurement.", "measured, but the new result cannot be loaded"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        Shell shell;
        shell.language = c.language;
        shell.remeasurer.measures = c.measures;
        EXPECT_TRUE(shell.Click(*Element("start_analyze", "BUTTON")));
        EXPECT_EQ(shell.remeasurer.runs, 1);
        ASSERT_EQ(shell.ui.messages.size(), 1u);
        EXPECT_EQ(shell.ui.messages[0].text, c.message);
    }
}

TEST(PageCommands, AMeasurementStillRunningElsewhereIsNoFailure) {
    for (const char* language : {"en", "ja"}) {
        SCOPED_TRACE(language);
        Shell shell;
        shell.language = language;
        shell.remeasurer.stillRunning = true;
        EXPECT_TRUE(shell.Click(*Element("start_analyze", "BUTTON")));
        EXPECT_EQ(shell.remeasurer.runs, 1);
        ASSERT_EQ(shell.ui.messages.size(), 1u);
        EXPECT_EQ(shell.ui.messages[0].text, RemeasureStillRunningMessage(language));
        EXPECT_NE(shell.ui.messages[0].text, RemeasureFailureMessage(language));
        EXPECT_TRUE(shell.page.calls.empty()) << "the page stays as it was";
    }
    EXPECT_NE(RemeasureStillRunningMessage("ja"), RemeasureStillRunningMessage("en"));
}

TEST(PageCommands, TheDefaultRemeasurerFailsVisibly) {
    Shell shell;
    UnavailableRemeasurer unavailable;
    CTallyhiveDlg dlg(DialogServices{shell.page, shell.window, shell.ui, shell.program,
                                     AssessmentServices{shell.files, shell.time, shell.modules, *shell.xml},
                                     unavailable, [] { return std::string("en"); }},
                      kRoot);
    const auto button = Element("start_analyze", "BUTTON");
    EXPECT_TRUE(dlg.OnPageEvent(CTallyhiveDlg::kClickEvent, button.get(), kSoftware));
    ASSERT_EQ(shell.ui.messages.size(), 1u);
    EXPECT_EQ(shell.ui.messages[0].text, "Failed to re-measurement.");
}

TEST(PageCommands, ShareSendsTheFormWithThePassCodeOfTheServiceTime) {
    Shell shell;
    shell.page.properties[{"server_datetime", "value"}] = "201403050907";
    shell.dlg.OnPageArrived(std::string(kSoftware) + "result_20.php");
    shell.page.calls.clear();

    EXPECT_TRUE(shell.Click(*Element("share", "BUTTON")));
    ASSERT_EQ(shell.page.navigations.size(), 1u);
    const auto& post = shell.page.navigations[0];
    EXPECT_EQ(post.url, std::string(kRoot) + "as/responses/add/tallyhive");
    EXPECT_EQ(post.headers, "Content-type: application/x-www-form-urlencoded\r\n");
    ASSERT_TRUE(post.postData.has_value());
    EXPECT_TRUE(post.postData->starts_with("system_score=")) << *post.postData;
    EXPECT_NE(post.postData->find("&pass_code=" + PassCodeFor("201403050907") + "&captcha="),
              std::string::npos)
        << "the pass code comes from the captured time, not the clock";
}

TEST(Links, LinksAreHandledBeforeCommands) {
    struct Case {
        std::shared_ptr<const FakePageElement> source;
        std::vector<std::pair<std::string, std::string>> hrefs;  // element id -> href
        std::vector<std::string> opened;
        const char* why;
    };
    const auto serviceLink = Element("about", "A");
    const auto lowerLink = Element("about", "a");
    const auto otherLink = Element("other", "A");
    const auto agreeLink = Element("agree", "A");
    const auto imageInLink = Element("", "IMG", serviceLink);
    const auto agreeInLink = Element("agree", "BUTTON", serviceLink);
    const Case cases[] = {
        {serviceLink,
         {{"about", std::string(kSoftware) + "x?a=1&b=2"}},
         {std::string(kSoftware) + "x?a=1%26b=2"},
         "a service link opens outside with every & escaped"},
        {lowerLink, {{"about", kSoftware}}, {kSoftware}, "the tag compares without case"},
        {otherLink, {{"other", "http://elsewhere.test/"}}, {}, "another address is left to the browser"},
        {serviceLink, {}, {}, "an unreadable href opens nothing"},
        {imageInLink, {{"about", kSoftware}}, {kSoftware}, "the image inside the agreement's link"},
        {agreeLink, {{"agree", "http://elsewhere.test/"}}, {}, "a link named like a command is a link"},
        {agreeInLink, {{"about", kSoftware}}, {kSoftware}, "a link around a command wins"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        Shell shell;
        for (const auto& [id, href] : c.hrefs) shell.page.properties[{id, "href"}] = href;
        EXPECT_TRUE(shell.Click(*c.source));
        EXPECT_EQ(shell.ui.openedUrls, c.opened);
        EXPECT_TRUE(shell.page.navigations.empty()) << "no command ran";
    }
}

TEST(PageArrival, VersionCheckOnTheStartPage) {
    struct Case {
        const char* productVersion;
        const char* pageVersion;  // null: the page has no "version"
        const char* language;
        const char* question;  // null: no question
        const char* why;
    };
    const char* en200 =
        "TALLYHIVE of this version (ver.2.00) is not the latest version. It does not work correctly. Do you "
        "want to open the page of this software?";
    const Case cases[] = {
        {"2.0.0.1", "2.1", "en", en200, "a newer release"},
        {"2.0.0.1", "2.00", "en", nullptr, "the same release"},
        {"2.0.0.1", "2", "en", nullptr, "the same number written shorter"},
        {"2.0.0.1", "1.9", "en", nullptr, "an older one"},
        {"2.0.0.1", "", "en", nullptr, "empty counts as 0"},
        {"2.0.0.1", "latest", "en", nullptr, "no digits count as 0"},
        {"2.0.0.1", nullptr, "en", nullptr, "no version element: no check"},
        {"2.0.0.1", "2.01", "en",
         "TALLYHIVE of this version (ver.2.00) is not the latest version. It does not work correctly. Do "
         "you want to open the page of this software?",
         "2.01 is above 2.00"},
        {"2.0.1.0", "2.01", "en", nullptr, "the build part joins the minor part"},
        {"2.0.10.0", "2.02", "en",
         "TALLYHIVE of this version (ver.2.010) is not the latest version. It does not work correctly. Do "
         "you want to open the page of this software?",
         "2.010 reads as 2.01, below 2.02"},
        {"", "0.5", "en",
         "TALLYHIVE of this version (ver.) is not the latest version. It does not work correctly. Do you "
         "want "
         "to open the page of this software?",
         "an unreadable version counts as 0"},
        {"2.0.0.1", "2.1", "ja",
         "このバージョン(ver.2.00)のTALLYHIVEは、最新版ではないため正しく動作しない可能性があります。ソフ"
         "トウェアのページを開きますか？",
         "in Japanese"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        Shell shell;
        shell.language = c.language;
        shell.program.productVersion = c.productVersion;
        if (c.pageVersion) shell.page.properties[{"version", "value"}] = c.pageVersion;
        shell.dlg.OnPageArrived(std::string(kSoftware) + "start.php?lang=en");
        if (c.question == nullptr) {
            EXPECT_TRUE(shell.ui.messages.empty());
            continue;
        }
        ASSERT_EQ(shell.ui.messages.size(), 1u);
        EXPECT_EQ(shell.ui.messages[0].text, c.question);
        EXPECT_EQ(shell.ui.messages[0].kind, MessageKind::Question);
    }
}

TEST(PageArrival, AnsweringYesOpensTheSoftwarePageOutside) {
    for (const MessageAnswer answer : {MessageAnswer::Yes, MessageAnswer::No}) {
        Shell shell;
        shell.ui.answer = answer;
        shell.page.properties[{"version", "value"}] = "9";
        shell.dlg.OnPageArrived(std::string(kSoftware) + "start.php");
        const std::vector<std::string> want =
            answer == MessageAnswer::Yes ? std::vector<std::string>{kSoftware} : std::vector<std::string>{};
        EXPECT_EQ(shell.ui.openedUrls, want);
        EXPECT_TRUE(shell.page.navigations.empty()) << "the start page stays";
    }
}

TEST(PageArrival, ResultPagesCaptureTheTimeThenFillThenFit) {
    Shell shell;
    shell.OneMonitor();
    shell.page.properties[{"server_datetime", "value"}] = "201403050907";
    shell.dlg.OnPageArrived(std::string(kSoftware) + "result_20.php");
    EXPECT_EQ(shell.dlg.ServerDateTime(), "201403050907");
    ASSERT_FALSE(shell.page.calls.empty());
    EXPECT_EQ(shell.page.calls.front(), "QueryElementProperty server_datetime value");
    EXPECT_TRUE(shell.page.calls.back().starts_with("SetElementHtml machine_information"))
        << "the result page was filled";
    EXPECT_EQ(shell.window.placementsSet.size(), 1u) << "and the window fitted";

    // The profile page has no time stamp: the earlier one is not kept.
    shell.page.properties.clear();
    shell.dlg.OnPageArrived(std::string(kSoftware) + "result_profile_20.php");
    EXPECT_EQ(shell.dlg.ServerDateTime(), "");
    EXPECT_EQ(shell.page.calls.back(), "CallPageScript updateBarValue(640.000000)");
}

TEST(PageArrival, PagesElsewhereGetNeitherTimeNorRecord) {
    struct Case {
        std::string address;
        const char* why;
    };
    const Case cases[] = {
        {"http://evil.test/result_20.php", "a page named like the result page"},
        {std::string("http://evil.test/?") + kSoftware + "result_profile_20.php", "the root in the query"},
        {std::string("res://") + kProgram + "/134", "the agreement only gets fitted"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        Shell shell;
        shell.OneMonitor();
        shell.page.properties[{"server_datetime", "value"}] = "201403050907";
        shell.dlg.OnPageArrived(std::string(kSoftware) + "result_20.php");
        shell.page.calls.clear();
        shell.window.placementsSet.clear();

        shell.page.properties[{"server_datetime", "value"}] = "209912312359";
        shell.dlg.OnPageArrived(c.address);
        EXPECT_TRUE(shell.page.calls.empty()) << shell.page.calls.front();
        EXPECT_EQ(shell.dlg.ServerDateTime(), "201403050907") << "the service's stamp is kept";
        EXPECT_EQ(shell.window.placementsSet.size(), 1u) << "every page is fitted";
    }
}

TEST(MainWindow, OpensOnTheAgreementOfTheUsersLanguage) {
    for (const auto& [language, page] :
         {std::pair{"ja", "LoadBuiltInPage 129"}, {"en", "LoadBuiltInPage 134"}}) {
        Shell shell;
        shell.language = language;
        EXPECT_TRUE(shell.dlg.OnDialogCreated());
        EXPECT_EQ(shell.window.centerings, 1);
        EXPECT_EQ(shell.page.calls, std::vector<std::string>{page});
    }
}

TEST(MainWindow, DisplayScaleIsReadOnce) {
    Shell shell;
    shell.window.dpiX = 144;
    shell.window.dpiY = 120;
    EXPECT_DOUBLE_EQ(shell.dlg.Scale().x, 1.5);
    shell.window.dpiX = 96;
    EXPECT_DOUBLE_EQ(shell.dlg.Scale().x, 1.5) << "later changes of the setting are not seen";
    EXPECT_DOUBLE_EQ(shell.dlg.Scale().y, 1.25);
    EXPECT_EQ(shell.window.dpiReads, 2);
}

TEST(MainWindow, ResultPageWidthIsInPagePixels) {
    Shell shell;
    shell.OneMonitor();
    shell.window.dpiX = 144;
    shell.window.client = {0, 0, 960, 480};
    shell.dlg.OnPageArrived(std::string(kSoftware) + "result_20.php");
    ASSERT_GE(shell.page.calls.size(), 2u);
    EXPECT_EQ(shell.page.calls[1], "CallPageScript setBarValue(#cpu_score,,#F51D90,640.000000)");
}

}  // namespace
}  // namespace tallyhive
