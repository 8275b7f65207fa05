// The Linux parser must see exactly the documents a conforming parser sees: pugixml alone accepts
// several things that are not XML, and drops white space the reader must keep.
#include <gtest/gtest.h>

#include <string>

#include "assessment/XmlTree.h"
#include "platform/Platform.h"

namespace tallyhive {
namespace {

// The tree in a compact form: "<name k=v>" for elements, "[text]" for text, "/" when a subtree ends.
std::string Shape(const XmlTree& tree) {
    std::string out;
    std::vector<std::uint32_t> ends;
    for (std::uint32_t i = 0; i < tree.nodes.size(); ++i) {
        while (!ends.empty() && ends.back() <= i) {
            out += "/";
            ends.pop_back();
        }
        const XmlNode& node = tree.nodes[i];
        if (node.kind == XmlNode::Kind::Text) {
            out += "[" + node.value + "]";
            continue;
        }
        out += "<" + node.value;
        for (const auto& [k, v] : node.attributes) out += " " + k + "=" + v;
        out += ">";
        ends.push_back(node.end);
    }
    out.append(ends.size(), '/');
    return out;
}

TEST(PosixXmlParser, GivesTheViewOfAConformingParser) {
    struct Case {
        std::string document;
        std::string want;
        const char* why;
    };
    const Case cases[] = {
        {"<a>\n  <b> </b>\n</a>", "<a>[\n  ]<b>[ ]/[\n]/", "white-space-only text is kept"},
        {"<a>x<![CDATA[<y>&amp;]]>z</a>", "<a>[x<y>&amp;z]/", "CDATA merges with the text around it"},
        {"<a>x<!--c-->y<?pi data?>z</a>", "<a>[xyz]/", "comments and processing instructions are dropped"},
        {"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<!--top-->\n<a/>\n", "<a>/",
         "declaration, comments and white space around the document element"},
        {"<w:a xmlns:w=\"urn:w\" w:k='1'/>", "<w:a xmlns:w=urn:w w:k=1>/", "qualified names"},
        {"<a k=\"&quot;&#9;&#x26;\"/>", "<a k=\"\t&>/",
         "character references in attributes are not normalised"},
        {"<a k=\"1\r\n2\"/>", "<a k=1 2>/", "a line end in an attribute becomes one space"},
        {"<a>&#x10FFFF;</a>", "<a>[\xF4\x8F\xBF\xBF]/", "the highest character"},
        {"<a><b/>tail</a>", "<a><b>/[tail]/", "text after a child is the parent's"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        XmlTree tree;
        std::string why;
        ASSERT_TRUE(MakeXmlParser()->Parse(c.document, tree, &why)) << why;
        EXPECT_EQ(Shape(tree), c.want);
    }
}

TEST(PosixXmlParser, RefusesWhatIsNotWellFormed) {
    struct Case {
        std::string document;
        const char* why;
    };
    const Case cases[] = {
        {"", "nothing"},
        {"   ", "only white space"},
        {"<a/><b/>", "two document elements"},
        {"x<a/>", "text before the document element"},
        {"<a/>x", "text after the document element"},
        {"<a>&nbsp;</a>", "an undeclared entity"},
        {"<a>AT&T</a>", "a bare ampersand"},
        {"<a>&#0;</a>", "a reference to a character XML forbids"},
        {"<a>&#xD800;</a>", "a reference to a surrogate"},
        {"<a>&#99999999999;</a>", "a reference beyond every character"},
        {"<a k=\"&bogus;\"/>", "an undeclared entity in an attribute"},
        {"<a k=\"1\" k=\"2\"/>", "a repeated attribute"},
        {"<a k=\"<\"/>", "\"<\" in an attribute value"},
        {"<a k=1/>", "an unquoted attribute value"},
        {"<a k=\"1\"j=\"2\"/>", "attributes without white space between them"},
        {"<1a/>", "a name that starts with a digit"},
        {"<a\xE2\x80\x94/>", "a dash that is no name character"},
        {"<a>x]]>y</a>", "\"]]>\" in text"},
        {"<a><!-- x -- y --></a>", "\"--\" inside a comment"},
        {"<a><!-- x ---></a>", "a comment ending in \"-\""},
        {"<a><?xml version=\"1.0\"?></a>", "a declaration inside the document"},
        {"<![CDATA[x]]><a/>", "CDATA outside the document element"},
        {"<a><b></a></b>", "crossed elements"},
        {"<a><b></b>", "an element that is not closed"},
        {"</a>", "an end tag alone"},
        {"<a><!ELEMENT a ANY></a>", "a markup declaration"},
        {"<a", "a start tag that does not end"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        XmlTree tree;
        std::string why;
        EXPECT_FALSE(MakeXmlParser()->Parse(c.document, tree, &why));
        EXPECT_NE(why.find("not well-formed"), std::string::npos) << why;
        EXPECT_TRUE(tree.nodes.empty());
    }
}

// Past a few attributes, repeats are looked for once the tag is read: the refusal must still name
// the repeat a reader meets first, not the first in another order, nor a later fault of the tag.
TEST(PosixXmlParser, AmongManyAttributesNamesTheFirstRepeat) {
    std::string many = "<a";
    for (int i = 0; i < 40; ++i) many += " k" + std::to_string(i) + "=\"1\"";
    struct Case {
        std::string document;
        const char* named;  // nullptr: read
        const char* why;
    };
    const Case cases[] = {
        {many + "/>", nullptr, "forty different names, \"k1\" a prefix of \"k10\""},
        {many + " k39=\"2\"/>", "\"k39\"", "the last name again"},
        {many + " k7=\"2\" k3=\"2\"/>", "\"k7\"", "the earlier of two repeats, not the one sorting first"},
        {many + " k5=\"2\" j=1/>", "\"k5\"", "a repeat before an unquoted value"},
        {many + " k5=\"2\" j=\"1\"", "\"k5\"", "a repeat in a tag that does not end"},
        {many + " k5=\"2\" k5=\"3\"/>", "\"k5\"", "a name three times"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        XmlTree tree;
        std::string why;
        const bool read = MakeXmlParser()->Parse(c.document, tree, &why);
        if (!c.named) {
            EXPECT_TRUE(read) << why;
            continue;
        }
        EXPECT_FALSE(read);
        EXPECT_NE(why.find(std::string("attribute ") + c.named + " is repeated"), std::string::npos) << why;
    }
}

}  // namespace
}  // namespace tallyhive
