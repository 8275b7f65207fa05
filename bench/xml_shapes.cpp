// Reading time of the assessment XML reader on unusually shaped documents: each shape is generated at
// 1, 4 and 16 MiB and read the way the program reads a file (decoding, strict scan, parser, tree,
// walk into the record). Prints seconds per MiB for each shape and size, and the ratio of the 16 MiB
// figure to the 1 MiB one: work linear in the input keeps that ratio near 1, whatever the shape. A
// document up to the size cap should be read or refused in well under a second, the first time too.
//
// usage: xml_shapes [--up-to=MIB] [SHAPE...]   (all shapes when none is named; sizes up to 16 MiB)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "assessment/AssessmentResult.h"
#include "assessment/XmlReader.h"
#include "platform/Platform.h"

namespace {

using namespace tallyhive;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kMiB = 1024 * 1024;

// Appends `piece(i)` for i = 0, 1, ... while the document stays within `budget` bytes.
void Fill(std::string& out, std::size_t budget, const std::function<std::string(std::size_t)>& piece) {
    for (std::size_t i = 0;; ++i) {
        std::string next = piece(i);
        if (out.size() + next.size() > budget) return;
        out += next;
    }
}

std::string Name(std::size_t i) {
    return "n" + std::to_string(i);
}

struct Shape {
    const char* name;
    // Builds a document of at most `size` bytes (and close to it).
    std::function<std::string(std::size_t size)> make;
};

std::string Wrap(std::string_view open, std::string body, std::string_view close) {
    return std::string(open) + body + std::string(close);
}

const std::vector<Shape>& Shapes() {
    static const std::vector<Shape> shapes = {
        {"attributes",  // one element carrying as many attributes as fit
         [](std::size_t size) {
             std::string out = "<WinSAT";
             Fill(out, size - 2, [](std::size_t i) { return " " + Name(i) + "=\"1\""; });
             return out + "/>";
         }},
        {"attributes-repeated-last",  // the same, refused by its last attribute
         [](std::size_t size) {
             std::string out = "<WinSAT";
             Fill(out, size - 16, [](std::size_t i) { return " " + Name(i) + "=\"1\""; });
             return out + " n0=\"1\"/>";
         }},
        {"siblings",
         [](std::size_t size) {
             std::string out = "<WinSAT>";
             Fill(out, size - 9, [](std::size_t) { return std::string("<a/>"); });
             return out + "</WinSAT>";
         }},
        {"long-name",
         [](std::size_t size) {
             const std::string name((size - 20) / 2, 'n');
             return Wrap("<WinSAT><", name + "/>", "</WinSAT>");
         }},
        {"long-value",
         [](std::size_t size) { return Wrap("<WinSAT a=\"", std::string(size - 20, 'v'), "\"/>"); }},
        {"deep-nesting",  // runs of elements nested to the depth limit, one after another
         [](std::size_t size) {
             std::string run;
             for (int d = 0; d < 255; ++d) run += "<a>";
             run += "t";
             for (int d = 0; d < 255; ++d) run += "</a>";
             std::string out = "<WinSAT>";
             Fill(out, size - 9, [&](std::size_t) { return run; });
             return out + "</WinSAT>";
         }},
        {"deep-long-names",  // long names nested to the limit, then many small elements inside
         [](std::size_t size) {
             const std::size_t nameLength = size / 4 / 255 / 2;
             const std::string name(nameLength, 'n');
             std::string open, close;
             for (int d = 0; d < 254; ++d) {
                 open += "<" + name + ">";
                 close += "</" + name + ">";
             }
             std::string out = "<WinSAT>" + open;
             Fill(out, size - close.size() - 9, [](std::size_t) { return std::string("<a/>"); });
             return out + close + "</WinSAT>";
         }},
        {"deep-dated",  // a dated element with its text nested to the limit below it
         [](std::size_t size) {
             std::string open =
                 "<WinSAT><SystemEnvironment><ExecDateTOD Friendly=\"Monday 1/2/2023 3:04:05 AM\">";
             std::string close = "</ExecDateTOD></SystemEnvironment></WinSAT>";
             for (int d = 0; d < 250; ++d) {
                 open += "<ExecDateTOD>";
                 close = "</ExecDateTOD>" + close;
             }
             return open + std::string(size - open.size() - close.size(), 't') + close;
         }},
        {"namespaces",  // many prefixes declared, each used once
         [](std::size_t size) {
             const std::size_t count = size / 48;
             std::string out = "<WinSAT";
             for (std::size_t i = 0; i < count; ++i) out += " xmlns:p" + std::to_string(i) + "=\"urn:x\"";
             out += ">";
             Fill(out, size - 9, [&](std::size_t i) { return "<p" + std::to_string(i % count) + ":a/>"; });
             return out + "</WinSAT>";
         }},
        {"references",
         [](std::size_t size) {
             std::string out = "<WinSAT>";
             Fill(out, size - 9, [](std::size_t) { return std::string("&#x41;&amp;&#0066;&lt;&quot;"); });
             return out + "</WinSAT>";
         }},
        {"references-in-values",
         [](std::size_t size) {
             std::string out = "<WinSAT a=\"";
             Fill(out, size - 3, [](std::size_t) { return std::string("&#x41;&amp;&#0066;&lt;&quot;"); });
             return out + "\"/>";
         }},
        {"comments",
         [](std::size_t size) {
             std::string out = "<WinSAT>";
             Fill(out, size - 9, [](std::size_t) { return std::string("<!-- c -->"); });
             return out + "</WinSAT>";
         }},
        {"cdata",
         [](std::size_t size) {
             std::string out = "<WinSAT>";
             Fill(out, size - 9, [](std::size_t) { return std::string("<![CDATA[x]]>"); });
             return out + "</WinSAT>";
         }},
        {"processing-instructions",
         [](std::size_t size) {
             std::string out = "<WinSAT>";
             Fill(out, size - 9, [](std::size_t) { return std::string("<?p x?>"); });
             return out + "</WinSAT>";
         }},
        {"prolog-comments",  // comments before the document element
         [](std::size_t size) {
             std::string out;
             Fill(out, size - 10, [](std::size_t) { return std::string("<!-- c -->"); });
             return out + "<WinSAT/>";
         }},
        {"long-text-many-runs",  // text broken by many empty elements, all of one element's text
         [](std::size_t size) {
             std::string out = "<WinSAT><WinSPR><CpuScore>";
             Fill(out, size - 40, [](std::size_t) { return std::string("7.5<b/>"); });
             return out + "</CpuScore></WinSPR></WinSAT>";
         }},
    };
    return shapes;
}

struct Timing {
    double secondsPerMiB = 0;
    double longest = 0;  // one read, in seconds
    bool read = false;
    std::string why;
};

Timing Measure(const std::string& document, FileService& files, XmlParser& xml, const TimeService& time) {
    Timing timing;
    long runs = -1;  // the first read warms the allocator: it counts for the longest read only
    double total = 0;
    while (runs < 1 || (total < 0.5 && runs < 50)) {
        CAssessmentResult record(time);
        CXmlForwardingReader reader(files, xml, record);
        std::string why;
        const auto start = Clock::now();
        timing.read = reader.LoadBytes(document, &why);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        timing.why = why;
        timing.longest = std::max(timing.longest, seconds);
        if (runs >= 0) total += seconds;
        ++runs;
    }
    timing.secondsPerMiB = total / static_cast<double>(runs) / (static_cast<double>(document.size()) / kMiB);
    return timing;
}

}  // namespace

