#pragma once
#include <string>
#include <string_view>

// Texts that go into script source as data, never as code.
namespace tallyhive {

// A JavaScript string literal (double quotes) holding exactly the UTF-8 text: quotes, backslashes,
// control characters, the line separators U+2028 and U+2029 and "<" are escaped; bytes that are not
// valid UTF-8 become U+FFFD, as the browser would show them anyway.
std::string JsonStringLiteral(std::string_view utf8);

}  // namespace tallyhive
