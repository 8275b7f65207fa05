#include "service/Pages.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "service/AgreementText.h"
#include "service/Form.h"
#include "service/PageFiles.h"

namespace tallyhive::service {

namespace {

struct Words {
    const char* en;
    const char* ja;
    const char* In(Language l) const { return l == Language::Japanese ? ja : en; }
};

// Labels of the six scores, in score order (system first, as the form sends them).
constexpr Words kScoreLabels[kScoreCount] = {{"Base score", "基本スコア"},
                                             {"Processor", "プロセッサ"},
                                             {"Memory (RAM)", "メモリ (RAM)"},
                                             {"Graphics", "グラフィックス"},
                                             {"Gaming graphics", "ゲーム用グラフィックス"},
                                             {"Primary hard disk", "プライマリ ハード ディスク"}};

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

std::string Button(const char* id, Words label, Language language, bool primary = false) {
    return std::string("<button type=\"button\" id=\"") + id + "\"" + (primary ? " class=\"primary\"" : "") +
           ">" + label.In(language) + "</button>";
}

std::string Hidden(const char* id, std::string_view value) {
    return std::string("<input type=\"hidden\" id=\"") + id + "\" value=\"" + EscapeHtml(value) + "\">";
}

// An empty bar the program fills through setBarValue.
std::string BarRow(const char* bar, const char* description, Words label, Language language) {
    std::string html = "<div class=\"row\"><div class=\"label\">";
    html += label.In(language);
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
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || b == '-' ||
            b == '.' || b == '_' || b == '~') {
            out += c;
        } else {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 15];
        }
    }
    return out;
}

double ScoreRangeFor(std::string_view productName) {
    if (productName.rfind("Windows Vista", 0) == 0) return 5.9;
    if (productName.rfind("Windows 7", 0) == 0) return 7.9;
    return 9.9;
}

std::string SoftwarePage(Language language, std::string_view latestVersion, Downloads downloads) {
    const bool ja = language == Language::Japanese;
    std::string html = Head(language, ja ? "ソフトウェア" : "The software", false);
    html +=
        ja ? "<h1>TALLYHIVE とは</h1><p>TALLYHIVE は Windows Vista・7・8 の「Windows エクスペリエンス "
             "インデックス」"
             "(WinSAT の評価結果)を表示し、再計測し、このサービスで共有するための小さなプログラムです。</p>"
           : "<h1>What TALLYHIVE is</h1><p>TALLYHIVE is a small program for Windows Vista, 7 and 8 that "
             "shows your "
             "Windows Experience Index (the result of the Windows System Assessment Tool), measures it again "
             "on "
             "request and shares it with this service, where you can compare it with other computers.</p>";
    html += ja ? "<h1>ダウンロード</h1>" : "<h1>Download</h1>";
    html += "<p>" + std::string(ja ? "最新バージョン: " : "Latest version: ") + "<b>" +
            EscapeHtml(latestVersion) + "</b></p>";
    // Only what this server really has: a link that ends in "not found" helps nobody.
    if (downloads.windowsBuild || downloads.linuxBuild) {
        html += "<ul>";
        if (downloads.windowsBuild) {
            html += "<li><a href=\"downloads/" + std::string(kWindowsDownload) + "\">";
            html += ja ? "Windows 版 (zip、展開せずに実行できます)"
                       : "Windows (zip, runs straight from the archive)";
            html += "</a></li>";
        }
        if (downloads.linuxBuild) {
            html += "<li><a href=\"downloads/" + std::string(kLinuxDownload) + "\">";
            html +=
                ja ? "Linux 版 (コピーした計測結果の表示用)" : "Linux (for assessments copied from Windows)";
            html += "</a></li>";
        }
        html += "</ul>";
    } else {
        html += ja ? "<p class=\"muted\">このサーバーではまだダウンロードを提供していません。</p>"
                   : "<p class=\"muted\">This server offers no downloads yet.</p>";
    }
    html += ja ? "<h1>使用許諾</h1>" : "<h1>Agreement</h1>";
    html += ja ? kAgreementJapanese : kAgreementEnglish;
    html += "<p><a href=\"shares.php?lang=" + std::string(CodeOf(language)) + "\">" +
            (ja ? "最近の共有結果" : "Recent shares") + "</a></p>";
    html += kFoot;
    return html;
}

