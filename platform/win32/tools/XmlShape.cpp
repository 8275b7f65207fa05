// Prints the tree the platform's XML parser gives for each file named on the command line, after
// the core's decoding, one line a file: "<name k=v>" for elements, "[text]" for texts, "/" where a
// subtree ends, or "refused" when the document is not accepted. Built once with each platform's parser, so
// the two readers can be compared on the same files.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "assessment/XmlReader.h"
#include "assessment/XmlTree.h"
#include "platform/Platform.h"

namespace {

using tallyhive::XmlNode;
using tallyhive::XmlTree;

// Line ends, tabs and backslashes written out, so each document's tree takes one line.
std::string Escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\\':
                out += "\\\\";
                break;
            default:
                out += c;
        }
    }
    return out;
}

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
            out += "[" + Escaped(node.value) + "]";
            continue;
        }
        out += "<" + node.value;
        // Attributes have no order in XML, and parsers differ in where they put namespace
        // declarations: compared by name.
        auto attributes = node.attributes;
        std::sort(attributes.begin(), attributes.end());
        for (const auto& [k, v] : attributes) out += " " + k + "=" + Escaped(v);
        out += ">";
        ends.push_back(node.end);
    }
    out.append(ends.size(), '/');
    return out;
}

bool ReadFile(const char* path, std::string& bytes) {
    std::FILE* file = std::fopen(path, "rb");
    if (!file) return false;
    char buffer[65536];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) bytes.append(buffer, n);
    const bool ok = std::ferror(file) == 0;
    std::fclose(file);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        std::string bytes, utf8;
        if (!ReadFile(argv[i], bytes)) {
            std::fprintf(stderr, "xml-shape: cannot read %s\n", argv[i]);
            status = 2;
            continue;
        }
        XmlTree tree;
        const bool accepted =
            tallyhive::DecodeXmlDocument(bytes, utf8) && tallyhive::MakeXmlParser()->Parse(utf8, tree);
        const std::string line = accepted ? Shape(tree) : std::string("refused");
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
    }
    return status;
}
