// The text of an assessment file: names, the execution time in the tool's two forms, the document
// and its UTF-16 encoding. Nothing here touches the file system or the clock.
#include <cstdio>
#include <string>

#include "base/Calendar.h"
#include "base/Text.h"
#include "tools/assessment_writer/AssessmentWriter.h"

namespace tallyhive::writer {

namespace {

constexpr const char* kDayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                     "Thursday", "Friday", "Saturday"};
constexpr const char* kMonthNames[] = {"January", "February", "March",     "April",   "May",      "June",
                                       "July",    "August",   "September", "October", "November", "December"};

// Day 1 (0001-01-01) lies 719162 days before 1970-01-01.
constexpr std::int64_t kDayNumberOf1970 = 719163;

bool Fail(std::string* why, std::string reason) {
    if (why) *why = std::move(reason);
    return false;
}

// XML 1.0 has no way to write most C0 controls, not even as character references, nor U+FFFE and
// U+FFFF: such a text cannot be put into a file that readers accept.
bool CheckXmlChars(std::string_view text, std::string_view what, std::string* why) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') {
            char code[8];
            std::snprintf(code, sizeof code, "%02X", c);
            return Fail(why, std::string(what) + " contains the control character U+00" + code +
                                 ", which XML cannot carry");
        }
        if (c == 0xEF && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0xBF &&
            (static_cast<unsigned char>(text[i + 2]) == 0xBE ||
             static_cast<unsigned char>(text[i + 2]) == 0xBF))
            return Fail(why, std::string(what) + " contains U+FFFE or U+FFFF, which XML cannot carry");
    }
    return true;
}

void AppendEscaped(std::string& out, std::string_view text, bool attribute) {
    for (const char c : text) {
        if (c == '\r') {
            out += "&#13;";  // a parser turns a literal CR into LF
        } else if (attribute && (c == '\n' || c == '\t')) {
            // Attribute-value normalisation would turn these into spaces.
            out += c == '\n' ? "&#10;" : "&#9;";
        } else if (c == '\'' || (c == '"' && !attribute)) {
            out += c;  // only the attribute's own delimiter needs a reference
        } else if (const std::string_view reference = MarkupReference(c); !reference.empty()) {
            out += reference;  // ">" too, which keeps "]]>" out of character data
        } else {
            out += c;
        }
    }
}

class DocumentBuilder {
public:
    explicit DocumentBuilder(std::string& out) : m_out(out) {}

    void Open(std::string_view name, std::string_view attributes = {}) {
        m_out += '<';
        m_out += name;
        m_out += attributes;
        m_out += '>';
    }
    void Close(std::string_view name) {
        m_out += "</";
        m_out += name;
        m_out += '>';
    }
    void Empty(std::string_view name) {
        m_out += '<';
        m_out += name;
        m_out += "/>";
    }

    // An element with escaped character data, as the tool writes numbers and most names.
    bool Text(std::string_view name, std::string_view text) {
        if (!CheckXmlChars(text, name, m_why)) return m_ok = false;
        Open(name);
        AppendEscaped(m_out, text, false);
        Close(name);
        return true;
    }

    // An element whose text is a CDATA section, as the tool writes hardware texts. A CR cannot be
    // kept inside CDATA (it would read back as LF), so such a text is written escaped instead.
    bool Cdata(std::string_view name, std::string_view text) {
        if (text.find('\r') != std::string_view::npos) return Text(name, text);
        if (!CheckXmlChars(text, name, m_why)) return m_ok = false;
        Open(name);
        m_out += "<![CDATA[";
        for (std::size_t start = 0;;) {
            // "]]>" would end the section: end it after "]]" and open a new one for ">".
            const std::size_t end = text.find("]]>", start);
            if (end == std::string_view::npos) {
                m_out += text.substr(start);
                break;
            }
            m_out += text.substr(start, end + 2 - start);
            m_out += "]]><![CDATA[";
            start = end + 2;
        }
        m_out += "]]>";
        Close(name);
        return true;
    }

    void SetWhy(std::string* why) { m_why = why; }
    bool Ok() const { return m_ok; }

private:
    std::string& m_out;
    std::string* m_why = nullptr;
    bool m_ok = true;
};

struct OsNumbers {
    const char* major;
    const char* minor;
    const char* build;
};

// The version numbers the product name implies; only decoration, nothing reads them back.
OsNumbers OsNumbersFor(std::string_view productName) {
    if (productName.starts_with("Windows Vista")) return {"6", "0", "6002"};
    if (productName.starts_with("Windows 7")) return {"6", "1", "7601"};
    if (productName.starts_with("Windows 8.1")) return {"6", "3", "9600"};
    if (productName.starts_with("Windows 8")) return {"6", "2", "9200"};
    return {"10", "0", "19045"};
}

