#include "service/PageTexts.h"

#include <algorithm>

#include "service/AgreementText.h"

namespace tallyhive::service {

namespace {

// Every field is named in both tables: a text left out is a build error (missing field initializer),
// not a blank on the page.
constexpr PageTexts kEnglish{
    .scoreLabels = {"Base score", "Processor", "Memory (RAM)", "Graphics", "Gaming graphics",
                    "Primary hard disk"},

    .showLastResult = "Show the last result",
    .measureAgain = "Measure again",
    .shareThisResult = "Share this result",
    .reload = "Reload",
    .home = "Home",
    .openSharePage = "Open the share page",

    .softwareTitle = "The software",
    .softwareIntroHtml =
        "<h1>What TALLYHIVE is</h1><p>TALLYHIVE is a small program for Windows Vista, 7 and 8 that shows "
        "your "
        "Windows Experience Index (the result of the Windows System Assessment Tool), measures it again on "
        "request and shares it with this service, where you can compare it with other computers.</p>",
    .downloadHeadingHtml = "<h1>Download</h1>",
    .latestVersion = "Latest version: ",
    .windowsDownload = "Windows (zip, runs straight from the archive)",
    .linuxDownload = "Linux (for assessments copied from Windows)",
    .noDownloadsHtml = "<p class=\"muted\">This server offers no downloads yet.</p>",
    .agreementHeadingHtml = "<h1>Agreement</h1>",
    .agreementHtml = kAgreementEnglish,
    .recentShares = "Recent shares",

    .startTitle = "Start",
    .startIntroHtml =
        "<h1>What would you like to do?</h1><p><b>Show the last result</b> reads the assessment Windows "
        "saved last and shows it. <b>Measure again</b> runs the Windows assessment anew; it takes a few "
        "minutes and asks for administrator rights.</p>",
    .resultTitle = "Your result",
    .profileTitle = "Your profile",
    .sharedTitle = "Shared",
    .profileBeforeSharingHtml =
        "<p>Sharing makes this profile a public page that compares it with other computers.</p>",
    .profileSharedHtml = "<p>Your result is shared. Its public page compares it with other computers.</p>",

    .rejectedTitle = "Not shared",
    .notShared = "This result was not shared.",
    .reasonLabel = "Reason: ",
    .rejectedAdvice =
        "The computer's clock may be wrong, or the form came from an old page. Load the result "
        "again and share it from the new page.",
    .notFoundTitle = "Not found",
    .notFoundHtml = "<p>There is no such page.</p>",
    .serviceErrorTitle = "Service error",
    .serviceErrorAdvice = "The service ran into a problem. Please try again in a few minutes.",
    .notUrlEncoded = "the form is not URL-encoded",
    .passCodeRefused = "the pass code is wrong or has expired",
    .formTooLarge = "the form is larger than a share can be",

    .badEscape = "a value is not correctly percent-encoded",
    .repeatedKey = "the key \"{key}\" is given twice",
    .notText = "the value of \"{key}\" is not valid UTF-8 text",
    .missingKey = "the key \"{key}\" is missing",
    .badScore = "the score \"{key}\" is not a number from 1.0 to 9.9",
    .tooLong = "the text \"{key}\" is longer than {limit} bytes",
    .badPassCode = "the pass code is not 32 lower-case hexadecimal digits",

    .shareTitle = "Shared assessment",
    .unnamedComputer = "A computer",
    .rank = "rank {position} of {total}",
    .sameProcessorHeading = "Other results of the same processor",
    .noneYetHtml = "<p class=\"muted\">None yet.</p>",
    .processorFilter = "Processor (exact)",
    .graphicsFilter = "Graphics adapter (exact)",
    .filter = "Filter",
    .listColumnsHtml = "<th>Processor model</th><th>Graphics adapter</th><th>OS</th></tr>",
    .noSharesHtml = "<p class=\"muted\">No shares.</p>",
    .more = "More",
};

constexpr PageTexts kJapanese{
    .scoreLabels = {"基本スコア", "プロセッサ", "メモリ (RAM)", "グラフィックス", "ゲーム用グラフィックス",
                    "プライマリ ハード ディスク"},

    .showLastResult = "前回の結果を見る",
    .measureAgain = "再計測",
    .shareThisResult = "この結果を共有",
    .reload = "再読み込み",
    .home = "ホーム",
    .openSharePage = "共有ページを開く",

    .softwareTitle = "ソフトウェア",
    .softwareIntroHtml =
        "<h1>TALLYHIVE とは</h1><p>TALLYHIVE は Windows Vista・7・8 の「Windows エクスペリエンス "
        "インデックス」(WinSAT の評価結果)を表示し、再計測し、このサービスで共有するための小さな"
        "プログラムです。</p>",
    .downloadHeadingHtml = "<h1>ダウンロード</h1>",
    .latestVersion = "最新バージョン: ",
    .windowsDownload = "Windows 版 (zip、展開せずに実行できます)",
    .linuxDownload = "Linux 版 (コピーした計測結果の表示用)",
    .noDownloadsHtml = "<p class=\"muted\">このサーバーではまだダウンロードを提供していません。</p>",
    .agreementHeadingHtml = "<h1>使用許諾</h1>",
    .agreementHtml = kAgreementJapanese,
    .recentShares = "最近の共有結果",

    .startTitle = "スタート",
    .startIntroHtml =
        "<h1>何をしますか?</h1><p>「前回の結果を見る」は Windows が最後に保存した計測結果を読み込"
        "んで表示します。「再計測」は Windows の評価ツールで計測し直します(数分かかり、管理者の権"
        "限が必要です)。</p>",
    .resultTitle = "計測結果",
    .profileTitle = "プロフィール",
    .sharedTitle = "共有しました",
    .profileBeforeSharingHtml = "<p>共有すると、このプロフィールが公開ページになります。</p>",
    .profileSharedHtml = "<p>共有しました。共有ページで他のコンピュータと比べられます。</p>",

    .rejectedTitle = "共有できませんでした",
    .notShared = "この結果は共有されませんでした。",
    .reasonLabel = "理由: ",
    .rejectedAdvice =
        "時計がずれているか、古いページから送信した可能性があります。結果を読み込み直してから共有し"
        "てください。",
    .notFoundTitle = "見つかりません",
    .notFoundHtml = "<p>このページはありません。</p>",
    .serviceErrorTitle = "エラー",
    .serviceErrorAdvice = "サービスで問題が発生しました。しばらくしてからもう一度お試しください。",
    .notUrlEncoded = "フォームの形式が違います。",
    .passCodeRefused = "パスコードが正しくないか、期限切れです。",
    .formTooLarge = "送信されたデータが大きすぎます。",

    .badEscape = "値のパーセントエンコードが正しくありません。",
    .repeatedKey = "キー「{key}」が二度送られました。",
    .notText = "「{key}」の値が正しい UTF-8 のテキストではありません。",
    .missingKey = "キー「{key}」がありません。",
    .badScore = "スコア「{key}」が 1.0 から 9.9 までの数値ではありません。",
    .tooLong = "「{key}」が {limit} バイトを超えています。",
    .badPassCode = "パスコードの形式が正しくありません。",

    .shareTitle = "共有された計測結果",
    .unnamedComputer = "コンピュータ",
    .rank = "全 {total} 件中 {position} 位",
    .sameProcessorHeading = "同じプロセッサの結果",
    .noneYetHtml = "<p class=\"muted\">まだありません。</p>",
    .processorFilter = "プロセッサ (完全一致)",
    .graphicsFilter = "グラフィックス (完全一致)",
    .filter = "絞り込む",
    .listColumnsHtml = "<th>プロセッサ名</th><th>グラフィックス アダプター</th><th>OS</th></tr>",
    .noSharesHtml = "<p class=\"muted\">共有結果はありません。</p>",
    .more = "さらに表示",
};

}  // namespace

const PageTexts& TextsOf(Language language) {
    return language == Language::Japanese ? kJapanese : kEnglish;
}

std::string Fill(std::string_view pattern,
                 std::initializer_list<std::pair<std::string_view, std::string_view>> values) {
    std::string out;
    std::size_t at = 0;
    while (at < pattern.size()) {
        const std::size_t open = pattern.find('{', at);
        if (open == std::string_view::npos) break;
        const std::size_t close = pattern.find('}', open);
        if (close == std::string_view::npos) break;
        out += pattern.substr(at, open - at);
        const std::string_view name = pattern.substr(open + 1, close - open - 1);
        const auto* value =
            std::find_if(values.begin(), values.end(), [&](const auto& pair) { return pair.first == name; });
        // An unknown name stays as written, so a mistake shows on the page instead of vanishing.
        out += value != values.end() ? value->second : pattern.substr(open, close - open + 1);
        at = close + 1;
    }
    out += pattern.substr(std::min(at, pattern.size()));
    return out;
}

}  // namespace tallyhive::service
