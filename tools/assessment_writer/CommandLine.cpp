#include "tools/assessment_writer/CommandLine.h"

#include <set>
#include <string_view>

namespace tallyhive::writer {

namespace {

// A byte count: digits only, so that a typing slip does not end up in a file as a size.
bool IsByteCount(const std::string& text) {
    if (text.empty() || text.size() > 20) return false;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

}  // namespace

std::string Usage() {
    return "usage: tallyhive-make-assessment [--windows-dir DIR | --datastore DIR | --output FILE]\n"
           "         [--time 'YYYY-MM-DD HH:MM:SS[.mmm]' | --time @SECONDS[.mmm]]   (default: now)\n"
           "         [--system X] [--memory X] [--cpu X] [--graphics X] [--gaming X] [--disk X]\n"
           "         [--product TEXT] [--program-version TEXT] [--winei-version TEXT]\n"
           "         [--processor TEXT]... [--adapter TEXT [--video-memory BYTES]]...\n"
           "         [--memory-bytes BYTES] [--dimm MAKER:PART]...\n"
           "         [--disk-vendor TEXT] [--disk-model TEXT]\n"
           "         [--machine-maker TEXT] [--machine-model TEXT] [--machine-version TEXT]\n"
           "         [--board-maker TEXT] [--board-product TEXT]\n"
           "         [--initial | --recent] [--component KIND] [--size BYTES]\n"
           "Writes an assessment file shaped like the Windows assessment tool's, with file times that\n"
           "agree with its execution time, and prints its path. --windows-dir creates\n"
           "DIR/Performance/WinSAT/DataStore; without a destination the WINDIR environment value is used.\n"
           "--component writes a component file (e.g. Cpu.Assessment) instead; --size pads the file to\n"
           "about BYTES with metric samples.\n";
}

std::optional<Request> ParseCommandLine(const std::vector<std::string>& args, std::int64_t nowUtcMs,
                                        const char* windirEnv, std::string& error) {
    Request request;
    AssessmentContent& c = request.content;
    c.executedUtcMs = nowUtcMs;
    bool haveTarget = false;
    bool haveRun = false;
    bool processorsGiven = false;
    bool adaptersGiven = false;
    bool modulesGiven = false;
    std::string sizeText;
    std::set<std::string> seen;

    auto fail = [&](std::string message) -> std::optional<Request> {
        error = std::move(message);
        return std::nullopt;
    };

    for (std::size_t i = 0; i < args.size(); ++i) {
        if (!args[i].starts_with("-")) return fail("unexpected argument \"" + args[i] + "\"");
        std::string name = args[i];
        std::optional<std::string> inlineValue;
        if (name.starts_with("--")) {
            if (const std::size_t eq = name.find('='); eq != std::string::npos) {
                inlineValue = name.substr(eq + 1);
                name.resize(eq);
            }
        }
        auto flag = [&]() { return !inlineValue.has_value(); };
        auto value = [&](std::string& out) {
            if (inlineValue) {
                out = *inlineValue;
                return true;
            }
            if (i + 1 >= args.size()) return false;
            out = args[++i];
            return true;
        };
        // Options that take one value may be given once; lists may repeat.
        static const std::set<std::string, std::less<>> kRepeatable = {"--processor", "--adapter",
                                                                       "--video-memory", "--dimm"};
        if (!kRepeatable.contains(name) && !seen.insert(name).second)
            return fail(name + " is given more than once");

        std::string v;
        if (name == "--help" || name == "-h") {
            if (!flag()) return fail(name + " takes no value");
            request.help = true;
        } else if (name == "--initial" || name == "--recent") {
            if (!flag()) return fail(name + " takes no value");
            if (haveRun) return fail("--initial and --recent exclude each other");
            haveRun = true;
            c.run = name == "--initial" ? Run::Initial : Run::Recent;
        } else if (name == "--windows-dir" || name == "--datastore" || name == "--output") {
            if (!value(v)) return fail(name + " needs a value");
            if (v.empty()) return fail(name + " needs a non-empty value");
            if (haveTarget) return fail("give only one of --windows-dir, --datastore and --output");
            haveTarget = true;
            request.target = name == "--windows-dir" ? Request::Target::WindowsDir
                             : name == "--datastore" ? Request::Target::Datastore
                                                     : Request::Target::File;
            request.where = v;
        } else if (name == "--time") {
            if (!value(v)) return fail(name + " needs a value");
            if (!ParseMoment(v, c.executedUtcMs, &error)) return std::nullopt;
        } else if (name == "--processor") {
            if (!value(v)) return fail(name + " needs a value");
            if (!processorsGiven) c.processorNames.clear();
            processorsGiven = true;
            c.processorNames.push_back(v);
        } else if (name == "--adapter") {
            if (!value(v)) return fail(name + " needs a value");
            if (!adaptersGiven) c.adapters.clear();
            adaptersGiven = true;
            c.adapters.push_back(Adapter{v, "0"});
        } else if (name == "--video-memory") {
            if (!value(v)) return fail(name + " needs a value");
            if (!IsByteCount(v)) return fail(name + " needs a byte count (digits), not \"" + v + "\"");
            if (!adaptersGiven) return fail("--video-memory needs an --adapter before it");
            c.adapters.back().dedicatedVideoMemory = v;
        } else if (name == "--dimm") {
            if (!value(v)) return fail(name + " needs a value");
            const std::size_t colon = v.find(':');
            if (colon == std::string::npos) return fail("--dimm needs MAKER:PART, not \"" + v + "\"");
            if (!modulesGiven) c.modules.clear();
            modulesGiven = true;
            c.modules.push_back(MemoryModule{v.substr(0, colon), v.substr(colon + 1)});
        } else if (name == "--memory-bytes") {
            if (!value(v)) return fail(name + " needs a value");
            if (!IsByteCount(v)) return fail(name + " needs a byte count (digits), not \"" + v + "\"");
            c.totalPhysicalBytes = v;
        } else if (name == "--size") {
            if (!value(v)) return fail(name + " needs a value");
            if (!IsByteCount(v) || v.size() > 10) return fail(name + " needs a byte count below 10 GB");
            sizeText = v;
        } else {
            // Plain text options.
            static const std::pair<std::string_view, std::string AssessmentContent::*> kTexts[] = {
                {"--system", &AssessmentContent::systemScore},
                {"--memory", &AssessmentContent::memoryScore},
                {"--cpu", &AssessmentContent::cpuScore},
                {"--graphics", &AssessmentContent::graphicsScore},
                {"--gaming", &AssessmentContent::gamingScore},
                {"--disk", &AssessmentContent::diskScore},
                {"--product", &AssessmentContent::productName},
                {"--program-version", &AssessmentContent::programVersion},
                {"--winei-version", &AssessmentContent::winEIVersion},
                {"--disk-vendor", &AssessmentContent::diskVendor},
                {"--disk-model", &AssessmentContent::diskModel},
                {"--machine-maker", &AssessmentContent::machineManufacturer},
                {"--machine-model", &AssessmentContent::machineProductName},
                {"--machine-version", &AssessmentContent::machineVersion},
                {"--board-maker", &AssessmentContent::boardManufacturer},
                {"--board-product", &AssessmentContent::boardProduct},
                {"--component", &AssessmentContent::kind},
            };
            bool known = false;
            for (const auto& [option, field] : kTexts) {
                if (name != option) continue;
                if (!value(v)) return fail(name + " needs a value");
                c.*field = v;
                known = true;
                break;
            }
            if (!known) return fail("unknown option " + name);
        }
    }
    if (request.help) return request;

    if (seen.contains("--component")) {
        // The kind becomes part of the file name: keep it to a plain word with dots.
        if (c.kind.empty() || c.kind == kFormalKind ||
            c.kind.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789.") !=
                std::string::npos)
            return fail("--component needs a kind such as Cpu.Assessment (letters, digits and dots)");
    }
    if (!sizeText.empty()) c.paddedBytes = std::stoull(sizeText);
    if (!haveTarget) {
        if (!windirEnv || !*windirEnv)
            return fail("give --windows-dir, --datastore or --output (WINDIR is not set)");
        request.target = Request::Target::WindowsDir;
        request.where = windirEnv;
    }
    return request;
}

}  // namespace tallyhive::writer
