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
           "  Measures this machine briefly and writes a formal assessment into the datastore of the\n"
           "  Windows directory (--windows-dir, or the WINDIR environment variable).\n"
           "  --quick (or TALLYHIVE_WINSAT_QUICK=1) measures for a fraction of a second.\n";
}

std::optional<Options> ParseArguments(const std::vector<std::string>& args, const char* windirEnv,
                                      const char* quickEnv, std::string& error) {
    Options options;
    if (args.empty() || !SameIgnoringCase(args[0], "formal")) {
        error = args.empty() ? "no assessment named" : "only the formal assessment is available: " + args[0];
        return std::nullopt;
    }
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (SameIgnoringCase(arg, "-restart")) {
            // The history of earlier runs is never deleted here, so both forms mean the same.
            if (i + 1 < args.size() &&
                (SameIgnoringCase(args[i + 1], "never") || SameIgnoringCase(args[i + 1], "clean")))
                ++i;
        } else if (SameIgnoringCase(arg, "-v")) {
            options.verbose = true;
        } else if (arg == "--quick") {
            options.quick = true;
        } else if (arg == "--windows-dir") {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                error = "--windows-dir needs a folder";
                return std::nullopt;
            }
            options.windowsDir = args[++i];
        } else {
            error = "unknown option: " + arg;
            return std::nullopt;
        }
    }
    if (options.windowsDir.empty() && windirEnv) options.windowsDir = windirEnv;
    if (options.windowsDir.empty()) {
        error = "no Windows directory: pass --windows-dir or set WINDIR";
        return std::nullopt;
    }
    if (quickEnv && *quickEnv && std::string(quickEnv) != "0") options.quick = true;
    return options;
}

}  // namespace tallyhive::standin
