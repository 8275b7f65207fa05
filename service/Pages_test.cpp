// The pages keep the program's contract (ids, properties, functions) and show stored texts as text.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>

#include "service/Pages.h"

namespace tallyhive::service {
namespace {

bool Has(const std::string& html, const std::string& part) {
    return html.find(part) != std::string::npos;
}

TEST(Pages, TheProgramFindsWhatItReads) {
    struct Case {
        std::string html;
        std::vector<std::string> parts;
        const char* page;
    };
    const Case cases[] = {
        {StartPage(Language::English, "2.00"),
         {"<input type=\"hidden\" id=\"version\" value=\"2.00\">", "id=\"load_lastest_result\"",
          "id=\"start_analyze\""},
         "start"},
        {ResultPage(Language::Japanese, "202612101610"),
         {"id=\"server_datetime\" value=\"202612101610\"", "id=\"cpu_score\"", "id=\"memory_score\"",
          "id=\"gpu_score\"", "id=\"game_score\"", "id=\"disk_score\"", "id=\"cpu_information\"",
          "id=\"disk_information\"", "id=\"system_score\"", "id=\"system_information\"",
          "id=\"machine_information\"", "id=\"share\"", "id=\"reload\"", "id=\"home\"", "window.setBarValue",
          "window.updateBarValue", "lang=\"ja\""},
         "result"},
        {ProfilePage(Language::English, "202612101610", 42),
         {"id=\"server_datetime\"", "id=\"system_score\"", "id=\"system_information\"",
          "id=\"open_page\" name=\"42\" value=\"42\"", "id=\"home\""},
         "profile"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.page);
        for (const std::string& part : c.parts) EXPECT_TRUE(Has(c.html, part)) << part;
        // Commands are buttons holding text only, never links or inside links.
        const std::regex button(R"(<button[^>]*>([^<]*)</button>)");
        std::size_t buttons = 0;
        for (auto it = std::sregex_iterator(c.html.begin(), c.html.end(), button);
             it != std::sregex_iterator(); ++it)
            ++buttons;
        std::size_t opened = 0;
        for (std::size_t at = c.html.find("<button"); at != std::string::npos;
             at = c.html.find("<button", at + 1))
            ++opened;
        EXPECT_EQ(buttons, opened) << "a button holds an element";
        EXPECT_FALSE(Has(c.html, "<a ")) << "no links on the program's pages";
    }
    EXPECT_FALSE(Has(ProfilePage(Language::English, "x", std::nullopt), "open_page"));
    EXPECT_TRUE(Has(ProfilePage(Language::English, "x", std::nullopt), "id=\"share\""));
}

TEST(Pages, StoredTextsAreShownAsText) {
    ShareView view;
    view.share.id = 7;
    const std::string hostile = "<script>alert(1)</script>\"'&";
    for (auto& text : view.share.texts) text = hostile;
    view.share.texts[0] = "7.9";
    view.sameCpu.push_back(view.share);
    const std::string pages[] = {
        SharePage(Language::English, view),
        ShareListPage(Language::Japanese, {view.share}, ShareQuery{hostile, hostile, 50, 0}),
        RejectedPage(Language::English, hostile)};
    for (const std::string& html : pages) {
        EXPECT_FALSE(Has(html, "<script>alert")) << html.substr(0, 200);
        EXPECT_TRUE(Has(html, "&lt;script&gt;alert(1)&lt;/script&gt;&quot;&#39;&amp;"));
    }
    EXPECT_TRUE(Has(ShareListPage(Language::English, {view.share}, {}), "cpu=%3Cscript%3E"));
}

TEST(Pages, EveryRefusalIsExplainedInBothLanguages) {
    using Kind = FormProblem::Kind;
    for (const Kind kind : {Kind::BadEscape, Kind::RepeatedKey, Kind::NotText, Kind::MissingKey,
                            Kind::BadScore, Kind::TooLong, Kind::BadPassCode}) {
        SCOPED_TRACE(static_cast<int>(kind));
        const FormProblem problem{kind, "gpu_score"};
        const std::string english = DescribeProblem(Language::English, problem);
        const std::string japanese = DescribeProblem(Language::Japanese, problem);
        EXPECT_FALSE(english.empty());
        EXPECT_NE(japanese, english);
        EXPECT_TRUE(std::any_of(japanese.begin(), japanese.end(), [](char c) { return (c & 0x80) != 0; }))
            << japanese;
        if (kind != Kind::BadEscape && kind != Kind::BadPassCode) {
            EXPECT_TRUE(Has(english, "gpu_score")) << english;
            EXPECT_TRUE(Has(japanese, "gpu_score")) << japanese;
        }
    }
    EXPECT_EQ(DescribeProblem(Language::English, {}), "");
}

TEST(Pages, FillReplacesNamedPlaceholdersOnce) {
    struct Case {
        const char* pattern;
        const char* expected;
    };
    const Case cases[] = {
        {"rank {position} of {total}", "rank 2 of 10"},           {"{total}{total}", "1010"},
        {"{key} stays as given", "{total} stays as given"},  // a value is not filled again
        {"unknown {name} and {open", "unknown {name} and {open"}, {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Fill(c.pattern, {{"position", "2"}, {"total", "10"}, {"key", "{total}"}}), c.expected)
            << c.pattern;
}

TEST(Pages, LanguagesAndRanges) {
    EXPECT_EQ(LanguageOf("ja"), Language::Japanese);
    for (const char* other : {"en", "", "JA", "ja-JP", "fr"})
        EXPECT_EQ(LanguageOf(other), Language::English) << other;
    EXPECT_EQ(ScoreRangeFor("Windows Vista (TM) Ultimate"), 5.9);
    EXPECT_EQ(ScoreRangeFor("Windows 7 Professional"), 7.9);
    EXPECT_EQ(ScoreRangeFor("Windows 8 Pro"), 9.9);
    EXPECT_EQ(ScoreRangeFor("Windows 10 Pro"), 9.9);  // later systems score like the newest known
}

}  // namespace
}  // namespace tallyhive::service