void AppendPadding(std::string& xml, std::size_t characters) {
    // Metric samples like the tool's own, then spaces for the last few characters.
    std::size_t index = 0;
    for (;;) {
        char sample[96];
        const int length =
            std::snprintf(sample, sizeof sample, "<Sample units=\"MB/s\" index=\"%zu\">%zu.%05zu</Sample>",
                          index, 1000 + index * 37 % 9000, index * 7919 % 100000);
        if (length <= 0 || static_cast<std::size_t>(length) > characters) break;
        xml.append(sample, static_cast<std::size_t>(length));
        characters -= static_cast<std::size_t>(length);
        ++index;
    }
    xml.append(characters, ' ');
}

// UTF-16 code units of a valid UTF-8 text: one per character, two above U+FFFF.
std::size_t Utf16Units(std::string_view utf8) {
    std::size_t units = 0;
    for (const char c : utf8) {
        const auto b = static_cast<unsigned char>(c);
        if ((b & 0xC0) != 0x80) units += b >= 0xF0 ? 2 : 1;
    }
    return units;
}

}  // namespace

std::int64_t DayNumber(int year, int month, int day) {
    return DaysFromCivil(year, month, day) + kDayNumberOf1970;
}

std::string FriendlyText(const LocalMoment& m) {
    // Day 1 (0001-01-01) was a Monday, so the day number modulo 7 counts from Sunday.
    const std::int64_t dayNumber = DayNumber(m.year, m.month, m.day);
    const auto weekday = static_cast<std::size_t>(((dayNumber % 7) + 7) % 7);
    const int hour12 = m.hour % 12 == 0 ? 12 : m.hour % 12;
    const char* month = m.month >= 1 && m.month <= 12 ? kMonthNames[m.month - 1] : "?";
    char text[96];
    std::snprintf(text, sizeof text, "%s %s %d, %d %2d:%02d:%02d%s", kDayNames[weekday], month, m.day, m.year,
                  hour12, m.minute, m.second, m.hour < 12 ? "am" : "pm");
    return text;
}

std::string ExecDateText(const LocalMoment& m) {
    const std::int64_t millisecondsOfDay =
        ((static_cast<std::int64_t>(m.hour) * 60 + m.minute) * 60 + m.second) * 1000 + m.millisecond;
    return std::to_string(DayNumber(m.year, m.month, m.day)) + ":" + std::to_string(millisecondsOfDay);
}

std::string FileNameFor(const LocalMoment& m, std::string_view kind, Run run) {
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d.%02d.%02d.%03d ", m.year, m.month, m.day, m.hour,
                  m.minute, m.second, m.millisecond);
    std::string name = stamp;
    name += kind;
    name += run == Run::Initial ? " (Initial).WinSAT.xml" : " (Recent).WinSAT.xml";
    return name;
}

