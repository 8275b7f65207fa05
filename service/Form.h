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

// Why a form is refused: what is wrong and with which of kFormKeys (empty when no one key is to blame).
// The pages put it into words in the user's language.
struct FormProblem {
    enum class Kind { None, BadEscape, RepeatedKey, NotText, MissingKey, BadScore, TooLong, BadPassCode };
    Kind kind = Kind::None;
    std::string key;
    explicit operator bool() const { return kind != Kind::None; }
};

// Decodes an application/x-www-form-urlencoded body. Every key of kFormKeys must occur exactly once;
// other keys are ignored. Values must be valid percent escapes ("+" stands for a space) of valid
// UTF-8. Empty with `problem` set otherwise.
std::optional<ShareForm> DecodeShareForm(std::string_view body, FormProblem& problem);

// Percent-decodes one component; false on a malformed escape.
bool PercentDecode(std::string_view text, std::string& out, bool plusIsSpace);

// True when `text` is valid UTF-8 without control characters other than tab.
bool IsCleanUtf8(std::string_view text);

// The limits a share must keep, and what breaks them (no problem when it keeps them).
inline constexpr std::size_t kMaxScoreLength = 8;
inline constexpr std::size_t kMaxTextLength = 1024;
FormProblem ValidateShare(const ShareForm& form);

// A score text as a number: digits, optionally "." and digits, between 1.0 and 9.9.
std::optional<double> ReadScore(std::string_view text);

}  // namespace tallyhive::service
