#pragma once
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "assessment/XmlTree.h"

namespace tallyhive {

class FileService;
class XmlParser;

// Attribute name to value; names compare exactly.
using AttributeMap = std::map<std::string, std::string, std::less<>>;

// The value of attribute `name`, or the empty text when the element has none.
std::string_view AttributeValue(const AttributeMap& attributes, std::string_view name);

// The text of an element's whole subtree (character-normalised), built only when first asked for:
// most elements are never asked, and building every one would be quadratic on deep documents.
class ElementText {
public:
    ElementText(const XmlTree& tree, std::uint32_t index) : m_tree(tree), m_index(index) {}
    const std::string& Get() const;
    // True when an element lies below this one: the walk reports it next.
    bool HasChildElement() const;

private:
    const XmlTree& m_tree;
    std::uint32_t m_index;
    mutable std::optional<std::string> m_text;
};

// Receives every element of a document by its dotted path ("WinSAT.WinSPR.SystemScore"), in
// pre-order, and the end of each element after its descendants. Results are ignored by the walk.
class CXmlElementHandler {
public:
    virtual ~CXmlElementHandler() = default;
    virtual bool OnElement(const std::string& path, const ElementText& text, const AttributeMap& attributes);
    virtual bool OnElementEnd(const std::string& path);
};

// Reads one XML file completely, then reports its elements to itself. A file that is not
// well-formed (or too large, too deep, or carrying a document type declaration) reports nothing.
class CXmlPathReader : public CXmlElementHandler {
public:
    CXmlPathReader(FileService& files, XmlParser& parser) : m_files(files), m_parser(parser) {}
    bool Load(const std::string& path, std::string* why = nullptr);
    // The same for a document already in memory, in any supported encoding.
    bool LoadBytes(std::string_view bytes, std::string* why = nullptr);

private:
    FileService& m_files;
    XmlParser& m_parser;
};

// A reader that passes every report on to a handler it does not own.
class CXmlForwardingReader final : public CXmlPathReader {
public:
    CXmlForwardingReader(FileService& files, XmlParser& parser, CXmlElementHandler& handler)
        : CXmlPathReader(files, parser), m_handler(handler) {}
    bool OnElement(const std::string& path, const ElementText& text, const AttributeMap& attributes) override;
    bool OnElementEnd(const std::string& path) override;

private:
    CXmlElementHandler& m_handler;
};

// Replaces the character variants that differ between code pages by their full-width forms.
std::string NormalizeCharacterVariants(std::string_view text);

// Decodes a document's bytes to UTF-8 as XML prescribes (byte-order mark, then the encoding
// declaration); refuses encodings it does not know, invalid sequences, odd-length UTF-16, a
// declaration that contradicts the bytes, and any document type declaration.
bool DecodeXmlDocument(std::string_view bytes, std::string& utf8, std::string* why = nullptr);

}  // namespace tallyhive