std::string StartPage(Language language, std::string_view latestVersion) {
    const bool ja = language == Language::Japanese;
    std::string html = Head(language, ja ? "スタート" : "Start", false);
    html += Hidden("version", latestVersion);
    html +=
        ja ? "<h1>何をしますか?</h1><p>「前回の結果を見る」は Windows "
             "が最後に保存した計測結果を読み込んで表示します。"
             "「再計測」は Windows の評価ツールで計測し直します(数分かかり、管理者の権限が必要です)。</p>"
           : "<h1>What would you like to do?</h1><p><b>Show the last result</b> reads the assessment Windows "
             "saved last and shows it. <b>Measure again</b> runs the Windows assessment anew; it takes a few "
             "minutes and asks for administrator rights.</p>";
    html += "<div class=\"buttons\">";
    html += Button("load_lastest_result", {"Show the last result", "前回の結果を見る"}, language, true);
    html += Button("start_analyze", {"Measure again", "再計測"}, language);
    html += "</div>";
    html += kFoot;
    return html;
}

std::string ResultPage(Language language, std::string_view serverDateTime) {
    const bool ja = language == Language::Japanese;
    std::string html = Head(language, ja ? "計測結果" : "Your result", true);
    html += Hidden("server_datetime", serverDateTime);
    html += "<div class=\"summary\"><span class=\"big\" id=\"system_score\"></span><span><b>";
    html += kScoreLabels[0].In(language);
    html +=
        "</b><br><span id=\"system_information\"></span><br><span class=\"muted\" id=\"machine_information\">"
        "</span></span></div><div class=\"rows\">";
    for (const Row& row : kRows) html += BarRow(row.bar, row.description, kScoreLabels[row.score], language);
    html += "</div><div class=\"buttons\">";
    html += Button("share", {"Share this result", "この結果を共有"}, language, true);
    html += Button("reload", {"Reload", "再読み込み"}, language);
    html += Button("start_analyze", {"Measure again", "再計測"}, language);
    html += Button("home", {"Home", "ホーム"}, language);
    html += "</div>";
    html += kFoot;
    return html;
}

std::string ProfilePage(Language language, std::string_view serverDateTime,
                        std::optional<std::int64_t> shareId) {
    const bool ja = language == Language::Japanese;
    std::string html = Head(
        language, shareId ? (ja ? "共有しました" : "Shared") : (ja ? "プロフィール" : "Your profile"), true);
    html += Hidden("server_datetime", serverDateTime);
    if (!shareId) {
        html += ja ? "<p>共有すると、このプロフィールが公開ページになります。</p>"
                   : "<p>Sharing makes this profile a public page that compares it with other computers.</p>";
    }
    if (shareId) {
        html += ja ? "<p>共有しました。共有ページで他のコンピュータと比べられます。</p>"
                   : "<p>Your result is shared. Its public page compares it with other computers.</p>";
    }
    html += "<p id=\"system_information\"></p><div class=\"rows\">";
    html += BarRow("system_score", nullptr, kScoreLabels[0], language);
    for (const Row& row : kRows) html += BarRow(row.bar, row.description, kScoreLabels[row.score], language);
    html += "</div><div class=\"buttons\">";
    if (!shareId) html += Button("share", {"Share this result", "この結果を共有"}, language, true);
    if (shareId) {
        html += "<button type=\"button\" class=\"primary\" id=\"open_page\" name=\"" +
                std::to_string(*shareId) + "\" value=\"" + std::to_string(*shareId) + "\">" +
                (ja ? "共有ページを開く" : "Open the share page") + "</button>";
    }
    html += Button("home", {"Home", "ホーム"}, language);
    html += "</div>";
    html += kFoot;
    return html;
}

