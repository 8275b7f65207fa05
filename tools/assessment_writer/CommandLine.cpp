#include "tools/assessment_writer/CommandLine.h"

#include "tools/CliArguments.h"

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
           "       tallyhive-make-assessment --help | --version\n"
           "Writes an assessment file shaped like the Windows assessment tool's, with file times that\n"
           "agree with its execution time, and prints its path. --windows-dir creates\n"
           "DIR/Performance/WinSAT/DataStore; without a destination the WINDIR environment value is used.\n"
           "--component writes a component file (e.g. Cpu.Assessment) instead; --size pads the file to\n"
           "about BYTES with metric samples.\n";
}

std::optional<Request> ParseCommandLine(const std::vector<std::string>& args, std::int64_t nowUtcMs,
                                        const char* windirEnv, std::string& error) {
    CLI::App app{"Writes an assessment file.", "tallyhive-make-assessment"};
    tools::PrepareApp(app);
    CLI::Option* help = app.add_flag("-h,--help");
    CLI::Option* version = app.add_flag("--version");
    CLI::Option* initial = app.add_flag("--initial");
    CLI::Option* recent = app.add_flag("--recent");
    CLI::Option* windowsDir = app.add_option("--windows-dir");
    CLI::Option* datastore = app.add_option("--datastore");
    CLI::Option* output = app.add_option("--output");
    CLI::Option* time = app.add_option("--time");
    CLI::Option* processor = app.add_option("--processor");
    CLI::Option* adapter = app.add_option("--adapter");
    CLI::Option* videoMemory = app.add_option("--video-memory");
    CLI::Option* dimm = app.add_option("--dimm");
    CLI::Option* memoryBytes = app.add_option("--memory-bytes");
    CLI::Option* size = app.add_option("--size");
    // Plain text options, written into the file as given.
    static const std::pair<const char*, std::string AssessmentContent::*> kTexts[] = {
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
    std::vector<std::pair<CLI::Option*, std::string AssessmentContent::*>> texts;
    for (const auto& [name, field] : kTexts) texts.emplace_back(app.add_option(name), field);

    auto fail = [&](std::string message) -> std::optional<Request> {
        error = std::move(message);
        return std::nullopt;
    };
    // Options that take one value may be given once; lists may repeat.
    if (std::string problem =
            tools::ParseArguments(app, args, {"--processor", "--adapter", "--video-memory", "--dimm"});
        !problem.empty())
        return fail(problem);

    Request request;
    request.help = help->count() > 0;
    request.version = version->count() > 0;
    if (request.help || request.version) return request;

    AssessmentContent& c = request.content;
    c.executedUtcMs = nowUtcMs;
    if (initial->count() > 0 && recent->count() > 0) return fail("--initial and --recent exclude each other");
    if (initial->count() > 0) c.run = Run::Initial;
    if (recent->count() > 0) c.run = Run::Recent;

    bool haveTarget = false;
    const std::pair<CLI::Option*, Request::Target> targets[] = {
        {windowsDir, Request::Target::WindowsDir},
        {datastore, Request::Target::Datastore},
        {output, Request::Target::File},
    };
    for (const auto& [option, target] : targets) {
        if (option->count() == 0) continue;
        if (haveTarget) return fail("give only one of --windows-dir, --datastore and --output");
        haveTarget = true;
        request.target = target;
        request.where = tools::Value(option);
        if (request.where.empty()) return fail(option->get_name() + " needs a non-empty value");
    }
    if (time->count() > 0 && !ParseMoment(tools::Value(time), c.executedUtcMs, &error)) return std::nullopt;

    for (const auto& [option, field] : texts)
        if (option->count() > 0) c.*field = tools::Value(option);
    // A list given on the command line replaces the default one.
    if (processor->count() > 0) c.processorNames = processor->results();
    if (dimm->count() > 0) c.modules.clear();
    for (const std::string& v : dimm->results()) {
        const std::size_t colon = v.find(':');
        if (colon == std::string::npos) return fail("--dimm needs MAKER:PART, not \"" + v + "\"");
        c.modules.push_back(MemoryModule{v.substr(0, colon), v.substr(colon + 1)});
    }
    // Each --video-memory belongs to the --adapter before it, so the two are read in the order given.
    if (adapter->count() > 0) c.adapters.clear();
    std::size_t adapterIndex = 0;
    std::size_t videoMemoryIndex = 0;
    for (const CLI::Option* option : app.parse_order()) {
        if (option == adapter) {
            c.adapters.push_back(Adapter{adapter->results()[adapterIndex++], "0"});
        } else if (option == videoMemory) {
            const std::string& v = videoMemory->results()[videoMemoryIndex++];
            if (!IsByteCount(v)) return fail("--video-memory needs a byte count (digits), not \"" + v + "\"");
            if (adapterIndex == 0) return fail("--video-memory needs an --adapter before it");
            c.adapters.back().dedicatedVideoMemory = v;
        }
    }
    if (memoryBytes->count() > 0) {
        const std::string v = tools::Value(memoryBytes);
        if (!IsByteCount(v)) return fail("--memory-bytes needs a byte count (digits), not \"" + v + "\"");
        c.totalPhysicalBytes = v;
    }
    if (size->count() > 0) {
        const std::string v = tools::Value(size);
        if (!IsByteCount(v) || v.size() > 10) return fail("--size needs a byte count below 10 GB");
        c.paddedBytes = std::stoull(v);
    }
    if (texts.back().first->count() > 0) {
        // The kind becomes part of the file name: keep it to a plain word with dots.
        if (c.kind.empty() || c.kind == kFormalKind ||
            c.kind.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789.") !=
                std::string::npos)
            return fail("--component needs a kind such as Cpu.Assessment (letters, digits and dots)");
    }
    if (!haveTarget) {
        if (!windirEnv || !*windirEnv)
            return fail("give --windows-dir, --datastore or --output (WINDIR is not set)");
        request.target = Request::Target::WindowsDir;
        request.where = windirEnv;
    }
    return request;
}

}  // namespace tallyhive::writer
