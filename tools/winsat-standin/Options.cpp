#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>

#include "tools/winsat-standin/StandIn.h"

namespace tallyhive::standin {

namespace {

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

}  // namespace

std::string Usage() {
    return "usage: winsat formal [-restart never|clean] [-v] [--quick] [--windows-dir DIR]\n"
           "       winsat --help | --version\n"
           "  Measures this machine briefly and writes a formal assessment into the datastore of the\n"
           "  Windows directory (--windows-dir, or the WINDIR environment variable).\n"
           "  --quick (or TALLYHIVE_WINSAT_QUICK=1) measures for a fraction of a second.\n";
}

std::optional<Options> ParseArguments(const std::vector<std::string>& args, const char* windirEnv,
                                      const char* quickEnv, std::string& error) {
    auto fail = [&](std::string message) -> std::optional<Options> {
        error = std::move(message);
        return std::nullopt;
    };
    // The real tool's words ignore letter case, and its -restart is a whole word after one dash,
    // which CLI11 would read as the short option -r with "estart" attached: that one word becomes
    // --restart before parsing. CLI11 takes the arguments from the back.
    std::vector<std::string> words;
    for (auto arg = args.rbegin(); arg != args.rend(); ++arg)
        words.push_back(SameIgnoringCase(*arg, "-restart") ? "--restart" : *arg);

    CLI::App app{"Stand-in system assessment", "winsat"};
    app.set_help_flag();
    app.allow_extras();
    CLI::Option* help = app.add_flag("-h,--help");
    CLI::Option* version = app.add_flag("--version");
    // The assessment to run; the real tool has others, the stand-in only this one.
    CLI::App* formal = app.add_subcommand("formal")->ignore_case();
    formal->allow_extras();
    // Repeated options behave as the real tool's do: the last one counts.
    formal->option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    // The history of earlier runs is never deleted here, so both forms mean the same; the word is
    // optional, and only these two are taken as it.
    formal->add_option("--restart")
        ->expected(0, 1)
        ->default_str("never")
        ->check(CLI::IsMember({"never", "clean"}, CLI::ignore_case));
    bool verbose = false;
    bool quick = false;
    std::string windowsDir;
    formal->add_flag("-v", verbose)->ignore_case();
    formal->add_flag("--quick", quick);
    CLI::Option* windowsDirOption = formal->add_option("--windows-dir", windowsDir);
    try {
        app.parse(words);
    } catch (const CLI::ArgumentMismatch&) {
        // Values are taken whatever they look like, so only an option at the very end lacks one.
        return fail(args.back() + " needs a value");
    } catch (const CLI::ValidationError&) {
        return fail("-restart takes never or clean, or nothing");
    } catch (const CLI::ParseError& e) {
        return fail(e.what());
    }

    Options options;
    options.help = help->count() > 0;
    options.version = version->count() > 0;
    if (options.help || options.version) return options;
    if (!formal->parsed()) {
        if (args.empty()) return fail("no assessment named");
        return fail("only the formal assessment is available: " + args[0]);
    }
    if (!app.remaining().empty()) return fail("only the formal assessment is available: " + args[0]);
    if (!formal->remaining().empty()) return fail("unknown option: " + formal->remaining().front());
    if (windowsDirOption->count() > 0 && windowsDir.empty()) return fail("--windows-dir needs a folder");

    options.verbose = verbose;
    options.quick = quick;
    options.windowsDir = windowsDir;
    if (options.windowsDir.empty() && windirEnv) options.windowsDir = windirEnv;
    if (options.windowsDir.empty()) return fail("no Windows directory: pass --windows-dir or set WINDIR");
    if (quickEnv && *quickEnv && std::string(quickEnv) != "0") options.quick = true;
    return options;
}

}  // namespace tallyhive::standin
