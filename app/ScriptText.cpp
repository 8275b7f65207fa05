#include "app/ScriptText.h"

#include <array>
#include <cstdint>

#include "base/Text.h"

namespace tallyhive {

namespace {

// Length of the valid UTF-8 sequence starting at `i`, or 0 when the bytes there are not one
// (overlong forms, surrogates and values above U+10FFFF count as invalid).
std::size_t ValidSequenceLength(std::string_view s, std::size_t i, std::uint32_t& codePoint) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char b0 = byte(i);
    std::size_t length = 0;
    std::uint32_t cp = 0;
    std::uint32_t least = 0;
    if (b0 < 0x80) {
        codePoint = b0;
        return 1;
    } else if ((b0 & 0xE0) == 0xC0) {
        length = 2;
        cp = b0 & 0x1F;
        least = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        length = 3;
        cp = b0 & 0x0F;
        least = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        length = 4;
        cp = b0 & 0x07;
        least = 0x10000;
    } else {
        return 0;
    }
    if (i + length > s.size()) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    codePoint = cp;
    return length;
}

void AppendUnicodeEscape(std::string& out, std::uint32_t unit) {
    out += "\\u";
    AppendHex(out, static_cast<std::uint8_t>(unit >> 8));
    AppendHex(out, static_cast<std::uint8_t>(unit & 0xFF));
}

}  // namespace

std::string JsonStringLiteral(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size() + 2);
    out.push_back('"');
    for (std::size_t i = 0; i < utf8.size();) {
        std::uint32_t cp = 0;
        const std::size_t length = ValidSequenceLength(utf8, i, cp);
        if (length == 0) {
            AppendUnicodeEscape(out, 0xFFFD);
            ++i;
            continue;
        }
        switch (cp) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            // "<" escaped keeps "</script>" and "<!--" inert should the text ever sit in a page.
            case '<':
                AppendUnicodeEscape(out, cp);
                break;
            default:
                if (cp < 0x20 || cp == 0x7F || cp == 0x2028 || cp == 0x2029) {
                    AppendUnicodeEscape(out, cp);
                } else {
                    out.append(utf8.substr(i, length));
                }
        }
        i += length;
    }
    out.push_back('"');
    return out;
}

}  // namespace tallyhive
