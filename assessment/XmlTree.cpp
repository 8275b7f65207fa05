#include "assessment/XmlTree.h"

namespace tallyhive {

bool XmlTreeBuilder::OpenElement(std::string name) {
    if (m_open.size() >= kMaxXmlDepth) return false;
    const auto index = static_cast<std::uint32_t>(m_tree.nodes.size());
    XmlNode& node = m_tree.nodes.emplace_back();
    node.kind = XmlNode::Kind::Element;
    node.value = std::move(name);
    node.end = index + 1;
    m_open.push_back(index);
    m_textOpen = false;
    return true;
}

void XmlTreeBuilder::AddAttribute(std::string name, std::string value) {
    // Attributes belong to the element just opened; the parser gives them before any content.
    if (m_open.empty()) return;
    m_tree.nodes[m_open.back()].attributes.emplace_back(std::move(name), std::move(value));
}

void XmlTreeBuilder::AddText(std::string_view text) {
    // Character data outside the document element belongs to no element's text.
    if (m_open.empty() || text.empty()) return;
    // Merge only with text given since the last element event: the last node may also be the final
    // text of a child that has just been closed, which is not ours to extend.
    if (m_textOpen) {
        XmlNode& last = m_tree.nodes.back();
        last.value.append(text);
        return;
    }
    const auto index = static_cast<std::uint32_t>(m_tree.nodes.size());
    XmlNode& node = m_tree.nodes.emplace_back();
    node.kind = XmlNode::Kind::Text;
    node.value.assign(text);
    node.end = index + 1;
    m_textOpen = true;
}

void XmlTreeBuilder::CloseElement() {
    if (m_open.empty()) return;
    m_tree.nodes[m_open.back()].end = static_cast<std::uint32_t>(m_tree.nodes.size());
    m_open.pop_back();
    m_textOpen = false;
}

}  // namespace tallyhive
