#pragma once
#include <array>
#include <string>
#include <string_view>
#include <utility>

#include "service/Store.h"

// Everything the service's pages say, one table per language. Texts ending in "Html" are markup
// written as they stand; the others are plain text. Placeholders in braces ("{key}") are filled by
// Fill with texts the caller escapes as the place they go to needs.
namespace tallyhive::service {

enum class Language { English, Japanese };

struct PageTexts {
    // Labels of the six scores, in score order (system first, as the form sends them).
    std::array<std::string_view, kScoreCount> scoreLabels;

    // Buttons.
    std::string_view showLastResult;
    std::string_view measureAgain;
    std::string_view shareThisResult;
    std::string_view reload;
    std::string_view home;
    std::string_view openSharePage;

    // The software page.
    std::string_view softwareTitle;
    std::string_view softwareIntroHtml;
    std::string_view downloadHeadingHtml;
    std::string_view latestVersion;
    std::string_view windowsDownload;
    std::string_view linuxDownload;
    std::string_view noDownloadsHtml;
    std::string_view agreementHeadingHtml;
    std::string_view agreementHtml;
    std::string_view recentShares;

    // The program's own pages.
    std::string_view startTitle;
    std::string_view startIntroHtml;
    std::string_view resultTitle;
    std::string_view profileTitle;
    std::string_view sharedTitle;
    std::string_view profileBeforeSharingHtml;
    std::string_view profileSharedHtml;

    // Refusals and failures.
    std::string_view rejectedTitle;
    std::string_view notShared;
    std::string_view reasonLabel;
    std::string_view rejectedAdvice;
    std::string_view notFoundTitle;
    std::string_view notFoundHtml;
    std::string_view serviceErrorTitle;
    std::string_view serviceErrorAdvice;
    std::string_view notUrlEncoded;
    std::string_view passCodeRefused;
    std::string_view formTooLarge;

    // Why a form was refused ({key}: the form key; {limit}: the longest text in bytes).
    std::string_view badEscape;
    std::string_view repeatedKey;
    std::string_view notText;
    std::string_view missingKey;
    std::string_view badScore;
    std::string_view tooLong;
    std::string_view badPassCode;

    // The public pages of the shares.
    std::string_view shareTitle;
    std::string_view unnamedComputer;
    std::string_view rank;  // {position} of {total}
    std::string_view sameProcessorHeading;
    std::string_view noneYetHtml;
    std::string_view processorFilter;
    std::string_view graphicsFilter;
    std::string_view filter;
    std::string_view listColumnsHtml;  // the columns after the six scores
    std::string_view noSharesHtml;
    std::string_view more;
};

const PageTexts& TextsOf(Language language);

// `pattern` with each "{name}" of `values` replaced by its text.
std::string Fill(std::string_view pattern,
                 std::initializer_list<std::pair<std::string_view, std::string_view>> values);

}  // namespace tallyhive::service