bool RenderDocument(const AssessmentContent& c, const LocalMoment& executed, std::string& xml,
                    std::string* why) {
    const bool formal = c.kind == kFormalKind;
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-16\"?>";
    DocumentBuilder d(out);
    d.SetWhy(why);

    d.Open("WinSAT");
    d.Open("ProgramInfo");
    d.Text("Name", "WinSAT");
    d.Text("Version", c.programVersion);
    d.Text("WinEIVersion", c.winEIVersion);
    d.Text("Title", "Windows System Assessment Tool");
    d.Text("ModulePath", "C:\\Windows\\system32\\winsat.exe");
    d.Cdata("CmdLine", "C:\\Windows\\system32\\winsat.exe formal -restart clean");
    d.Cdata("Note", "");
    d.Close("ProgramInfo");

    d.Open("SystemEnvironment");
    out += "<ExecDateTOD Friendly=\"";
    AppendEscaped(out, FriendlyText(executed), true);
    out += "\">" + ExecDateText(executed) + "</ExecDateTOD>";
    d.Text("IsOfficial", "1");
    d.Empty("IsFormal");
    d.Text("RanOverTs", "0");
    d.Text("RanOnBatteries", "0");
    d.Close("SystemEnvironment");

    d.Open("WinSPR");
    if (formal) d.Text("SystemScore", c.systemScore);
    d.Text("MemoryScore", c.memoryScore);
    d.Text("CpuScore", c.cpuScore);
    d.Text("GraphicsScore", c.graphicsScore);
    d.Text("GamingScore", c.gamingScore);
    d.Text("DiskScore", c.diskScore);
    d.Close("WinSPR");

    const std::size_t metricsAt = out.size();  // padding goes here, where the tool has its metrics

    d.Open("SystemConfig");
    const OsNumbers os = OsNumbersFor(c.productName);
    d.Open("OSVersion");
    d.Text("Major", os.major);
    d.Text("Minor", os.minor);
    d.Text("Build", os.build);
    d.Text("ProductName", c.productName);
    d.Close("OSVersion");
    d.Open("System");
    d.Open("MotherBoard");
    d.Cdata("Manufacturer", c.boardManufacturer);
    d.Cdata("Product", c.boardProduct);
    d.Close("MotherBoard");
    d.Open("Machine");
    d.Cdata("Manufacturer", c.machineManufacturer);
    d.Cdata("ProductName", c.machineProductName);
    d.Cdata("Version", c.machineVersion);
    d.Close("Machine");
    d.Close("System");
    d.Open("Processor");
    for (std::size_t i = 0; i < c.processorNames.size(); ++i) {
        d.Open("Instance", " id=\"" + std::to_string(i) + "\"");
        d.Text("ProcessorName", c.processorNames[i]);
        d.Close("Instance");
    }
    d.Close("Processor");
    d.Open("Memory");
    d.Open("TotalPhysical");
    d.Text("Bytes", c.totalPhysicalBytes);
    d.Close("TotalPhysical");
    for (const MemoryModule& module : c.modules) {
        d.Open("DIMM");
        if (module.manufacturer) d.Cdata("Manufacturer", *module.manufacturer);
        if (module.partNumber) d.Cdata("PartNumber", *module.partNumber);
        d.Close("DIMM");
    }
    d.Close("Memory");
    for (const Adapter& adapter : c.adapters) {
        d.Open("Graphics");
        d.Cdata("AdapterDescription", adapter.description);
        d.Text("DedicatedVideoMemory", adapter.dedicatedVideoMemory);
        d.Close("Graphics");
    }
    d.Open("Disk");
    d.Open("SystemDisk", " id=\"\\\\.\\PhysicalDrive0\"");
    d.Cdata("Vendor", c.diskVendor);
    d.Cdata("Model", c.diskModel);
    d.Close("SystemDisk");
    d.Close("Disk");
    d.Close("SystemConfig");
    d.Close("WinSAT");
    if (!d.Ok()) return false;

    if (c.paddedBytes > 0) {
        // File bytes: the byte-order mark and two per UTF-16 unit; the padding adds ASCII only.
        const std::size_t bytesSoFar = 2 + 2 * Utf16Units(out);
        const std::size_t frame = std::string_view("<Metrics></Metrics>").size();
        if (c.paddedBytes > bytesSoFar + 2 * frame) {
            std::string metrics = "<Metrics>";
            AppendPadding(metrics, (c.paddedBytes - bytesSoFar) / 2 - frame);
            metrics += "</Metrics>";
            out.insert(metricsAt, metrics);
        }
    }
    xml = std::move(out);
    return true;
}

bool EncodeUtf16Le(std::string_view utf8, std::string& bytes, std::string* why) {
    std::string out;
    out.reserve(2 + utf8.size() * 2);
    out += '\xFF';
    out += '\xFE';
    auto put = [&out](std::uint32_t unit) {
        out += static_cast<char>(unit & 0xFF);
        out += static_cast<char>(unit >> 8);
    };
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        std::size_t length = 0;
        std::uint32_t cp = 0;
        std::uint32_t minimum = 0;
        if (lead < 0x80) {
            length = 1;
            cp = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2;
            cp = lead & 0x1Fu;
            minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            cp = lead & 0x0Fu;
            minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            cp = lead & 0x07u;
            minimum = 0x10000;
        } else {
            return Fail(why, "invalid UTF-8 at byte " + std::to_string(i));
        }
        if (i + length > utf8.size()) return Fail(why, "truncated UTF-8 at byte " + std::to_string(i));
        for (std::size_t k = 1; k < length; ++k) {
            const auto b = static_cast<unsigned char>(utf8[i + k]);
            if ((b & 0xC0) != 0x80) return Fail(why, "invalid UTF-8 at byte " + std::to_string(i + k));
            cp = (cp << 6) | (b & 0x3F);
        }
        if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return Fail(why, "invalid UTF-8 at byte " + std::to_string(i));
        if (cp >= 0x10000) {
            put(0xD800 + ((cp - 0x10000) >> 10));
            put(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            put(cp);
        }
        i += length;
    }
    bytes = std::move(out);
    return true;
}

}  // namespace tallyhive::writer
