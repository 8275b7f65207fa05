#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// Small text helpers every layer needs. ASCII only on purpose: the names, keywords and addresses
// they compare are ASCII by definition, and a locale-aware rule would change with the user's locale.
namespace tallyhive {

char LowerAscii(char c);
// `text` with A-Z lowered; every other byte, UTF-8 sequences included, is kept.
std::string LowerAsciiCopy(std::string_view text);
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);
bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix);

enum class HexCase { Lower, Upper };
// Two hex digits a byte, most significant first.
void AppendHex(std::string& out, std::uint8_t byte, HexCase letters = HexCase::Lower);
std::string HexText(std::span<const std::uint8_t> bytes, HexCase letters = HexCase::Lower);

enum class PercentKeep {
    Nothing,     // every byte as "%XX": no value can carry a delimiter of any kind
    Unreserved,  // A-Z a-z 0-9 - . _ ~ as they are, the rest as "%XX"
};
// Percent-encoding with upper-case hex digits.
std::string PercentEncode(std::string_view bytes, PercentKeep keep);

// The character reference of a markup character (& < > " '); empty for every other character.
std::string_view MarkupReference(char c);

// Markup characters (& < > " ') as character references, so a text shows as itself when it has to
// be written into a page as HTML or into an attribute. Ordinary texts come out unchanged.
std::string EscapeHtml(std::string_view text);

}  // namespace tallyhive
