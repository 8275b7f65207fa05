#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tallyhive {

// Limits far above anything the assessment tool writes (files of ~200 KB, nesting below 10): a file
// beyond them is refused instead of exhausting memory or time.
inline constexpr std::size_t kMaxXmlFileBytes = 16u * 1024u * 1024u;
inline constexpr std::uint32_t kMaxXmlDepth = 256;

// A parsed document flattened in document order (pre-order). The subtree of node i is the contiguous
// run [i, nodes[i].end), so an element's text is the text nodes of that run and the walk needs no
// recursion. Only elements and character data (text and CDATA) are kept.
struct XmlNode {
    enum class Kind : std::uint8_t { Element, Text };
    Kind kind = Kind::Element;
    std::string value;  // element: qualified name as written; text: the characters, UTF-8
    std::vector<std::pair<std::string, std::string>> attributes;  // elements: in document order
    std::uint32_t end = 0;                                        // one past the subtree
};

struct XmlTree {
    std::vector<XmlNode> nodes;  // nodes[0] is the document element when the tree is not empty
};

// Builds an XmlTree from parser events; enforces the depth limit.
class XmlTreeBuilder {
public:
    explicit XmlTreeBuilder(XmlTree& tree) : m_tree(tree) {}
    bool OpenElement(std::string name);  // false beyond kMaxXmlDepth
    void AddAttribute(std::string name, std::string value);
    void AddText(std::string_view text);  // adjacent character data is merged
    void CloseElement();
    bool Complete() const { return m_open.empty() && !m_tree.nodes.empty(); }

private:
    XmlTree& m_tree;
    std::vector<std::uint32_t> m_open;  // indexes of the elements not yet closed
    bool m_textOpen = false;            // the last node is text given since the last element event
};

// The platform's XML parser, handed to the readers like the file and time services.
class XmlParser {
public:
    virtual ~XmlParser() = default;
    // Parses a complete document, already decoded to UTF-8 by the caller (any encoding declaration
    // in it is ignored), into `tree`. Fails on anything that is not well-formed, leaving `tree`
    // empty. The caller has already refused document type declarations.
    virtual bool Parse(std::string_view utf8Document, XmlTree& tree, std::string* why = nullptr) = 0;
};

}  // namespace tallyhive
