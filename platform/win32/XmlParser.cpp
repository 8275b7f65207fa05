// XML parsing on Windows through the platform's XML document object model (MSXML). The core has
// already decoded the file to UTF-8 and refused any document type declaration; document type
// definitions and external resources are switched off here as well, in case a build is ever given
// a document the core did not see first.
#include <windows.h>

#include <msxml2.h>
#include <oleauto.h>

#include <memory>
#include <vector>

#include "assessment/XmlTree.h"
#include "platform/Platform.h"
#include "platform/win32/Win32Util.h"
#include "platform/win32/Win32Xml.h"

namespace tallyhive {

namespace {

using win32::ComApartment;
using win32::ComPtr;
using win32::Narrow;
using win32::UniqueBstr;

// The class and interfaces by their published identifiers: MinGW's import libraries lack some of
// their definitions.
constexpr const wchar_t* kDomDocumentClass = L"{F6D90F11-9C73-11D3-B32E-00C04F990BB4}";
constexpr const wchar_t* kDomDocumentInterface = L"{2933BF81-7B36-11D2-B20E-00C04F983E60}";
constexpr const wchar_t* kDomDocument2Interface = L"{2933BF95-7B36-11D2-B20E-00C04F983E60}";
constexpr const wchar_t* kDomNodeInterface = L"{2933BF80-7B36-11D2-B20E-00C04F983E60}";

bool Fail(std::string* why, const std::string& text) {
    if (why) *why = text;
    return false;
}

class Variant {
public:
    Variant() { ::VariantInit(&m_value); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    ~Variant() { ::VariantClear(&m_value); }
    VARIANT* operator&() { return &m_value; }
    const VARIANT& Get() const { return m_value; }

private:
    VARIANT m_value;
};

std::string NodeName(IXMLDOMNode* node) {
    UniqueBstr name;
    if (FAILED(node->get_nodeName(name.Put()))) return {};
    return Narrow(name.View());
}

std::string NodeValue(IXMLDOMNode* node) {
    Variant value;
    if (FAILED(node->get_nodeValue(&value)) || value.Get().vt != VT_BSTR || !value.Get().bstrVal) return {};
    return Narrow(std::wstring_view(value.Get().bstrVal, ::SysStringLen(value.Get().bstrVal)));
}

bool AddAttributes(IXMLDOMNode* node, XmlTreeBuilder& builder) {
    ComPtr<IXMLDOMNamedNodeMap> attributes;
    if (FAILED(node->get_attributes(attributes.Put())) || !attributes) return true;
    long count = 0;
    if (FAILED(attributes->get_length(&count))) return false;
    for (long i = 0; i < count; ++i) {
        ComPtr<IXMLDOMNode> attribute;
        if (FAILED(attributes->get_item(i, attribute.Put())) || !attribute) continue;
        UniqueBstr value;
        if (FAILED(attribute->get_text(value.Put()))) return false;
        builder.AddAttribute(NodeName(attribute.Get()), Narrow(value.View()));
    }
    return true;
}

// Copies the DOM into our flat tree without recursion, whatever the depth.
bool CopyTree(IXMLDOMElement* root, XmlTree& tree, std::string* why) {
    XmlTreeBuilder builder(tree);
    IID nodeInterface{};
    ::IIDFromString(kDomNodeInterface, &nodeInterface);
    ComPtr<IXMLDOMNode> node;
    if (FAILED(root->QueryInterface(nodeInterface, reinterpret_cast<void**>(node.Put())))) return false;
    std::vector<ComPtr<IXMLDOMNode>> open;  // the elements entered, innermost last
    for (;;) {
        DOMNodeType type = NODE_INVALID;
        node->get_nodeType(&type);
        bool entered = false;
        if (type == NODE_ELEMENT) {
            if (!builder.OpenElement(NodeName(node.Get())))
                return Fail(why, "not well-formed XML: elements are nested too deeply");
            if (!AddAttributes(node.Get(), builder)) return Fail(why, "an attribute cannot be read");
            ComPtr<IXMLDOMNode> child;
            if (SUCCEEDED(node->get_firstChild(child.Put())) && child) {
                open.push_back(std::move(node));
                node = std::move(child);
                continue;
            }
            entered = true;
        } else if (type == NODE_TEXT || type == NODE_CDATA_SECTION) {
            builder.AddText(NodeValue(node.Get()));
        }
        if (entered) builder.CloseElement();
        // On to the next sibling, closing the elements whose children are done.
        for (;;) {
            if (open.empty()) return builder.Complete();
            ComPtr<IXMLDOMNode> sibling;
            if (SUCCEEDED(node->get_nextSibling(sibling.Put())) && sibling) {
                node = std::move(sibling);
                break;
            }
            node = std::move(open.back());
            open.pop_back();
            builder.CloseElement();
        }
    }
}

// The system's XML component, with document type declarations and external resources off.
class MsXmlParser final : public XmlParser {
public:
    bool Parse(std::string_view utf8Document, XmlTree& tree, std::string* why) override;
};

}  // namespace

std::wstring win32::LoadXmlText(std::string_view utf8Document) {
    // The text is UTF-16 by the time the component reads it, whatever the file's declaration said,
    // and older versions of the component refuse loadXML text that names another encoding. The core
    // has checked the declaration already; only it is left out ("<?xml-stylesheet" and the like are
    // processing instructions, kept).
    constexpr std::string_view kOpen = "<?xml";
    if (utf8Document.starts_with(kOpen) && utf8Document.size() > kOpen.size()) {
        const char next = utf8Document[kOpen.size()];
        if (next == ' ' || next == '\t' || next == '\r' || next == '\n') {
            const std::size_t close = utf8Document.find("?>");
            if (close != std::string_view::npos) utf8Document.remove_prefix(close + 2);
        }
    }
    return win32::Wide(utf8Document);
}

std::unique_ptr<XmlParser> MakeXmlParser() {
    return std::make_unique<MsXmlParser>();
}

bool MsXmlParser::Parse(std::string_view utf8Document, XmlTree& tree, std::string* why) {
    tree.nodes.clear();
    const ComApartment apartment;
    if (!apartment.Usable()) return Fail(why, "the component system cannot be started");
    CLSID documentClass{};
    IID documentInterface{};
    IID document2Interface{};
    ::CLSIDFromString(kDomDocumentClass, &documentClass);
    ::IIDFromString(kDomDocumentInterface, &documentInterface);
    ::IIDFromString(kDomDocument2Interface, &document2Interface);
    ComPtr<IXMLDOMDocument> document;
    if (FAILED(::CoCreateInstance(documentClass, nullptr, CLSCTX_ALL, documentInterface,
                                  reinterpret_cast<void**>(document.Put()))))
        return Fail(why, "the XML component is not available");
    document->put_async(VARIANT_FALSE);
    document->put_preserveWhiteSpace(VARIANT_TRUE);
    document->put_resolveExternals(VARIANT_FALSE);
    document->put_validateOnParse(VARIANT_FALSE);
    ComPtr<IXMLDOMDocument2> document2;
    if (SUCCEEDED(document->QueryInterface(document2Interface, reinterpret_cast<void**>(document2.Put())))) {
        VARIANT prohibit;
        ::VariantInit(&prohibit);
        prohibit.vt = VT_BOOL;
        prohibit.boolVal = VARIANT_TRUE;
        UniqueBstr name(L"ProhibitDTD");
        document2->setProperty(name.Get(), prohibit);
    }
    const UniqueBstr text(win32::LoadXmlText(utf8Document));
    VARIANT_BOOL loaded = VARIANT_FALSE;
    if (FAILED(document->loadXML(text.Get(), &loaded)) || loaded != VARIANT_TRUE) {
        ComPtr<IXMLDOMParseError> error;
        UniqueBstr reason;
        if (SUCCEEDED(document->get_parseError(error.Put())) && error) error->get_reason(reason.Put());
        std::string detail = Narrow(reason.View());
        while (!detail.empty() && (detail.back() == '\n' || detail.back() == '\r')) detail.pop_back();
        return Fail(why, "not well-formed XML" + (detail.empty() ? std::string() : ": " + detail));
    }
    ComPtr<IXMLDOMElement> root;
    if (FAILED(document->get_documentElement(root.Put())) || !root)
        return Fail(why, "not well-formed XML: no document element");
    if (!CopyTree(root.Get(), tree, why)) {
        tree.nodes.clear();
        if (why && why->empty()) *why = "the document cannot be read";
        return false;
    }
    return true;
}

}  // namespace tallyhive
