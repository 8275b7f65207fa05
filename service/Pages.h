#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Text.h"
#include "service/Form.h"
#include "service/PageTexts.h"
#include "service/Store.h"

// The service's pages. Every text that comes from a share or a request is escaped where it is
// written; the program's page contract (element ids, properties, script functions) is kept here.
namespace tallyhive::service {

// "ja" is Japanese; anything else, English.
Language LanguageOf(std::string_view code);
std::string_view CodeOf(Language language);

// Text for HTML content and attribute values: the core's escaping, the same the program uses.
using tallyhive::EscapeHtml;
// Text for a URL query component: everything but unreserved characters percent-encoded.
std::string EscapeQuery(std::string_view text);

// The downloads the software page offers, by the file name under "downloads/".
inline constexpr std::string_view kWindowsDownload = "tallyhive-windows.zip";
inline constexpr std::string_view kLinuxDownload = "tallyhive-linux.tar.gz";
struct Downloads {
    bool windowsBuild = false;
    bool linuxBuild = false;
};
std::string SoftwarePage(Language language, std::string_view latestVersion, Downloads downloads);
std::string StartPage(Language language, std::string_view latestVersion);
std::string ResultPage(Language language, std::string_view serverDateTime);
// The page a share leads to; without a share it is shown without the "open_page" button.
std::string ProfilePage(Language language, std::string_view serverDateTime,
                        std::optional<std::int64_t> shareId);
std::string RejectedPage(Language language, std::string_view reason);
// A refused form's problem in words, for RejectedPage.
std::string DescribeProblem(Language language, const FormProblem& problem);
std::string NotFoundPage(Language language);
// The service itself failed (its store is unreachable, say); a share being posted was not stored.
std::string ServiceErrorPage(Language language, bool wasShare);

struct ShareView {
    StoredShare share;
    std::vector<Rank> ranks;           // per score, in score order
    std::vector<StoredShare> sameCpu;  // other shares of the same processor, newest first
    std::string createdText;           // when it was shared, as the page shows it
};
std::string SharePage(Language language, const ShareView& view);
std::string ShareListPage(Language language, const std::vector<StoredShare>& shares, const ShareQuery& query);

// JSON of one share and of a list.
std::string ShareJson(const StoredShare& share);
std::string ShareListJson(const std::vector<StoredShare>& shares);

// The Windows version whose range a score belongs to, from the product name: its highest score.
double ScoreRangeFor(std::string_view productName);

}  // namespace tallyhive::service
