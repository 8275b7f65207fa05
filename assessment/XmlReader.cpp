#include "assessment/XmlReader.h"

#include <new>
#include <string>
#include <vector>

#include "assessment/Services.h"

namespace tallyhive {

std::string_view AttributeValue(const AttributeMap& attributes, std::string_view name) {
    const auto found = attributes.find(name);
    return found == attributes.end() ? std::string_view() : std::string_view(found->second);
}

const std::string& ElementText::Get() const {
    if (!m_text) {
        std::string text;
        const XmlNode& element = m_tree.nodes[m_index];
        for (std::uint32_t i = m_index + 1; i < element.end; ++i) {
            const XmlNode& node = m_tree.nodes[i];
            if (node.kind == XmlNode::Kind::Text) text += node.value;
        }
        m_text = NormalizeCharacterVariants(text);
    }
    return *m_text;
}

bool ElementText::HasChildElement() const {
    // Adjacent character data is one node, so the loop ends at the first or second node below.
    const XmlNode& element = m_tree.nodes[m_index];
    for (std::uint32_t i = m_index + 1; i < element.end; ++i)
        if (m_tree.nodes[i].kind == XmlNode::Kind::Element) return true;
    return false;
}

bool CXmlElementHandler::OnElement(const std::string&, const ElementText&, const AttributeMap&) {
    return true;
}

bool CXmlElementHandler::OnElementEnd(const std::string&) {
    return true;
}

bool CXmlForwardingReader::OnElement(const std::string& path, const ElementText& text,
                                     const AttributeMap& attributes) {
    return m_handler.OnElement(path, text, attributes);
}

bool CXmlForwardingReader::OnElementEnd(const std::string& path) {
    return m_handler.OnElementEnd(path);
}

namespace {

struct Variant {
    std::string_view from;
    std::string_view to;
};

// Characters that code pages map differently, and the full-width forms every page agrees on. No
// replacement yields a character that another row replaces, so one pass gives the same result as
// applying the rows one after another.
constexpr Variant kVariants[] = {
    {"\xE3\x80\x9C", "\xEF\xBD\x9E"},  // WAVE DASH -> FULLWIDTH TILDE
    {"\xE2\x88\x92", "\xEF\xBC\x8D"},  // MINUS SIGN -> FULLWIDTH HYPHEN-MINUS
    {"\xC2\xA2", "\xEF\xBF\xA0"},      // CENT SIGN -> FULLWIDTH CENT SIGN
    {"\xC2\xA3", "\xEF\xBF\xA1"},      // POUND SIGN -> FULLWIDTH POUND SIGN
    {"\xC2\xAC", "\xEF\xBF\xA2"},      // NOT SIGN -> FULLWIDTH NOT SIGN
    {"\xE2\x80\x94", "\xE2\x80\x95"},  // EM DASH -> HORIZONTAL BAR
    {"\xE2\x80\x96", "\xE2\x88\xA5"},  // DOUBLE VERTICAL LINE -> PARALLEL TO
};

bool MayHoldVariant(std::string_view text) {
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b == 0xC2 || b == 0xE2 || b == 0xE3) return true;
    }
    return false;
}

// Reports the elements of a parsed document in document order without recursion: the tree is
// flat, so an element's end is reported once the walk reaches the end of its run of nodes. One path
// is grown and cut back as the walk goes down and up, so that a long path is never copied for each
// element below it.
void Walk(const XmlTree& tree, CXmlElementHandler& handler) {
    struct Open {
        std::uint32_t end;
        std::size_t parentPathLength;
    };
    std::vector<Open> open;
    std::string path;
    const auto closeUpTo = [&](std::uint32_t index) {
        while (!open.empty() && open.back().end <= index) {
            handler.OnElementEnd(path);
            path.resize(open.back().parentPathLength);
            open.pop_back();
        }
    };
    const auto count = static_cast<std::uint32_t>(tree.nodes.size());
    for (std::uint32_t i = 0; i < count; ++i) {
        closeUpTo(i);
        const XmlNode& node = tree.nodes[i];
        if (node.kind != XmlNode::Kind::Element) continue;
        const std::size_t parentPathLength = path.size();
        if (!open.empty()) path += '.';
        path += NormalizeCharacterVariants(node.value);
        AttributeMap attributes;
        for (const auto& [key, value] : node.attributes) attributes.insert_or_assign(key, value);
        const ElementText text(tree, i);
        handler.OnElement(path, text, attributes);
        open.push_back({node.end, parentPathLength});
    }
    closeUpTo(count);
}

}  // namespace

std::string NormalizeCharacterVariants(std::string_view text) {
    if (!MayHoldVariant(text)) return std::string(text);
    std::string out;
    out.reserve(text.size() + 8);
    std::size_t i = 0;
    while (i < text.size()) {
        bool replaced = false;
        for (const Variant& v : kVariants) {
            if (text.compare(i, v.from.size(), v.from) == 0) {
                out += v.to;
                i += v.from.size();
                replaced = true;
                break;
            }
        }
        if (!replaced) out.push_back(text[i++]);
    }
    return out;
}

bool CXmlPathReader::Load(const std::string& path, std::string* why) {
    if (path.empty()) {
        if (why) *why = "no file name was given";
        return false;
    }
    try {
        std::string bytes;
        if (!m_files.ReadRegularFile(path, kMaxXmlFileBytes, bytes, why)) return false;
        return LoadBytes(bytes, why);
    } catch (const std::bad_alloc&) {
        if (why) *why = "out of memory while reading " + path;
        return false;
    }
}

bool CXmlPathReader::LoadBytes(std::string_view bytes, std::string* why) {
    // The whole document is decoded and parsed before the first report, so a file that is not
    // well-formed reports nothing at all.
    try {
        XmlTree tree;
        {
            std::string utf8;
            if (!DecodeXmlDocument(bytes, utf8, why)) return false;
            if (!m_parser.Parse(utf8, tree, why)) return false;
        }
        if (tree.nodes.empty() || tree.nodes.front().kind != XmlNode::Kind::Element) {
            if (why) *why = "the document has no document element";
            return false;
        }
        Walk(tree, *this);
        return true;
    } catch (const std::bad_alloc&) {
        if (why) *why = "out of memory while reading the document";
        return false;
    }
}

}  // namespace tallyhive
