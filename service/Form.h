#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The share form as the program posts it: fifteen keys, every value percent-encoded UTF-8.
namespace tallyhive::service {

// The keys in the order the program sends them.
inline constexpr std::array<std::string_view, 15> kFormKeys = {
    "system_score",    "cpu_score",          "memory_score",        "gpu_score",       "game_score",
    "disk_score",      "system_information", "machine_information", "cpu_information", "memory_information",
    "gpu_information", "game_information",   "disk_information",    "pass_code",       "captcha"};

// One decoded share: the values by the index of their key in kFormKeys.
struct ShareForm {
    std::array<std::string, kFormKeys.size()> values;
    const std::string& Get(std::string_view key) const;
};

// Decodes an application/x-www-form-urlencoded body. Every key of kFormKeys must occur exactly once;
// other keys are ignored. Values must be valid percent escapes ("+" stands for a space) of valid
// UTF-8. Empty with `why` set otherwise.
std::optional<ShareForm> DecodeShareForm(std::string_view body, std::string& why);

// Percent-decodes one component; false on a malformed escape.
bool PercentDecode(std::string_view text, std::string& out, bool plusIsSpace);

// True when `text` is valid UTF-8 without control characters other than tab.
bool IsCleanUtf8(std::string_view text);

// The limits a share must keep, and the reason it does not (empty when it does).
inline constexpr std::size_t kMaxScoreLength = 8;
inline constexpr std::size_t kMaxTextLength = 1024;
std::string ValidateShare(const ShareForm& form);

// A score text as a number: digits, optionally "." and digits, between 1.0 and 9.9.
std::optional<double> ReadScore(std::string_view text);

}  // namespace tallyhive::service
