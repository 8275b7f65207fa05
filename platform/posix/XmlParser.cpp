// XML parsing on Linux: pugixml builds the tree, and a strict scan in front of it refuses what a
// conforming parser refuses but pugixml lets through (several document elements, undeclared
// entities left as text, duplicate attributes, malformed names, comments or character references).
// Every platform must see the same documents as well-formed, or a file would load on one and not on
// the other.
#include <pugixml.hpp>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "assessment/XmlTree.h"
#include "platform/Platform.h"

namespace tallyhive {
namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Name characters as XML 1.0 (fifth edition) lists them, by code point.
bool IsNameStartCode(std::uint32_t c) {
    return c == ':' || (c >= 'A' && c <= 'Z') || c == '_' || (c >= 'a' && c <= 'z') ||
           (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) ||
           (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) || (c >= 0x200C && c <= 0x200D) ||
           (c >= 0x2070 && c <= 0x218F) || (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) ||
           (c >= 0xF900 && c <= 0xFDCF) || (c >= 0xFDF0 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0xEFFFF);
}

bool IsNameCode(std::uint32_t c) {
    return IsNameStartCode(c) || c == '-' || c == '.' || (c >= '0' && c <= '9') || c == 0xB7 ||
           (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

// The code point at `at` of text already checked as UTF-8, and its length in bytes.
std::uint32_t CodeAt(std::string_view text, std::size_t at, std::size_t& length) {
    const auto b = static_cast<unsigned char>(text[at]);
    std::uint32_t c = b;
    length = 1;
    if (b >= 0xF0) {
        c = b & 0x07u;
        length = 4;
    } else if (b >= 0xE0) {
        c = b & 0x0Fu;
        length = 3;
    } else if (b >= 0xC0) {
        c = b & 0x1Fu;
        length = 2;
    }
    for (std::size_t k = 1; k < length && at + k < text.size(); ++k)
        c = (c << 6) | (static_cast<unsigned char>(text[at + k]) & 0x3Fu);
    return c;
}

bool IsXmlChar(std::uint32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

class StrictScan {
public:
    explicit StrictScan(std::string_view text) : m_text(text) {}

    bool Run(std::string* why) {
        m_why = why;
        SkipDeclaration();
        bool rootSeen = false;
        while (m_pos < m_text.size()) {
            if (m_text[m_pos] != '<') {
                if (!Text()) return false;
                continue;
            }
            const std::string_view rest = m_text.substr(m_pos);
            bool ok = false;
            if (rest.substr(0, 4) == "<!--") {
                ok = Comment();
            } else if (rest.substr(0, 9) == "<![CDATA[") {
                ok = !m_open.empty() ? CData() : Fail("character data outside the document element");
            } else if (rest.substr(0, 2) == "<!") {
                ok = Fail("declarations are not accepted");
            } else if (rest.substr(0, 2) == "<?") {
                ok = ProcessingInstruction();
            } else if (rest.substr(0, 2) == "</") {
                ok = EndTag();
            } else {
                if (rootSeen && m_open.empty()) return Fail("more than one document element");
                rootSeen = true;
                ok = StartTag();
            }
            if (!ok) return false;
        }
        if (!rootSeen) return Fail("no document element");
        if (!m_open.empty()) return Fail("element <" + std::string(m_open.back()) + "> is not closed");
        return true;
    }

private:
    bool Fail(const std::string& detail) {
        if (m_why) *m_why = "not well-formed XML: " + detail + " (character " + std::to_string(m_pos) + ")";
        return false;
    }

    // The declaration itself has been checked while the bytes were decoded.
    void SkipDeclaration() {
        if (m_text.substr(0, 5) == "<?xml" && m_text.size() > 5 && IsSpace(m_text[5])) {
            const std::size_t close = m_text.find("?>");
            if (close != std::string_view::npos) m_pos = close + 2;
        }
    }

    bool Name(std::string_view& name) {
        const std::size_t start = m_pos;
        while (m_pos < m_text.size()) {
            std::size_t length = 1;
            const std::uint32_t c = CodeAt(m_text, m_pos, length);
            if (!(m_pos == start ? IsNameStartCode(c) : IsNameCode(c))) break;
            m_pos += length;
        }
        if (m_pos == start) return Fail("a name is missing or malformed");
        name = m_text.substr(start, m_pos - start);
        return true;
    }

    bool SkipSpace() {
        const std::size_t start = m_pos;
        while (m_pos < m_text.size() && IsSpace(m_text[m_pos])) ++m_pos;
        return m_pos != start;
    }

    // Entity and character references in text or an attribute value: only the five predefined
    // entities exist in a document without a type declaration.
    bool References(std::string_view segment, std::size_t base) {
        std::size_t i = segment.find('&');
        while (i != std::string_view::npos) {
            const std::size_t end = segment.find(';', i);
            if (end == std::string_view::npos) {
                m_pos = base + i;
                return Fail("\"&\" starts no reference");
            }
            const std::string_view body = segment.substr(i + 1, end - i - 1);
            bool ok = false;
            if (!body.empty() && body[0] == '#') {
                const bool hex = body.size() > 1 && body[1] == 'x';
                const std::string_view digits = body.substr(hex ? 2 : 1);
                std::uint32_t value = 0;
                ok = !digits.empty() && digits.size() <= 8;
                for (char c : digits) {
                    int digit = -1;
                    if (c >= '0' && c <= '9')
                        digit = c - '0';
                    else if (hex && c >= 'a' && c <= 'f')
                        digit = c - 'a' + 10;
                    else if (hex && c >= 'A' && c <= 'F')
                        digit = c - 'A' + 10;
                    if (digit < 0) {
                        ok = false;
                        break;
                    }
                    value = value * (hex ? 16u : 10u) + static_cast<std::uint32_t>(digit);
                }
                ok = ok && IsXmlChar(value);
            } else {
                ok = body == "lt" || body == "gt" || body == "amp" || body == "apos" || body == "quot";
            }
            if (!ok) {
                m_pos = base + i;
                return Fail("unknown or malformed reference \"&" + std::string(body.substr(0, 32)) + ";\"");
            }
            i = segment.find('&', end);
        }
        return true;
    }

    bool Text() {
        const std::size_t start = m_pos;
        const std::size_t next = std::min(m_text.find('<', m_pos), m_text.size());
        const std::string_view segment = m_text.substr(start, next - start);
        if (m_open.empty()) {
            if (!std::all_of(segment.begin(), segment.end(), IsSpace))
                return Fail("text outside the document element");
        } else {
            if (segment.find("]]>") != std::string_view::npos) return Fail("\"]]>\" in text");
            if (!References(segment, start)) return false;
        }
        m_pos = next;
        return true;
    }

    bool Comment() {
        const std::size_t start = m_pos + 4;
        const std::size_t close = m_text.find("-->", start);
        if (close == std::string_view::npos) return Fail("a comment does not end");
        const std::string_view body = m_text.substr(start, close - start);
        if (body.find("--") != std::string_view::npos || (!body.empty() && body.back() == '-'))
            return Fail("\"--\" inside a comment");
        m_pos = close + 3;
        return true;
    }

    bool CData() {
        const std::size_t close = m_text.find("]]>", m_pos + 9);
        if (close == std::string_view::npos) return Fail("a CDATA section does not end");
        m_pos = close + 3;
        return true;
    }

    bool ProcessingInstruction() {
        m_pos += 2;
        std::string_view target;
        if (!Name(target)) return false;
        if (target.size() == 3 && (target[0] | 0x20) == 'x' && (target[1] | 0x20) == 'm' &&
            (target[2] | 0x20) == 'l')
            return Fail("an XML declaration that is not at the start");
        const std::size_t close = m_text.find("?>", m_pos);
        if (close == std::string_view::npos) return Fail("a processing instruction does not end");
        if (close != m_pos && !IsSpace(m_text[m_pos])) return Fail("a malformed processing instruction");
        m_pos = close + 2;
        return true;
    }

    bool EndTag() {
        m_pos += 2;
        std::string_view name;
        if (!Name(name)) return false;
        SkipSpace();
        if (m_pos >= m_text.size() || m_text[m_pos] != '>') return Fail("an end tag is malformed");
        ++m_pos;
        if (m_open.empty() || m_open.back() != name)
            return Fail("end tag </" + std::string(name.substr(0, 64)) + "> does not match");
        m_open.pop_back();
        return true;
    }

    bool StartTag() {
        ++m_pos;
        std::string_view name;
        if (!Name(name)) return false;
        m_attributes.clear();
        const bool ok = StartTagRest(name);
        // The repeats among many attributes are looked for once the tag is read, as far as it was
        // read: the first repeat comes before anything else refused in the tag, so it is named first.
        if (m_attributes.size() > kFewAttributes && !NoRepeatedAttribute()) return false;
        return ok;
    }

    bool StartTagRest(std::string_view name) {
        for (;;) {
            const bool spaced = SkipSpace();
            if (m_pos >= m_text.size()) return Fail("a start tag does not end");
            if (m_text[m_pos] == '>') {
                ++m_pos;
                if (m_open.size() >= kMaxXmlDepth) return Fail("elements are nested too deeply");
                m_open.push_back(name);
                return true;
            }
            if (m_text.compare(m_pos, 2, "/>") == 0) {
                m_pos += 2;
                return true;
            }
            if (!spaced) return Fail("white space is missing between attributes");
            std::string_view attribute;
            if (!Name(attribute)) return false;
            // A few attributes, as every real file has, are compared with each other at once; beyond
            // that the comparison of each with all before it would grow with the square of their number.
            if (m_attributes.size() < kFewAttributes &&
                std::find(m_attributes.begin(), m_attributes.end(), attribute) != m_attributes.end())
                return RepeatedAttribute(attribute);
            m_attributes.push_back(attribute);
            SkipSpace();
            if (m_pos >= m_text.size() || m_text[m_pos] != '=')
                return Fail("\"=\" is missing after an attribute");
            ++m_pos;
            SkipSpace();
            if (m_pos >= m_text.size() || (m_text[m_pos] != '"' && m_text[m_pos] != '\''))
                return Fail("an attribute value is not quoted");
            const char quote = m_text[m_pos++];
            const std::size_t close = m_text.find(quote, m_pos);
            if (close == std::string_view::npos) return Fail("an attribute value does not end");
            const std::string_view value = m_text.substr(m_pos, close - m_pos);
            if (value.find('<') != std::string_view::npos) return Fail("\"<\" in an attribute value");
            if (!References(value, m_pos)) return false;
            m_pos = close + 1;
        }
    }

    bool RepeatedAttribute(std::string_view attribute) {
        m_pos = static_cast<std::size_t>(attribute.data() + attribute.size() - m_text.data());
        return Fail("attribute \"" + std::string(attribute.substr(0, 64)) + "\" is repeated");
    }

    // Sorting the names (n log n, whatever they are made of) finds every repeat; the one refused is
    // the earliest second occurrence, where a check of each name against those before it would stop.
    // The names are ordered by their hash first, so that most comparisons are of two numbers; equal
    // hashes fall back to the names themselves, so colliding names cost time only, never a wrong answer.
    bool NoRepeatedAttribute() {
        m_sorted.clear();
        for (std::string_view name : m_attributes)
            m_sorted.push_back({std::hash<std::string_view>{}(name), name});
        std::sort(m_sorted.begin(), m_sorted.end(), [](const HashedName& a, const HashedName& b) {
            if (a.hash != b.hash) return a.hash < b.hash;
            const int order = a.name.compare(b.name);
            return order < 0 || (order == 0 && a.name.data() < b.name.data());
        });
        const std::string_view* first = nullptr;
        for (std::size_t i = 1; i < m_sorted.size(); ++i) {
            const std::string_view name = m_sorted[i].name;
            if (m_sorted[i].hash == m_sorted[i - 1].hash && name == m_sorted[i - 1].name &&
                (!first || name.data() < first->data()))
                first = &m_sorted[i].name;
        }
        return !first || RepeatedAttribute(*first);
    }

    static constexpr std::size_t kFewAttributes = 16;

    std::string_view m_text;
    std::size_t m_pos = 0;
    std::vector<std::string_view> m_open;
    std::vector<std::string_view> m_attributes;  // of the start tag being read, in document order
    struct HashedName {
        std::size_t hash;
        std::string_view name;
    };
    std::vector<HashedName> m_sorted;
    std::string* m_why = nullptr;
};

// Copies pugixml's tree into ours without recursion, whatever the depth.
bool CopyTree(const pugi::xml_node root, XmlTree& tree, std::string* why) {
    XmlTreeBuilder builder(tree);
    pugi::xml_node node = root;
    for (;;) {
        bool descend = false;
        switch (node.type()) {
            case pugi::node_element:
                if (!builder.OpenElement(node.name())) {
                    if (why) *why = "not well-formed XML: elements are nested too deeply";
                    return false;
                }
                for (const pugi::xml_attribute& a : node.attributes())
                    builder.AddAttribute(a.name(), a.value());
                descend = true;
                break;
            case pugi::node_pcdata:
            case pugi::node_cdata:
                builder.AddText(node.value());
                break;
            default:
                break;
        }
        if (descend && node.first_child()) {
            node = node.first_child();
            continue;
        }
        if (descend) builder.CloseElement();
        // Climb until a sibling is found, closing the elements left behind.
        while (node != root && !node.next_sibling()) {
            node = node.parent();
            builder.CloseElement();
        }
        if (node == root) break;
        node = node.next_sibling();
    }
    return builder.Complete();
}

// pugixml behind the strict scan above, which refuses what pugixml would let through.
class PugiXmlParser final : public XmlParser {
public:
    bool Parse(std::string_view utf8Document, XmlTree& tree, std::string* why) override;
};

}  // namespace

std::unique_ptr<XmlParser> MakeXmlParser() {
    return std::make_unique<PugiXmlParser>();
}

bool PugiXmlParser::Parse(std::string_view utf8Document, XmlTree& tree, std::string* why) {
    tree.nodes.clear();
    if (!StrictScan(utf8Document).Run(why)) return false;

    // White-space-only text stays: element texts keep the document's white space exactly.
    constexpr unsigned kOptions = pugi::parse_cdata | pugi::parse_escapes | pugi::parse_wconv_attribute |
                                  pugi::parse_eol | pugi::parse_ws_pcdata | pugi::parse_declaration;
    pugi::xml_document document;
    const pugi::xml_parse_result result =
        document.load_buffer(utf8Document.data(), utf8Document.size(), kOptions, pugi::encoding_utf8);
    if (!result) {
        if (why)
            *why = std::string("not well-formed XML: ") + result.description() + " (character " +
                   std::to_string(result.offset) + ")";
        return false;
    }
    const pugi::xml_node root = document.document_element();
    if (!root) {
        if (why) *why = "not well-formed XML: no document element";
        return false;
    }
    // Every element and every text run starts at or right after a "<": an upper bound that spares
    // the tree its reallocations.
    tree.nodes.reserve(
        2 * static_cast<std::size_t>(std::count(utf8Document.begin(), utf8Document.end(), '<')) + 1);
    if (!CopyTree(root, tree, why)) {
        tree.nodes.clear();
        return false;
    }
    return true;
}

}  // namespace tallyhive