std::string RejectedPage(Language language, std::string_view reason) {
    const bool ja = language == Language::Japanese;
    std::string html = Head(language, ja ? "共有できませんでした" : "Not shared", false);
    html += "<div class=\"error\"><p><b>";
    html += ja ? "この結果は共有されませんでした。" : "This result was not shared.";
    html += "</b></p><p>";
    html += ja ? "理由: " : "Reason: ";
    html += EscapeHtml(reason);
    html += "</p><p>";
    html += ja ? "時計がずれているか、古いページから送信した可能性があります。結果を読み込み直してから共有し"
                 "てください。"
               : "The computer's clock may be wrong, or the form came from an old page. Load the result "
                 "again and "
                 "share it from the new page.";
    html += "</p></div><div class=\"buttons\">";
    html += Button("home", {"Home", "ホーム"}, language);
    html += "</div>";
    html += kFoot;
    return html;
}

std::string DescribeProblem(Language language, const FormProblem& problem) {
    const bool ja = language == Language::Japanese;
    const std::string key = ja ? "「" + problem.key + "」" : "\"" + problem.key + "\"";
    using Kind = FormProblem::Kind;
    switch (problem.kind) {
        case Kind::None:
            return {};
        case Kind::BadEscape:
            return ja ? "値のパーセントエンコードが正しくありません。"
                      : "a value is not correctly percent-encoded";
        case Kind::RepeatedKey:
            return ja ? "キー" + key + "が二度送られました。" : "the key " + key + " is given twice";
        case Kind::NotText:
            return ja ? key + "の値が正しい UTF-8 のテキストではありません。"
                      : "the value of " + key + " is not valid UTF-8 text";
        case Kind::MissingKey:
            return ja ? "キー" + key + "がありません。" : "the key " + key + " is missing";
        case Kind::BadScore:
            return ja ? "スコア" + key + "が 1.0 から 9.9 までの数値ではありません。"
                      : "the score " + key + " is not a number from 1.0 to 9.9";
        case Kind::TooLong:
            return ja ? key + "が " + std::to_string(kMaxTextLength) + " バイトを超えています。"
                      : "the text " + key + " is longer than " + std::to_string(kMaxTextLength) + " bytes";
        case Kind::BadPassCode:
            return ja ? "パスコードの形式が正しくありません。"
                      : "the pass code is not 32 lower-case hexadecimal digits";
    }
    return {};
}

std::string NotFoundPage(Language language) {
    const bool ja = language == Language::Japanese;
    std::string html = Head(language, ja ? "見つかりません" : "Not found", false);
    html += ja ? "<p>このページはありません。</p>" : "<p>There is no such page.</p>";
    html += kFoot;
    return html;
}

std::string ServiceErrorPage(Language language, bool wasShare) {
    const bool ja = language == Language::Japanese;
    std::string html = Head(language, ja ? "エラー" : "Service error", false);
    html += "<div class=\"error\">";
    if (wasShare) {
        html += "<p><b>";
        html += ja ? "この結果は共有されませんでした。" : "This result was not shared.";
        html += "</b></p>";
    }
    html += "<p>";
    html += ja ? "サービスで問題が発生しました。しばらくしてからもう一度お試しください。"
               : "The service ran into a problem. Please try again in a few minutes.";
    html += "</p></div><div class=\"buttons\">";
    html += Button("home", {"Home", "ホーム"}, language);
    html += "</div>";
    html += kFoot;
    return html;
}

