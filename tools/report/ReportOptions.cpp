#include "tools/report/ReportOptions.h"

#include <set>

namespace tallyhive::report {

std::string ReportUsage() {
    return "usage: tallyhive-report [--windows-dir DIR | --datastore DIR | --file PATH] [--all] [--json]\n"
           "                        [--share-form [--server-datetime TEXT]]\n"
           "Shows the newest formal Windows assessment (Vista, 7 or 8) of a Windows directory (default:\n"
           "the WINDIR environment value), of a datastore folder or of one file, and whether it passes\n"
           "the consistency check.\n"
           "  --all              every formal assessment of the folder, newest first\n"
           "  --json             JSON instead of text\n"
           "  --share-form       the form body a share of this assessment sends\n"
           "  --server-datetime  the service's time stamp for the pass code (default: the local clock)\n"
           "Exit status: 0 a consistent assessment was shown; 1 none was found or it failed the check;\n"
           "2 a usage error or input that cannot be read.\n";
}

std::optional<ReportOptions> ParseReportArguments(const std::vector<std::string>& args, std::string& error) {
    ReportOptions options;
    std::set<std::string> seen;
    bool haveSource = false;
    auto fail = [&](std::string message) -> std::optional<ReportOptions> {
        error = std::move(message);
        return std::nullopt;
    };

    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        if (!name.starts_with("-")) return fail("unexpected argument \"" + name + "\"");
        std::optional<std::string> inlineValue;
        if (const std::size_t eq = name.find('='); name.starts_with("--") && eq != std::string::npos) {
            inlineValue = name.substr(eq + 1);
            name.resize(eq);
        }
        auto value = [&](std::string& out) {
            if (inlineValue) {
                out = *inlineValue;
                return true;
            }
            if (i + 1 >= args.size()) return false;
            out = args[++i];
            return true;
        };
        if (!seen.insert(name).second) return fail(name + " is given more than once");

        std::string v;
        if (name == "--windows-dir" || name == "--datastore" || name == "--file") {
            if (!value(v)) return fail(name + " needs a value");
            if (v.empty()) return fail(name + " needs a non-empty value");
            if (haveSource) return fail("give only one of --windows-dir, --datastore and --file");
            haveSource = true;
            options.source = name == "--windows-dir" ? ReportOptions::Source::WindowsDir
                             : name == "--datastore" ? ReportOptions::Source::Datastore
                                                     : ReportOptions::Source::File;
            options.where = v;
        } else if (name == "--server-datetime") {
            // Used exactly as given, spaces and all, as the service's value would be.
            if (!value(v)) return fail(name + " needs a value");
            options.serverDateTime = v;
        } else if (name == "--all" || name == "--json" || name == "--share-form" || name == "--help" ||
                   name == "-h") {
            if (inlineValue) return fail(name + " takes no value");
            bool& flag = name == "--all"          ? options.all
                         : name == "--json"       ? options.json
                         : name == "--share-form" ? options.shareForm
                                                  : options.help;
            flag = true;
        } else {
            return fail("unknown option " + name);
        }
    }
    if (options.help) return options;
    if (options.serverDateTime && !options.shareForm)
        return fail("--server-datetime goes only with --share-form");
    if (options.shareForm && (options.all || options.json))
        return fail("--share-form prints one form body; it goes with neither --all nor --json");
    if (options.all && options.source == ReportOptions::Source::File)
        return fail("--all lists the assessments of a folder; it does not go with --file");
    return options;
}

}  // namespace tallyhive::report
