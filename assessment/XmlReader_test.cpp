// The XML reader as the record sees it: every element by dotted path in document order, element texts
// of whole subtrees with white space kept, attribute maps, character normalisation, and no report at
// all from a file that cannot be read completely.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "assessment/XmlReader.h"
#include "assessment/testing/Fakes.h"
#include "platform/Platform.h"

namespace tallyhive {
namespace {

// The platform's own parser: the reader's tests hold for every platform's.
XmlParser& Parser() {
    static const std::unique_ptr<XmlParser> parser = MakeXmlParser();
    return *parser;
}

// Writes every report as one line: "+path|text|k=v,k=v" for an element, "-path" for its end.
class Recorder final : public CXmlElementHandler {
public:
    std::vector<std::string> lines;
    bool askForText = true;

    bool OnElement(const std::string& path, const ElementText& text,
                   const AttributeMap& attributes) override {
        std::string line = "+" + path + "|" + (askForText ? text.Get() : std::string("?")) + "|";
        bool first = true;
        for (const auto& [name, value] : attributes) {
            line += (first ? "" : ",") + name + "=" + value;
            first = false;
        }
        lines.push_back(line);
        return false;  // the walk ignores results
    }
    bool OnElementEnd(const std::string& path) override {
        lines.push_back("-" + path);
        return false;
    }
};

std::vector<std::string> Reports(const std::string& document, bool* loaded = nullptr) {
    FakeFileService files;
    Recorder recorder;
    CXmlForwardingReader reader(files, Parser(), recorder);
    const bool ok = reader.LoadBytes(document);
    if (loaded) *loaded = ok;
    return recorder.lines;
}

using Lines = std::vector<std::string>;

TEST(XmlPathReader, ReportsElementsInDocumentOrder) {
    struct Case {
        std::string document;
        Lines want;
        const char* why;
    };
    const Case cases[] = {
        {"<a x=\"1\"><b>t</b><!--c--><b>u</b></a>",
         {"+a|tu|x=1", "+a.b|t|", "-a.b", "+a.b|u|", "-a.b", "-a"},
         "siblings with one path, a comment contributing nothing"},
        {"<a x=\"1\">\n  <b>t</b>\n  <!--c-->\n  <b>u</b>\n</a>",
         {"+a|\n  t\n  \n  u\n|x=1", "+a.b|t|", "-a.b", "+a.b|u|", "-a.b", "-a"},
         "white space between elements belongs to the parent's text and is never reported"},
        {"<a><b><c>1</c><d>2</d></b><e><![CDATA[<3>]]></e></a>",
         {"+a|12<3>|", "+a.b|12|", "+a.b.c|1|", "-a.b.c", "+a.b.d|2|", "-a.b.d", "-a.b", "+a.e|<3>|", "-a.e",
          "-a"},
         "ends after the descendants; CDATA is text"},
        {"<p:a xmlns:p=\"urn:x\"><p:b/></p:a>",
         {"+p:a||xmlns:p=urn:x", "+p:a.p:b||", "-p:a.p:b", "-p:a"},
         "qualified names as written, namespace declarations as attributes"},
        {"<a>&lt;&amp;&#x3042;&#65;</a>",
         {"+a|<&\xE3\x81\x82"
          "A|",
          "-a"},
         "references expanded"},
        {"<a v=\"1\t2\n3\"/>", {"+a||v=1 2 3", "-a"}, "attribute values normalised as XML says"},
        {"<a>x\r\ny\rz</a>", {"+a|x\ny\nz|", "-a"}, "line ends normalised"},
        {"<a>\xE3\x80\x9C\xE2\x88\x92\xC2\xA2\xC2\xA3\xC2\xAC\xE2\x80\x94\xE2\x80\x96</a>",
         {"+a|\xEF\xBD\x9E\xEF\xBC\x8D\xEF\xBF\xA0\xEF\xBF\xA1\xEF\xBF\xA2\xE2\x80\x95\xE2\x88\xA5|", "-a"},
         "code-page variants in texts become their full-width forms"},
        {"<a v=\"\xE3\x80\x9C\">\xE3\x80\x9C</a>",
         {"+a|\xEF\xBD\x9E|v=\xE3\x80\x9C", "-a"},
         "attribute values are passed unchanged"},
        {"<a\xE3\x80\x9C><b/></a\xE3\x80\x9C>",
         {"+a\xEF\xBD\x9E||", "+a\xEF\xBD\x9E.b||", "-a\xEF\xBD\x9E.b", "-a\xEF\xBD\x9E"},
         "names are normalised too"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        bool loaded = false;
        EXPECT_EQ(Reports(c.document, &loaded), c.want);
        EXPECT_TRUE(loaded);
    }
}

TEST(XmlPathReader, AFileThatIsNotWellFormedReportsNothing) {
    const char* const cases[] = {
        "<a><b>t</b>",                     // truncated
        "<a><b>t</a></b>",                 // crossed
        "<a/><b/>",                        // two document elements
        "<a>&nbsp;</a>",                   // an entity no document type declares
        "<a x=\"1\" x=\"2\"/>",            // a repeated attribute
        "<a><b/>text after the end</a>x",  // text after the document element
        "plain text",                      // not XML at all
        "<!DOCTYPE a [<!ENTITY e SYSTEM \"file:///etc/hostname\">]><a>&e;</a>",
    };
    for (const char* document : cases) {
        SCOPED_TRACE(document);
        bool loaded = true;
        EXPECT_TRUE(Reports(document, &loaded).empty());
        EXPECT_FALSE(loaded);
    }
}

std::string Nested(std::size_t depth) {
    std::string document;
    for (std::size_t i = 0; i < depth; ++i) document += "<e>";
    for (std::size_t i = 0; i < depth; ++i) document += "</e>";
    return document;
}

TEST(XmlPathReader, NestingIsLimitedWithoutExhaustingTheStack) {
    bool loaded = false;
    const Lines deepest = Reports(Nested(kMaxXmlDepth), &loaded);
    EXPECT_TRUE(loaded);
    EXPECT_EQ(deepest.size(), 2 * kMaxXmlDepth);

    // A hostile file far deeper than the limit fails cleanly instead of overflowing the stack.
    EXPECT_TRUE(Reports(Nested(kMaxXmlDepth + 1), &loaded).empty());
    EXPECT_FALSE(loaded);
    EXPECT_TRUE(Reports(Nested(1'000'000), &loaded).empty());
    EXPECT_FALSE(loaded);
}

TEST(XmlPathReader, TextsOfWideDocumentsAreBuiltOnlyWhenAsked) {
    // 200,000 elements: building every element's subtree text up front would copy the whole
    // document once per ancestor level; asked for nothing, the walk never builds one.
    std::string document = "<a>";
    for (int i = 0; i < 200'000; ++i) document += "<b>xyz</b>";
    document += "</a>";
    FakeFileService files;
    Recorder recorder;
    recorder.askForText = false;
    CXmlForwardingReader reader(files, Parser(), recorder);
    ASSERT_TRUE(reader.LoadBytes(document));
    EXPECT_EQ(recorder.lines.size(), 400'002u);
}

TEST(XmlPathReader, LoadReadsTheFileThroughTheFileService) {
    FakeFileService files;
    files.AddFile("C:\\d", "ok.xml", std::string("\xFF\xFE<\0a\0/\0>\0", 10));
    files.AddFile("C:\\d", "fifo.xml", "", {}, DirEntry::Type::Other);
    Recorder recorder;
    {
        CXmlForwardingReader reader(files, Parser(), recorder);
        EXPECT_TRUE(reader.Load("C:\\d\\ok.xml"));
    }
    EXPECT_EQ(recorder.lines, (Lines{"+a||", "-a"}));

    struct Case {
        const char* path;
        const char* why;
    };
    const Case failures[] = {
        {"", "an empty path"},
        {"C:\\d\\missing.xml", "a file that does not exist"},
        {"C:\\d\\fifo.xml", "something that is not a regular file"},
    };
    for (const Case& c : failures) {
        SCOPED_TRACE(c.why);
        Recorder nothing;
        CXmlForwardingReader reader(files, Parser(), nothing);
        std::string why;
        EXPECT_FALSE(reader.Load(c.path, &why));
        EXPECT_FALSE(why.empty());
        EXPECT_TRUE(nothing.lines.empty());
    }
}

TEST(XmlPathReader, APlainReaderIgnoresWhatItReads) {
    FakeFileService files;
    CXmlPathReader reader(files, Parser());
    EXPECT_TRUE(reader.LoadBytes("<a><b/></a>"));
}

TEST(XmlPathReader, ReadsTheRealAssessmentFile) {
    FakeFileService files;
    Recorder recorder;
    recorder.askForText = false;
    CXmlForwardingReader reader(files, Parser(), recorder);
    std::string why;
    // Read through the fake only for its path handling: the bytes are the real file's.
    const std::string path =
        std::string(TALLYHIVE_SAMPLES_DIR) + "/win11-ptBR-acer-aspire-a515-45.Formal.Assessment.WinSAT.xml";
    std::FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr) << path;
    std::string bytes;
    char buffer[65536];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) bytes.append(buffer, n);
    std::fclose(f);
    ASSERT_TRUE(reader.LoadBytes(bytes, &why)) << why;
    ASSERT_FALSE(recorder.lines.empty());
    EXPECT_EQ(recorder.lines.front().substr(0, 8), "+WinSAT|");
    EXPECT_EQ(recorder.lines.back(), "-WinSAT");
    bool systemScore = false;
    for (const std::string& line : recorder.lines)
        systemScore = systemScore || line.rfind("+WinSAT.WinSPR.SystemScore|", 0) == 0;
    EXPECT_TRUE(systemScore);
}

}  // namespace
}  // namespace tallyhive