int main(int argc, char** argv) {
    const std::unique_ptr<FileService> files = MakeFileService();
    const std::unique_ptr<TimeService> time = MakeTimeService();
    const std::unique_ptr<XmlParser> xml = MakeXmlParser();
    std::vector<std::string_view> wanted(argv + 1, argv + argc);
    std::size_t upTo = kMaxXmlFileBytes;
    constexpr std::string_view kUpTo = "--up-to=";
    if (!wanted.empty() && wanted.front().starts_with(kUpTo)) {
        upTo = std::stoul(std::string(wanted.front().substr(kUpTo.size()))) * kMiB;
        wanted.erase(wanted.begin());
    }
    constexpr std::size_t kSizes[] = {1 * kMiB, 4 * kMiB, kMaxXmlFileBytes};
    static_assert(kMaxXmlFileBytes == 16 * kMiB);

    std::printf("%-26s %12s %12s %12s %8s %9s  %s\n", "shape", "1 MiB s/MiB", "4 MiB s/MiB", "16 MiB s/MiB",
                "16/1", "max read", "result");
    double worst = 0;
    for (const Shape& shape : Shapes()) {
        if (!wanted.empty() && std::find(wanted.begin(), wanted.end(), shape.name) == wanted.end()) continue;
        double perMiB[std::size(kSizes)] = {};
        double longest = 0;
        Timing last;
        for (std::size_t k = 0; k < std::size(kSizes) && kSizes[k] <= upTo; ++k) {
            const std::string document = shape.make(kSizes[k]);
            last = Measure(document, *files, *xml, *time);
            perMiB[k] = last.secondsPerMiB;
            longest = std::max(longest, last.longest);
        }
        worst = std::max(worst, longest);
        std::string result = last.read ? "read" : "refused: " + last.why.substr(0, 60);
        std::printf("%-26s %12.5f %12.5f %12.5f %8.2f %8.3fs  %s\n", shape.name, perMiB[0], perMiB[1],
                    perMiB[2], perMiB[2] / perMiB[0], longest, result.c_str());
        std::fflush(stdout);
    }
    std::printf("longest single read: %.3f s (target < 1 s)\n", worst);
    return worst < 1.0 ? 0 : 1;
}
