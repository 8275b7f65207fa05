// Decoding of a document's bytes before parsing: encodings found as XML prescribes, refusals that
// keep hostile or broken files away from the parser.
#include <gtest/gtest.h>

#include <string>

#include "assessment/XmlReader.h"
#include "assessment/XmlTree.h"

namespace tallyhive {
namespace {

std::string Utf16(const std::string& ascii, bool little, bool bom) {
    std::string out;
    if (bom) out += little ? "\xFF\xFE" : "\xFE\xFF";
    for (const char c : ascii) {
        if (little) {
            out += c;
            out += '\0';
        } else {
            out += '\0';
            out += c;
        }
    }
    return out;
}

TEST(DecodeXmlDocument, AcceptsTheEncodingsFilesCarry) {
    struct Case {
        std::string bytes;
        std::string want;
        const char* why;
    };
    const Case cases[] = {
        {Utf16("<?xml version=\"1.0\" encoding=\"UTF-16\"?><a/>", true, true),
         "<?xml version=\"1.0\" encoding=\"UTF-16\"?><a/>", "the assessment tool's own form"},
        {Utf16("<a>x</a>", false, true), "<a>x</a>", "big-endian with a byte-order mark"},
        {Utf16("<?xml version=\"1.0\"?><a/>", true, false), "<?xml version=\"1.0\"?><a/>",
         "UTF-16 without a byte-order mark, found from the declaration's first bytes"},
        {Utf16("<?xml version=\"1.0\" encoding=\"UTF-8\"?><a/>", true, true),
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?><a/>", "the byte order wins over a stale declaration"},
        {"\xEF\xBB\xBF<a>\xC3\xA9</a>", "<a>\xC3\xA9</a>", "UTF-8 with a byte-order mark"},
        {"<a>\xC3\xA9</a>", "<a>\xC3\xA9</a>", "UTF-8 by default"},
        {"<?xml version='1.0' encoding='ISO-8859-1'?><a>\xE9</a>",
         "<?xml version='1.0' encoding='ISO-8859-1'?><a>\xC3\xA9</a>", "Latin-1"},
        {"<?xml version=\"1.0\" encoding=\"windows-1252\"?><a>\x80</a>",
         "<?xml version=\"1.0\" encoding=\"windows-1252\"?><a>\xE2\x82\xAC</a>", "windows-1252's euro sign"},
        {Utf16("<a>", true, true) + std::string("\x3D\xD8\xBB\xDC", 4) + Utf16("</a>", true, false),
         "<a>\xF0\x9F\x92\xBB</a>", "a surrogate pair"},
        {"<!-- <!DOCTYPE x> --><a/>", "<!-- <!DOCTYPE x> --><a/>", "a comment that merely mentions one"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        std::string utf8, why;
        EXPECT_TRUE(DecodeXmlDocument(c.bytes, utf8, &why)) << why;
        EXPECT_EQ(utf8, c.want);
    }
}

TEST(DecodeXmlDocument, RefusesWhatCannotBeReadSafely) {
    struct Case {
        std::string bytes;
        const char* reason;  // part of the message
        const char* why;
    };
    const Case cases[] = {
        {"", "empty", "an empty file"},
        {"\xFF\xFE<\0a\0/\0>", "odd number", "odd-length UTF-16"},
        {Utf16("<a>", true, true) + std::string("\x3D\xD8", 2) + Utf16("</a>", true, false), "surrogate",
         "a lone high surrogate"},
        {"<a>\xC3</a>", "UTF-8", "a truncated UTF-8 sequence"},
        {"<a>\xC0\xAF</a>", "UTF-8", "an overlong form"},
        {"<a>\xED\xA0\x80</a>", "UTF-8", "an encoded surrogate"},
        {std::string("<a>\0</a>", 8), "not allowed", "a NUL character"},
        {"<a>\x01</a>", "not allowed", "a control character"},
        {"<?xml version=\"1.0\" encoding=\"US-ASCII\"?><a>\xE9</a>", "US-ASCII", "a byte beyond ASCII"},
        {"<?xml version=\"1.0\" encoding=\"windows-1252\"?><a>\x81</a>", "undefined",
         "a hole in the code page"},
        {"<?xml version=\"1.0\" encoding=\"EBCDIC-US\"?><a/>", "not supported", "an unknown encoding"},
        {"<?xml version=\"1.0\" encoding=\"UTF-16\"?><a/>", "contradicts",
         "UTF-16 declared over 8-bit bytes"},
        {"\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a/>", "contradicts",
         "a UTF-8 mark under another declaration"},
        {std::string("\0\0\xFE\xFF", 4), "UTF-32", "UTF-32"},
        {"<?xml encoding=\"UTF-8\"?><a/>", "declaration", "a declaration without a version"},
        {"<?xml version=\"2.0\"?><a/>", "declaration", "an unknown version"},
        {"<?xml version=\"1.0\" standalone=\"maybe\"?><a/>", "declaration", "a bad standalone value"},
        {"<?xml version=\"1.0\"", "declaration", "a declaration that does not end"},
        {"<!DOCTYPE a [<!ENTITY x \"y\">]><a>&x;</a>", "document type", "an internal subset"},
        {"<?xml version=\"1.0\"?>\n<!-- c -->\n<!doctype a SYSTEM \"file:///etc/passwd\"><a/>",
         "document type", "an external entity, after a comment, in any letter case"},
        {Utf16("<!DOCTYPE a><a/>", true, true), "document type", "in UTF-16 too"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        std::string utf8 = "left over", why;
        EXPECT_FALSE(DecodeXmlDocument(c.bytes, utf8, &why));
        EXPECT_NE(why.find(c.reason), std::string::npos) << why;
        EXPECT_TRUE(utf8.empty()) << "nothing half-decoded is left behind";
    }
}

TEST(DecodeXmlDocument, RefusesFilesBeyondTheSizeLimit) {
    std::string bytes = "<a>";
    bytes.resize(kMaxXmlFileBytes + 1, ' ');
    std::string utf8, why;
    EXPECT_FALSE(DecodeXmlDocument(bytes, utf8, &why));
    EXPECT_NE(why.find("larger"), std::string::npos) << why;
}

}  // namespace
}  // namespace tallyhive
