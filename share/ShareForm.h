#pragma once
#include <string>
#include <string_view>

namespace tallyhive {

class CAssessmentResult;

inline constexpr std::string_view kSharePath = "as/responses/add/tallyhive";
inline constexpr std::string_view kShareHeaders = "Content-type: application/x-www-form-urlencoded\r\n";

// Every byte of the UTF-8 text as "%XX" (upper-case hex); nothing is left unescaped.
std::string EncodeFormValue(std::string_view utf8);

// The fifteen-key form body of a share, ASCII, ending in "&captcha=".
std::string BuildShareForm(const CAssessmentResult& record, std::string_view passCode);

}  // namespace tallyhive
