#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "assessment/XmlReader.h"
#include "assessment/XmlTree.h"
#include "base/Text.h"

// Turns the bytes of a document into UTF-8 before any parser sees them, so that every platform's
// parser gets the same text and the same refusals: encodings are found as XML 1.0 prescribes, text
// that no conforming parser would accept is refused here, and no document type declaration (the
// door to entity expansion and external resources) ever reaches a parser.
namespace tallyhive {
namespace {

enum class ByteFamily { EightBit, Utf16LE, Utf16BE };
enum class EightBitEncoding { Utf8, Latin1, Ascii, Windows1252 };

bool Fail(std::string* why, std::string text) {
    if (why) *why = std::move(text);
    return false;
}

bool NotWellFormed(std::string* why, const std::string& detail) {
    return Fail(why, "not well-formed XML: " + detail);
}

std::string CodePointName(char32_t c) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "U+%04X", static_cast<unsigned>(c));
    return buffer;
}

bool IsXmlChar(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

bool RefuseChar(std::string* why, char32_t c, std::size_t offset) {
    return NotWellFormed(
        why, "character " + CodePointName(c) + " is not allowed (byte " + std::to_string(offset) + ")");
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

unsigned char Byte(std::string_view text, std::size_t i) {
    return static_cast<unsigned char>(text[i]);
}

bool StartsWithBytes(std::string_view bytes, std::initializer_list<unsigned char> prefix) {
    if (bytes.size() < prefix.size()) return false;
    std::size_t i = 0;
    for (unsigned char b : prefix)
        if (Byte(bytes, i++) != b) return false;
    return true;
}

// `base` is where `body` starts in the file, so that offsets in messages are file offsets.
bool DecodeUtf16(std::string_view body, bool littleEndian, std::size_t base, std::string& out,
                 std::string* why) {
    if (body.size() % 2 != 0) return NotWellFormed(why, "UTF-16 text with an odd number of bytes");
    // Written through a pointer into a buffer sized for the worst case (three bytes for each unit),
    // then trimmed: appending character by character is most of the cost of reading a file.
    out.assign(body.size() / 2 * 3, '\0');
    char* o = out.data();
    const auto* p = reinterpret_cast<const unsigned char*>(body.data());
    const std::size_t n = body.size();
    auto unit = [&](std::size_t i) -> char32_t {
        return littleEndian ? static_cast<char32_t>(p[i + 1] << 8 | p[i])
                            : static_cast<char32_t>(p[i] << 8 | p[i + 1]);
    };
    for (std::size_t i = 0; i < n; i += 2) {
        char32_t c = unit(i);
        if (c >= 0x20 && c < 0x80) {
            *o++ = static_cast<char>(c);
            continue;
        }
        if (c >= 0xD800 && c <= 0xDBFF) {
            const char32_t low = i + 2 < n ? unit(i + 2) : 0;
            if (low < 0xDC00 || low > 0xDFFF)
                return NotWellFormed(why,
                                     "unpaired UTF-16 surrogate (byte " + std::to_string(base + i) + ")");
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return NotWellFormed(why, "unpaired UTF-16 surrogate (byte " + std::to_string(base + i) + ")");
        }
        if (!IsXmlChar(c)) return RefuseChar(why, c, base + i);
        // A pair of units (4 bytes) never yields more than 4 bytes, a single unit never more than 3.
        if (c < 0x80) {
            *o++ = static_cast<char>(c);
        } else if (c < 0x800) {
            *o++ = static_cast<char>(0xC0 | (c >> 6));
            *o++ = static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            *o++ = static_cast<char>(0xE0 | (c >> 12));
            *o++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *o++ = static_cast<char>(0x80 | (c & 0x3F));
        } else {
            *o++ = static_cast<char>(0xF0 | (c >> 18));
            *o++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            *o++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *o++ = static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    out.resize(static_cast<std::size_t>(o - out.data()));
    return true;
}

// Checks UTF-8 strictly (no overlong forms, no surrogates, nothing above U+10FFFF) and that every
// character is one XML allows.
bool CheckUtf8(std::string_view text, std::size_t base, std::string* why) {
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char b = Byte(text, i);
        if (b < 0x80) {
            if (b < 0x20 && b != 0x9 && b != 0xA && b != 0xD) return RefuseChar(why, b, base + i);
            ++i;
            continue;
        }
        std::size_t length = 0;
        char32_t c = 0;
        unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
        if (b >= 0xC2 && b <= 0xDF) {
            length = 2;
            c = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            length = 3;
            c = b & 0x0F;
            if (b == 0xE0) low = 0xA0;   // overlong
            if (b == 0xED) high = 0x9F;  // surrogates
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4;
            c = b & 0x07;
            if (b == 0xF0) low = 0x90;   // overlong
            if (b == 0xF4) high = 0x8F;  // beyond U+10FFFF
        } else {
            return NotWellFormed(why, "invalid UTF-8 (byte " + std::to_string(base + i) + ")");
        }
        if (i + length > n)
            return NotWellFormed(why, "invalid UTF-8 (byte " + std::to_string(base + i) + ")");
        for (std::size_t k = 1; k < length; ++k) {
            const unsigned char t = Byte(text, i + k);
            const unsigned char lo = k == 1 ? low : 0x80, hi = k == 1 ? high : 0xBF;
            if (t < lo || t > hi)
                return NotWellFormed(why, "invalid UTF-8 (byte " + std::to_string(base + i) + ")");
            c = (c << 6) | (t & 0x3F);
        }
        if (!IsXmlChar(c)) return RefuseChar(why, c, base + i);
        i += length;
    }
    return true;
}

// Code points of windows-1252's bytes 0x80-0x9F; zero where the code page leaves the byte undefined.
constexpr char16_t kWindows1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                           0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                           0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                           0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

bool DecodeEightBit(std::string_view text, EightBitEncoding encoding, std::size_t base, std::string& out,
                    std::string* why) {
    if (encoding == EightBitEncoding::Utf8) {
        if (!CheckUtf8(text, base, why)) return false;
        out.assign(text);
        return true;
    }
    out.clear();
    out.reserve(text.size() + text.size() / 8);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char b = Byte(text, i);
        char32_t c = b;
        if (b >= 0x80) {
            if (encoding == EightBitEncoding::Ascii)
                return NotWellFormed(why, "byte " + std::to_string(base + i) + " is not US-ASCII");
            if (encoding == EightBitEncoding::Windows1252 && b <= 0x9F) {
                c = kWindows1252High[b - 0x80];
                if (c == 0)
                    return NotWellFormed(
                        why, "byte " + std::to_string(base + i) + " is undefined in windows-1252");
            }
        }
        if (!IsXmlChar(c)) return RefuseChar(why, c, base + i);
        AppendUtf8(out, c);
    }
    return true;
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsOneOf(std::string_view name, std::initializer_list<std::string_view> names) {
    return std::any_of(names.begin(), names.end(),
                       [&](std::string_view n) { return EqualsIgnoringAsciiCase(name, n); });
}

// Reads the XML declaration at the start of `text` (ASCII-compatible: raw 8-bit bytes or decoded
// text), if there is one. `encoding` is left empty when the declaration names none.
bool ReadDeclaration(std::string_view text, std::string& encoding, std::string* why) {
    encoding.clear();
    constexpr std::string_view kOpen = "<?xml";
    if (text.substr(0, kOpen.size()) != kOpen) return true;
    // "<?xml-stylesheet ...?>" and the like are processing instructions, not a declaration.
    if (text.size() > kOpen.size() && !IsSpace(text[kOpen.size()]) && text[kOpen.size()] != '?') return true;
    auto bad = [&](const std::string& detail) {
        return NotWellFormed(why, "malformed XML declaration: " + detail);
    };

    std::size_t i = kOpen.size();
    const std::string_view order[] = {"version", "encoding", "standalone"};
    std::size_t next = 0;  // the pseudo-attributes come in this order, each at most once
    bool hasVersion = false;
    for (;;) {
        const std::size_t spaceStart = i;
        while (i < text.size() && IsSpace(text[i])) ++i;
        if (text.substr(i, 2) == "?>") break;
        if (i >= text.size()) return bad("it does not end");
        if (i == spaceStart) return bad("white space is missing");
        const std::size_t nameStart = i;
        while (i < text.size() && IsAsciiLetter(text[i])) ++i;
        const std::string_view name = text.substr(nameStart, i - nameStart);
        while (next < std::size(order) && order[next] != name) ++next;
        if (next == std::size(order)) return bad("unexpected \"" + std::string(name) + "\"");
        ++next;
        while (i < text.size() && IsSpace(text[i])) ++i;
        if (i >= text.size() || text[i] != '=') return bad("\"=\" is missing");
        ++i;
        while (i < text.size() && IsSpace(text[i])) ++i;
        if (i >= text.size() || (text[i] != '"' && text[i] != '\'')) return bad("a value is not quoted");
        const char quote = text[i++];
        const std::size_t close = text.find(quote, i);
        if (close == std::string_view::npos) return bad("a value does not end");
        const std::string_view value = text.substr(i, close - i);
        i = close + 1;
        if (name == "version") {
            hasVersion = true;
            const bool ok = value.size() >= 3 && value.substr(0, 2) == "1." &&
                            std::all_of(value.begin() + 2, value.end(), IsAsciiDigit);
            if (!ok) return bad("version \"" + std::string(value) + "\"");
        } else if (name == "encoding") {
            const bool ok =
                !value.empty() && IsAsciiLetter(value[0]) &&
                std::all_of(value.begin(), value.end(), [](char c) {
                    return IsAsciiLetter(c) || IsAsciiDigit(c) || c == '.' || c == '_' || c == '-';
                });
            if (!ok) return bad("encoding \"" + std::string(value) + "\"");
            encoding.assign(value);
        } else if (value != "yes" && value != "no") {
            return bad("standalone \"" + std::string(value) + "\"");
        }
    }
    if (!hasVersion) return bad("the version is missing");
    return true;
}

// A document type declaration can only stand in the prolog, before the document element; anywhere
// else the document is not well-formed and the parser refuses it anyway. Comments and processing
// instructions are skipped so that their content is not mistaken for markup.
bool RefuseDocumentType(std::string_view text, std::string* why) {
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && IsSpace(text[i])) ++i;
        const std::string_view rest = text.substr(i);
        std::string_view end;
        if (rest.substr(0, 2) == "<?") {
            end = "?>";
        } else if (rest.substr(0, 4) == "<!--") {
            end = "-->";
        } else {
            if (rest.size() >= 9 && EqualsIgnoringAsciiCase(rest.substr(0, 9), "<!DOCTYPE"))
                return Fail(why, "document type declarations are not accepted");
            return true;
        }
        const std::size_t close = text.find(end, i + 2);
        if (close == std::string_view::npos) return true;  // unterminated: the parser says so
        i = close + end.size();
    }
    return true;
}

bool Decode(std::string_view bytes, std::string& utf8, std::string* why) {
    if (bytes.size() > kMaxXmlFileBytes) return Fail(why, "file is larger than 16 MiB");
    if (bytes.empty()) return NotWellFormed(why, "the file is empty");

    ByteFamily family = ByteFamily::EightBit;
    std::size_t bom = 0;
    if (StartsWithBytes(bytes, {0x00, 0x00, 0xFE, 0xFF}) ||
        StartsWithBytes(bytes, {0xFF, 0xFE, 0x00, 0x00}) ||
        StartsWithBytes(bytes, {0x00, 0x00, 0x00, 0x3C}) ||
        StartsWithBytes(bytes, {0x3C, 0x00, 0x00, 0x00})) {
        return Fail(why, "UTF-32 text is not supported");
    } else if (StartsWithBytes(bytes, {0xEF, 0xBB, 0xBF})) {
        bom = 3;
    } else if (StartsWithBytes(bytes, {0xFF, 0xFE})) {
        family = ByteFamily::Utf16LE;
        bom = 2;
    } else if (StartsWithBytes(bytes, {0xFE, 0xFF})) {
        family = ByteFamily::Utf16BE;
        bom = 2;
    } else if (StartsWithBytes(bytes, {0x3C, 0x00, 0x3F, 0x00})) {
        family = ByteFamily::Utf16LE;
    } else if (StartsWithBytes(bytes, {0x00, 0x3C, 0x00, 0x3F})) {
        family = ByteFamily::Utf16BE;
    } else if (StartsWithBytes(bytes, {0x4C, 0x6F, 0xA7, 0x94})) {
        return Fail(why, "EBCDIC text is not supported");
    }
    const std::string_view body = bytes.substr(bom);
    std::string encoding;

    if (family != ByteFamily::EightBit) {
        const bool little = family == ByteFamily::Utf16LE;
        if (!DecodeUtf16(body, little, bom, utf8, why)) return false;
        // The byte order decides: tools that save a document as UTF-16 often keep a declaration that
        // names the encoding it was first written in, and such files load elsewhere too.
        if (!ReadDeclaration(utf8, encoding, why)) return false;
    } else {
        if (!ReadDeclaration(body, encoding, why)) return false;
        EightBitEncoding decoder = EightBitEncoding::Utf8;
        if (encoding.empty() || IsOneOf(encoding, {"UTF-8"})) {
            decoder = EightBitEncoding::Utf8;
        } else if (IsOneOf(encoding, {"UTF-16", "UTF-16LE", "UTF-16BE", "ISO-10646-UCS-2", "UCS-2"})) {
            return Fail(why,
                        "the declared encoding \"" + encoding +
                            "\" contradicts the file's bytes, which are not UTF-16 (no byte-order mark)");
        } else if (bom != 0) {
            return Fail(why, "the declared encoding \"" + encoding +
                                 "\" contradicts the file's UTF-8 byte-order mark");
        } else if (IsOneOf(encoding, {"ISO-8859-1", "ISO_8859-1", "latin1", "l1", "ISO-IR-100", "CP819"})) {
            decoder = EightBitEncoding::Latin1;
        } else if (IsOneOf(encoding, {"US-ASCII", "ASCII"})) {
            decoder = EightBitEncoding::Ascii;
        } else if (IsOneOf(encoding, {"windows-1252", "cp1252"})) {
            decoder = EightBitEncoding::Windows1252;
        } else {
            return Fail(why, "the encoding \"" + encoding + "\" is not supported");
        }
        if (!DecodeEightBit(body, decoder, bom, utf8, why)) return false;
    }
    return RefuseDocumentType(utf8, why);
}

}  // namespace

bool DecodeXmlDocument(std::string_view bytes, std::string& utf8, std::string* why) {
    // Nothing half-decoded is left behind on failure.
    if (Decode(bytes, utf8, why)) return true;
    utf8.clear();
    return false;
}

}  // namespace tallyhive