std::string SharePage(Language language, const ShareView& view) {
    const bool ja = language == Language::Japanese;
    const StoredShare& share = view.share;
    const std::string& machine = share[ShareText::MachineInformation];
    const double range = ScoreRangeFor(share[ShareText::SystemInformation]);
    std::string html = Head(language, ja ? "共有された計測結果" : "Shared assessment", false);
    html += "<h1>" + EscapeHtml(machine.empty() ? (ja ? "コンピュータ" : "A computer") : machine) + "</h1>";
    html += "<p class=\"muted\">" + EscapeHtml(share[ShareText::SystemInformation]) + " &middot; " +
            EscapeHtml(view.createdText) + " &middot; #" + std::to_string(view.share.id) +
            "</p><div class=\"rows\">";
    for (std::size_t i = 0; i < kScoreCount; ++i) {
        html += "<div class=\"row\"><div class=\"label\">";
        html += kScoreLabels[i].In(language);
        html += "</div>" + StaticBar(share.Score(i), range, kColours[i]);
        const std::string description = share.DescriptionOfScore(i);
        const Rank rank = i < view.ranks.size() ? view.ranks[i] : Rank{};
        html += "<div class=\"desc\">";
        if (!description.empty()) html += EscapeHtml(description) + "<br>";
        if (rank.total > 0) {
            html += ja ? "全 " + std::to_string(rank.total) + " 件中 " + std::to_string(rank.position) + " 位"
                       : "rank " + std::to_string(rank.position) + " of " + std::to_string(rank.total);
        }
        html += "</div></div>";
    }
    html += "</div><h1>";
    html += ja ? "同じプロセッサの結果" : "Other results of the same processor";
    html += "</h1>";
    if (view.sameCpu.empty()) {
        html += ja ? "<p class=\"muted\">まだありません。</p>" : "<p class=\"muted\">None yet.</p>";
    } else {
        html += "<table class=\"list\"><tr><th>#</th><th>";
        html += kScoreLabels[0].In(language);
        html += "</th><th>";
        html += kScoreLabels[1].In(language);
        html += "</th><th>";
        html += kScoreLabels[3].In(language);
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
            (ja ? "最近の共有結果" : "Recent shares") + "</a> &middot; <a href=\"api/shares/" +
            std::to_string(view.share.id) + "\">JSON</a></p>";
    html += kFoot;
    return html;
}

std::string ShareListPage(Language language, const std::vector<StoredShare>& shares,
                          const ShareQuery& query) {
    const bool ja = language == Language::Japanese;
    std::string html = Head(language, ja ? "最近の共有結果" : "Recent shares", false);
    html +=
        "<form class=\"filters\" method=\"get\" action=\"shares.php\"><input type=\"hidden\" name=\"lang\" "
        "value=\"";
    html += CodeOf(language);
    html += "\"><input name=\"cpu\" placeholder=\"";
    html += ja ? "プロセッサ (完全一致)" : "Processor (exact)";
    html += "\" value=\"" + EscapeHtml(query.cpu) + "\"><input name=\"gpu\" placeholder=\"";
    html += ja ? "グラフィックス (完全一致)" : "Graphics adapter (exact)";
    html += "\" value=\"" + EscapeHtml(query.gpu) + "\"><button type=\"submit\">";
    html += ja ? "絞り込む" : "Filter";
    html += "</button></form><table class=\"list\"><tr><th>#</th>";
    for (std::size_t i = 0; i < kScoreCount; ++i)
        html += std::string("<th>") + kScoreLabels[i].In(language) + "</th>";
    html += ja ? "<th>プロセッサ名</th><th>グラフィックス アダプター</th><th>OS</th></tr>"
               : "<th>Processor model</th><th>Graphics adapter</th><th>OS</th></tr>";
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
    if (shares.empty())
        html += ja ? "<p class=\"muted\">共有結果はありません。</p>" : "<p class=\"muted\">No shares.</p>";
    if (!shares.empty() && static_cast<std::int64_t>(shares.size()) == query.limit) {
        html += "<p><a href=\"shares.php?lang=" + std::string(CodeOf(language)) +
                "&amp;cpu=" + EscapeQuery(query.cpu) + "&amp;gpu=" + EscapeQuery(query.gpu) +
                "&amp;before=" + std::to_string(shares.back().id) + "\">" + (ja ? "さらに表示" : "More") +
                "</a></p>";
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
