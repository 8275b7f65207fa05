#include "service/Pages.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "assessment/SystemFacts.h"
#include "base/Text.h"
#include "service/Form.h"
#include "service/PageFiles.h"
#include "service/PageTexts.h"

namespace tallyhive::service {

namespace {

// Bar and description ids of the five hardware rows, in the order the program fills them.
struct Row {
    const char* bar;
    const char* description;
    std::size_t score;  // index among the six scores
};
constexpr Row kRows[] = {{"cpu_score", "cpu_information", 1},
                         {"memory_score", "memory_information", 2},
                         {"gpu_score", "gpu_information", 3},
                         {"game_score", "game_information", 4},
                         {"disk_score", "disk_information", 5}};

// The score ranges for the bar script, as the JSON data block it reads ("score_ranges"): the same
// table the service draws its own bars with. A data block is not run, and needs no script allowed.
const std::string& ScoreRangesBlock() {
    static const std::string block = [] {
        nlohmann::ordered_json ranges = nlohmann::ordered_json::array();
        for (const WindowsScoreRange& range : kWindowsScoreRanges)
            ranges.push_back({{"prefix", range.productPrefix}, {"highest", range.highest}});
        std::string json = ranges.dump();
        // Inside a script element, "</" could end the element early.
        for (std::size_t at = json.find("</"); at != std::string::npos; at = json.find("</", at))
            json.replace(at, 2, "<\\/");
        return "<script type=\"application/json\" id=\"score_ranges\">" + json + "</script>";
    }();
    return block;
}

std::string Head(Language language, std::string_view title, bool withBars) {
    std::string html = "<!DOCTYPE html>\n<html lang=\"";
    html += CodeOf(language);
    html += "\"><head><meta charset=\"utf-8\"><meta name=\"viewport\" content=\"width=device-width\"><title>";
    html += EscapeHtml(title);
    // The files start on a line of their own after the tag.
    html += " - TALLYHIVE</title><style>\n";
    html += kStyleSheet;
    html += "</style>";
    if (withBars) {
        // The bars of the result pages. The program calls its two functions with texts; they are only
        // ever used as data (text content and style values), never as markup.
        html += ScoreRangesBlock();
        html += "<script>\n";
        html += kBarScript;
        html += "</script>";
    }
    html += "</head><body><header><span class=\"logo\">TALLYHIVE</span><span class=\"title\">";
    html += EscapeHtml(title);
    html += "</span></header><main>";
    return html;
}

constexpr const char* kFoot = "</main></body></html>\n";

std::string Button(const char* id, std::string_view label, bool primary = false) {
    return std::string("<button type=\"button\" id=\"") + id + "\"" + (primary ? " class=\"primary\"" : "") +
           ">" + std::string(label) + "</button>";
}

std::string Hidden(const char* id, std::string_view value) {
    return std::string("<input type=\"hidden\" id=\"") + id + "\" value=\"" + EscapeHtml(value) + "\">";
}

// An empty bar the program fills through setBarValue.
std::string BarRow(const char* bar, const char* description, std::string_view label) {
    std::string html = "<div class=\"row\"><div class=\"label\">";
    html += label;
    html += "</div><div class=\"bar\" id=\"";
    html += bar;
    html += "\"><div class=\"fill\"></div><span class=\"value\"></span></div>";
    if (description) html += std::string("<div class=\"desc\" id=\"") + description + "\"></div>";
    html += "</div>";
    return html;
}

std::string SharePageAddress(std::int64_t id, Language language) {
    return "share.php?id=" + std::to_string(id) + "&amp;lang=" + std::string(CodeOf(language));
}

// A bar drawn by the service itself, for the public pages.
std::string StaticBar(std::string_view score, double range, const char* colour) {
    const double value = ReadScore(score).value_or(0.0);
    // The longest bar is 320 pixels: the page is read in a browser of any width.
    const int pixels = static_cast<int>(320.0 * std::min(1.0, value / range) + 0.5);
    char style[96];
    std::snprintf(style, sizeof style, "width:%dpx;background:%s", pixels, colour);
    return "<div class=\"bar static\"><div class=\"fill\" style=\"" + std::string(style) +
           "\"></div><span class=\"value\">" + EscapeHtml(score) + "</span></div>";
}

constexpr const char* kColours[kScoreCount] = {"#515151", "#F51D90", "#FFB326",
                                               "#BFDE56", "#38BEFF", "#BF1DFF"};

}  // namespace

Language LanguageOf(std::string_view code) {
    return code == "ja" ? Language::Japanese : Language::English;
}

std::string_view CodeOf(Language language) {
    return language == Language::Japanese ? "ja" : "en";
}

std::string EscapeQuery(std::string_view text) {
    return PercentEncode(text, PercentKeep::Unreserved);
}

double ScoreRangeFor(std::string_view productName) {
    // A system newer than the table scores like the newest one in it.
    const WindowsScoreRange* range = ScoreRangeOf(productName);
    return range ? range->highest : kWindowsScoreRanges.back().highest;
}

std::string SoftwarePage(Language language, std::string_view latestVersion, Downloads downloads) {
    const PageTexts& t = TextsOf(language);
    std::string html = Head(language, t.softwareTitle, false);
    html += t.softwareIntroHtml;
    html += t.downloadHeadingHtml;
    html += "<p>" + std::string(t.latestVersion) + "<b>" + EscapeHtml(latestVersion) + "</b></p>";
    // Only what this server really has: a link that ends in "not found" helps nobody.
    if (downloads.windowsBuild || downloads.linuxBuild) {
        html += "<ul>";
        if (downloads.windowsBuild) {
            html += "<li><a href=\"downloads/" + std::string(kWindowsDownload) + "\">";
            html += t.windowsDownload;
            html += "</a></li>";
        }
        if (downloads.linuxBuild) {
            html += "<li><a href=\"downloads/" + std::string(kLinuxDownload) + "\">";
            html += t.linuxDownload;
            html += "</a></li>";
        }
        html += "</ul>";
    } else {
        html += t.noDownloadsHtml;
    }
    html += t.agreementHeadingHtml;
    html += t.agreementHtml;
    html += "<p><a href=\"shares.php?lang=" + std::string(CodeOf(language)) + "\">" +
            std::string(t.recentShares) + "</a></p>";
    html += kFoot;
    return html;
}

std::string StartPage(Language language, std::string_view latestVersion) {
    const PageTexts& t = TextsOf(language);
    std::string html = Head(language, t.startTitle, false);
    html += Hidden("version", latestVersion);
    html += t.startIntroHtml;
    html += "<div class=\"buttons\">";
    html += Button("load_lastest_result", t.showLastResult, true);
    html += Button("start_analyze", t.measureAgain);
    html += "</div>";
    html += kFoot;
    return html;
}

std::string ResultPage(Language language, std::string_view serverDateTime) {
    const PageTexts& t = TextsOf(language);
    std::string html = Head(language, t.resultTitle, true);
    html += Hidden("server_datetime", serverDateTime);
    html += "<div class=\"summary\"><span class=\"big\" id=\"system_score\"></span><span><b>";
    html += t.scoreLabels[0];
    html +=
        "</b><br><span id=\"system_information\"></span><br><span class=\"muted\" id=\"machine_information\">"
        "</span></span></div><div class=\"rows\">";
    for (const Row& row : kRows) html += BarRow(row.bar, row.description, t.scoreLabels[row.score]);
    html += "</div><div class=\"buttons\">";
    html += Button("share", t.shareThisResult, true);
    html += Button("reload", t.reload);
    html += Button("start_analyze", t.measureAgain);
    html += Button("home", t.home);
    html += "</div>";
    html += kFoot;
    return html;
}

std::string ProfilePage(Language language, std::string_view serverDateTime,
                        std::optional<std::int64_t> shareId) {
    const PageTexts& t = TextsOf(language);
    std::string html = Head(language, shareId ? t.sharedTitle : t.profileTitle, true);
    html += Hidden("server_datetime", serverDateTime);
    html += shareId ? t.profileSharedHtml : t.profileBeforeSharingHtml;
    html += "<p id=\"system_information\"></p><div class=\"rows\">";
    html += BarRow("system_score", nullptr, t.scoreLabels[0]);
    for (const Row& row : kRows) html += BarRow(row.bar, row.description, t.scoreLabels[row.score]);
    html += "</div><div class=\"buttons\">";
    if (!shareId) html += Button("share", t.shareThisResult, true);
    if (shareId) {
        html += "<button type=\"button\" class=\"primary\" id=\"open_page\" name=\"" +
                std::to_string(*shareId) + "\" value=\"" + std::to_string(*shareId) + "\">" +
                std::string(t.openSharePage) + "</button>";
    }
    html += Button("home", t.home);
    html += "</div>";
    html += kFoot;
    return html;
}

std::string RejectedPage(Language language, std::string_view reason) {
    const PageTexts& t = TextsOf(language);
    std::string html = Head(language, t.rejectedTitle, false);
    html += "<div class=\"error\"><p><b>";
    html += t.notShared;
    html += "</b></p><p>";
    html += t.reasonLabel;
    html += EscapeHtml(reason);
    html += "</p><p>";
    html += t.rejectedAdvice;
    html += "</p></div><div class=\"buttons\">";
    html += Button("home", t.home);
    html += "</div>";
    html += kFoot;
    return html;
}

std::string DescribeProblem(Language language, const FormProblem& problem) {
    const PageTexts& t = TextsOf(language);
    const std::string limit = std::to_string(kMaxTextLength);
    auto with = [&](std::string_view pattern) {
        return Fill(pattern, {{"key", problem.key}, {"limit", limit}});
    };
    using Kind = FormProblem::Kind;
    switch (problem.kind) {
        case Kind::None:
            return {};
        case Kind::BadEscape:
            return with(t.badEscape);
        case Kind::RepeatedKey:
            return with(t.repeatedKey);
        case Kind::NotText:
            return with(t.notText);
        case Kind::MissingKey:
            return with(t.missingKey);
        case Kind::BadScore:
            return with(t.badScore);
        case Kind::TooLong:
            return with(t.tooLong);
        case Kind::BadPassCode:
            return with(t.badPassCode);
    }
    return {};
}

std::string NotFoundPage(Language language) {
    const PageTexts& t = TextsOf(language);
    std::string html = Head(language, t.notFoundTitle, false);
    html += t.notFoundHtml;
    html += kFoot;
    return html;
}

std::string ServiceErrorPage(Language language, bool wasShare) {
    const PageTexts& t = TextsOf(language);
    std::string html = Head(language, t.serviceErrorTitle, false);
    html += "<div class=\"error\">";
    if (wasShare) {
        html += "<p><b>";
        html += t.notShared;
        html += "</b></p>";
    }
    html += "<p>";
    html += t.serviceErrorAdvice;
    html += "</p></div><div class=\"buttons\">";
    html += Button("home", t.home);
    html += "</div>";
    html += kFoot;
    return html;
}

std::string SharePage(Language language, const ShareView& view) {
    const PageTexts& t = TextsOf(language);
    const StoredShare& share = view.share;
    const std::string& machine = share[ShareText::MachineInformation];
    const double range = ScoreRangeFor(share[ShareText::SystemInformation]);
    std::string html = Head(language, t.shareTitle, false);
    html += "<h1>" + EscapeHtml(machine.empty() ? t.unnamedComputer : machine) + "</h1>";
    html += "<p class=\"muted\">" + EscapeHtml(share[ShareText::SystemInformation]) + " &middot; " +
            EscapeHtml(view.createdText) + " &middot; #" + std::to_string(share.id) +
            "</p><div class=\"rows\">";
    for (std::size_t i = 0; i < kScoreCount; ++i) {
        html += "<div class=\"row\"><div class=\"label\">";
        html += t.scoreLabels[i];
        html += "</div>" + StaticBar(share.Score(i), range, kColours[i]);
        const std::string description = share.DescriptionOfScore(i);
        const Rank rank = i < view.ranks.size() ? view.ranks[i] : Rank{};
        html += "<div class=\"desc\">";
        if (!description.empty()) html += EscapeHtml(description) + "<br>";
        if (rank.total > 0)
            html += Fill(
                t.rank, {{"position", std::to_string(rank.position)}, {"total", std::to_string(rank.total)}});
        html += "</div></div>";
    }
    html += "</div><h1>";
    html += t.sameProcessorHeading;
    html += "</h1>";
    if (view.sameCpu.empty()) {
        html += t.noneYetHtml;
    } else {
        html += "<table class=\"list\"><tr><th>#</th><th>";
        html += t.scoreLabels[0];
        html += "</th><th>";
        html += t.scoreLabels[1];
        html += "</th><th>";
        html += t.scoreLabels[3];
        html += "</th><th>OS</th></tr>";
        for (const StoredShare& other : view.sameCpu) {
            html += "<tr><td><a href=\"" + SharePageAddress(other.id, language) + "\">" +
                    std::to_string(other.id) + "</a></td><td>" + EscapeHtml(other[ShareText::SystemScore]) +
                    "</td><td>" + EscapeHtml(other[ShareText::CpuScore]) + "</td><td>" +
                    EscapeHtml(other[ShareText::GpuScore]) + "</td><td>" +
                    EscapeHtml(other[ShareText::SystemInformation]) + "</td></tr>";
        }
        html += "</table>";
    }
    html += "<p><a href=\"shares.php?lang=" + std::string(CodeOf(language)) + "\">" +
            std::string(t.recentShares) + "</a> &middot; <a href=\"api/shares/" + std::to_string(share.id) +
            "\">JSON</a></p>";
    html += kFoot;
    return html;
}

std::string ShareListPage(Language language, const std::vector<StoredShare>& shares,
                          const ShareQuery& query) {
    const PageTexts& t = TextsOf(language);
    std::string html = Head(language, t.recentShares, false);
    html +=
        "<form class=\"filters\" method=\"get\" action=\"shares.php\"><input type=\"hidden\" name=\"lang\" "
        "value=\"";
    html += CodeOf(language);
    html += "\"><input name=\"cpu\" placeholder=\"";
    html += t.processorFilter;
    html += "\" value=\"" + EscapeHtml(query.cpu) + "\"><input name=\"gpu\" placeholder=\"";
    html += t.graphicsFilter;
    html += "\" value=\"" + EscapeHtml(query.gpu) + "\"><button type=\"submit\">";
    html += t.filter;
    html += "</button></form><table class=\"list\"><tr><th>#</th>";
    for (const std::string_view label : t.scoreLabels) html += "<th>" + std::string(label) + "</th>";
    html += t.listColumnsHtml;
    for (const StoredShare& share : shares) {
        html += "<tr><td><a href=\"" + SharePageAddress(share.id, language) + "\">" +
                std::to_string(share.id) + "</a></td>";
        for (std::size_t i = 0; i < kScoreCount; ++i) html += "<td>" + EscapeHtml(share.Score(i)) + "</td>";
        const std::string& cpu = share[ShareText::CpuInformation];
        const std::string& gpu = share[ShareText::GpuInformation];
        const std::string cpuLink =
            "shares.php?lang=" + std::string(CodeOf(language)) + "&amp;cpu=" + EscapeQuery(cpu);
        const std::string gpuLink =
            "shares.php?lang=" + std::string(CodeOf(language)) + "&amp;gpu=" + EscapeQuery(gpu);
        html += "<td><a href=\"" + cpuLink + "\">" + EscapeHtml(cpu) + "</a></td><td><a href=\"" + gpuLink +
                "\">" + EscapeHtml(gpu) + "</a></td><td>" + EscapeHtml(share[ShareText::SystemInformation]) +
                "</td></tr>";
    }
    html += "</table>";
    if (shares.empty()) html += t.noSharesHtml;
    if (!shares.empty() && static_cast<std::int64_t>(shares.size()) == query.limit) {
        html += "<p><a href=\"shares.php?lang=" + std::string(CodeOf(language)) +
                "&amp;cpu=" + EscapeQuery(query.cpu) + "&amp;gpu=" + EscapeQuery(query.gpu) +
                "&amp;before=" + std::to_string(shares.back().id) + "\">" + std::string(t.more) + "</a></p>";
    }
    html += kFoot;
    return html;
}
namespace {

nlohmann::ordered_json ToJson(const StoredShare& share) {
    nlohmann::ordered_json json;
    json["id"] = share.id;
    json["createdUtc"] = share.createdUtc;
    for (std::size_t i = 0; i < kShareTexts; ++i) json[kShareColumns[i]] = share.texts[i];
    return json;
}

}  // namespace

std::string ShareJson(const StoredShare& share) {
    return ToJson(share).dump();
}

std::string ShareListJson(const std::vector<StoredShare>& shares) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const StoredShare& share : shares) list.push_back(ToJson(share));
    return list.dump();
}

}  // namespace tallyhive::service
