#include "tools/report/Report.h"

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "assessment/Loading.h"
#include "assessment/SystemFacts.h"
#include "assessment/XmlReader.h"
#include "presentation/Formatting.h"
#include "share/PassCode.h"
#include "share/ShareForm.h"

namespace tallyhive::report {

namespace {

using Json = nlohmann::ordered_json;

Json ObjectOf(const Examined& e) {
    const CAssessmentResult& r = e.record;
    Json record = {
        {"programVersion", r.programVersion},
        {"winEIVersion", r.winEIVersion},
        {"osProductName", r.osProductName},
        {"machineManufacturer", r.machineManufacturer},
        {"machineProductName", r.machineProductName},
        {"boardManufacturer", r.boardManufacturer},
        {"boardProduct", r.boardProduct},
        {"machineVersion", r.machineVersion},
        {"systemScore", r.systemScore},
        {"memoryScore", r.memoryScore},
        {"cpuScore", r.cpuScore},
        {"graphicsScore", r.graphicsScore},
        {"gamingScore", r.gamingScore},
        {"diskScore", r.diskScore},
        {"processorNames", r.processorNames},
        {"adapterDescriptions", r.adapterDescriptions},
        {"dedicatedVideoMemories", r.dedicatedVideoMemories},
        {"dimmManufacturers", r.dimmManufacturers},
        {"dimmPartNumbers", r.dimmPartNumbers},
        {"totalPhysicalBytes", r.totalPhysicalBytes},
        {"diskVendor", r.diskVendor},
        {"diskModel", r.diskModel},
        {"directXVersion", r.directXVersion},
        {"execDateText", r.execDateText},
        {"execTime", r.execTime},
        {"execDateTime", r.GetExecDateTime()},
    };
    Json texts = {
        {"machine_information", FormatMachine(r)}, {"cpu_information", FormatProcessors(r)},
        {"memory_information", FormatMemory(r)},   {"gpu_information", FormatAdapters(r)},
        {"game_information", FormatGaming(r)},     {"disk_information", FormatDisk(r)},
    };
    return Json{
        {"path", e.path},
        {"consistent", e.consistent},
        {"why", e.consistent ? std::string() : e.why},
        {"windowsVersion", std::string(WindowsVersionName(WindowsVersionOf(r)))},
        {"record", std::move(record)},
        {"texts", std::move(texts)},
    };
}

// A path or a file's text can hold bytes that are not UTF-8 (a file name on Linux, for one): they
// are replaced rather than ending the report.
std::string Dump(const Json& json) {
    return json.dump(2, ' ', false, Json::error_handler_t::replace);
}

std::string LocalTimeText(std::int64_t utcSeconds, const TimeService& time) {
    LocalDateTime t;
    if (utcSeconds == 0 || !time.ToLocal(utcSeconds, t)) return "(unknown)";
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d (local time)", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return text;
}

std::string TextOf(const Examined& e, const TimeService& time) {
    const CAssessmentResult& r = e.record;
    std::string out;
    auto line = [&out](std::string_view label, std::string_view value) {
        out += label;
        out += Printable(value);
        out += '\n';
    };
    line("Assessment:   ", e.path);
    line("Consistent:   ", e.consistent ? "yes" : "no: " + e.why);
    const std::string_view version = WindowsVersionName(WindowsVersionOf(r));
    line("OS:           ", (r.osProductName.empty() ? std::string("(none)") : r.osProductName) +
                               (version.empty() ? std::string(" (not Windows Vista, 7 or 8)")
                                                : " (Windows " + std::string(version) + ")"));
    line("Executed:     ", LocalTimeText(r.GetExecDateTime(), time));
    line("Tool version: ", r.programVersion + (r.winEIVersion.empty() ? "" : ", " + r.winEIVersion));
    out += '\n';
    struct Row {
        const char* label;
        const std::string& score;
        std::string description;
    };
    const Row rows[] = {
        {"System           ", r.systemScore, FormatMachine(r)},
        {"Processor        ", r.cpuScore, FormatProcessors(r)},
        {"Memory           ", r.memoryScore, FormatMemory(r)},
        {"Graphics         ", r.graphicsScore, FormatAdapters(r)},
        {"Gaming graphics  ", r.gamingScore, FormatGaming(r)},
        {"Primary disk     ", r.diskScore, FormatDisk(r)},
    };
    for (const Row& row : rows) {
        std::string score = Printable(row.score.empty() ? "-" : row.score);
        if (score.size() < 6) score.resize(6, ' ');
        out += row.label;
        out += score;
        out += ' ';
        out += Printable(row.description);
        out += '\n';
    }
    return out;
}

// The folder to search, and a hint when it is the default one the user may not have meant.
std::string FolderOf(const ReportOptions& options, const AssessmentServices& services) {
    if (options.source == ReportOptions::Source::Datastore) return options.where;
    return services.files.DatastoreFolder();
}

}  // namespace

std::string Printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        // C0 controls and DEL, and the C1 controls (U+0080-U+009F, "\xC2\x80"-"\xC2\x9F"): a file
        // must not be able to move the cursor or recolour the user's terminal.
        if (c < 0x20 || c == 0x7F) {
            out += '?';
        } else if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            out += '?';
            ++i;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

Examined Examine(const std::string& path, const AssessmentServices& services) {
    Examined e(services.time);
    e.path = path;
    std::string why;
    if (LoadResultFile(path, e.record, services, &why)) {
        e.readable = e.consistent = true;
        return e;
    }
    // The load clears a refused record; read it again to show what the file says. The reason of
    // the check is taken afresh, without the path the load's message repeats.
    {
        CXmlForwardingReader reader(services.files, services.xml, e.record);
        if (!reader.Load(path)) {
            e.record.Clear();
            e.why = why;
            return e;
        }
    }
    e.readable = true;
    ProbeDirectXVersion(e.record, services.modules);
    std::string checkWhy;
    // Should the file have changed between the two reads and pass now, the first answer stands.
    const bool passesNow = IsConsistentWithFile(e.record, path, services.files, services.time, &checkWhy);
    e.why = passesNow || checkWhy.empty() ? why : checkWhy;
    return e;
}

std::string JsonOf(const Examined& examined) {
    return Dump(ObjectOf(examined));
}

int RunReport(const ReportOptions& options, const AssessmentServices& services, std::string& out,
              std::string& err) {
    std::vector<std::string> paths;
    if (options.source == ReportOptions::Source::File) {
        paths.push_back(options.where);
    } else {
        const std::string folder = FolderOf(options, services);
        std::vector<DirEntry> entries;
        std::string why;
        if (folder.empty() || !ListFormalCandidates(services.files, folder, entries, &why)) {
            err += "tallyhive-report: no datastore folder: " +
                   Printable(why.empty() ? std::string("the Windows directory is unknown") : why) + "\n";
            if (options.source == ReportOptions::Source::Default)
                err += "tallyhive-report: give --windows-dir, --datastore or --file, or set WINDIR\n";
            return kUnusable;
        }
        const char separator = services.files.PathSeparator();
        if (options.all) {
            paths = ListFormalFiles(folder, separator, entries, services.time);
        } else if (std::string newest = SelectNewestFormal(folder, separator, entries, services.time);
                   !newest.empty()) {
            paths.push_back(std::move(newest));
        }
        if (paths.empty()) {
            err += "tallyhive-report: no formal assessment in " + Printable(folder) + "\n";
            if (options.all && options.json) out += "[]\n";
            return kNotShown;
        }
    }

    if (options.all) {
        // Every file is listed, also one that cannot be read: the listing is about the folder.
        Json array = Json::array();
        bool anyShown = false;
        for (std::size_t i = 0; i < paths.size(); ++i) {
            const Examined e = Examine(paths[i], services);
            anyShown = anyShown || e.consistent;
            if (options.json) {
                array.push_back(ObjectOf(e));
            } else {
                if (i > 0) out += "\n";
                out += TextOf(e, services.time);
            }
        }
        if (options.json) out += Dump(array) + "\n";
        if (!anyShown)
            err += "tallyhive-report: none of the formal assessments passed the consistency check\n";
        return anyShown ? kShown : kNotShown;
    }

    const Examined e = Examine(paths.front(), services);
    if (!e.readable) {
        err += "tallyhive-report: " + Printable(e.why) + "\n";
        return kUnusable;
    }
    if (options.shareForm) {
        const std::string passCode =
            MakePassCode(options.serverDateTime.value_or(std::string()), services.time);
        out += BuildShareForm(e.record, passCode) + "\n";
    } else if (options.json) {
        out += JsonOf(e) + "\n";
    } else {
        out += TextOf(e, services.time);
    }
    if (!e.consistent) {
        err += "tallyhive-report: " + Printable(e.path) + " was refused: " + Printable(e.why) + "\n";
        return kNotShown;
    }
    return kShown;
}

}  // namespace tallyhive::report
